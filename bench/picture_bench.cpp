// Decoding the placeholder and a poster-sized JPEG, beside Qt's own loader
// on the same bytes.
#include <benchmark/benchmark.h>

#include <QImage>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/picture/picture.h"
#include "support/picture_fixtures.h"

namespace {

std::string read_file(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A 1000 x 1500 picture with the mix of smooth areas, edges and grain that a
// photographed poster has; JPEG quality 85 like most sites serve.
kestrava::test::Pixels poster_pixels() {
  kestrava::test::Pixels p{1000, 1500, {}};
  p.pixels.reserve(1000 * 1500);
  std::uint32_t state = 1;
  for (int y = 0; y < 1500; ++y) {
    for (int x = 0; x < 1000; ++x) {
      state = state * 1664525 + 1013904223;
      const double grain = static_cast<double>(state >> 28) - 8.0;
      const double wave = 40.0 * std::sin(x / 37.0) * std::cos(y / 53.0);
      const bool band = (x / 120 + y / 200) % 3 == 0;
      auto channel = [&](double base) {
        const double v = base + wave + grain + (band ? 50.0 : 0.0);
        return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
      };
      p.pixels.push_back({channel(90 + y / 12.0), channel(70 + x / 9.0), channel(120), 255});
    }
  }
  return p;
}

const std::string& poster_jpeg() {
  static const std::string bytes = kestrava::test::encode_jpeg(poster_pixels(), 85);
  return bytes;
}

// The same poster as an RGB PNG, for the cost of the PNG path.
const std::string& poster_png() {
  static const std::string bytes =
      kestrava::test::encode_png(poster_pixels(), kestrava::test::PngColor::rgb);
  return bytes;
}

const std::string& placeholder_jpeg() {
  static const std::string bytes = read_file(KESTRAVA_PLACEHOLDER);
  return bytes;
}

void decode_ours(benchmark::State& state, const std::string& bytes) {
  for (auto _ : state) {
    auto picture = kestrava::platform::decode_picture(bytes);
    if (!picture)
      state.SkipWithError("no picture");
    benchmark::DoNotOptimize(picture);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

void decode_peer(benchmark::State& state, const std::string& bytes) {
  for (auto _ : state) {
    QImage image;
    if (!image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                            static_cast<int>(bytes.size()))) {
      state.SkipWithError("no picture");
    }
    benchmark::DoNotOptimize(image);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

void placeholder_ours(benchmark::State& state) {
  decode_ours(state, placeholder_jpeg());
}
void placeholder_peer(benchmark::State& state) {
  decode_peer(state, placeholder_jpeg());
}
void poster_ours(benchmark::State& state) {
  decode_ours(state, poster_jpeg());
}
void poster_peer(benchmark::State& state) {
  decode_peer(state, poster_jpeg());
}

void poster_png_ours(benchmark::State& state) {
  decode_ours(state, poster_png());
}
void poster_png_peer(benchmark::State& state) {
  decode_peer(state, poster_png());
}

}  // namespace

BENCHMARK(placeholder_ours)->Name("decode_placeholder_230x306/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK(placeholder_peer)->Name("decode_placeholder_230x306/peer")->Unit(benchmark::kMicrosecond);
BENCHMARK(poster_ours)->Name("decode_poster_1000x1500/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(poster_peer)->Name("decode_poster_1000x1500/peer")->Unit(benchmark::kMillisecond);
BENCHMARK(poster_png_ours)->Name("decode_poster_png_1000x1500/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(poster_png_peer)->Name("decode_poster_png_1000x1500/peer")->Unit(benchmark::kMillisecond);
