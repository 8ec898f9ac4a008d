// Code page conversions over arbitrary bytes: nothing is lost or overrun, and
// a text that came out of one round trip survives the next unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "support/fuzz_input.h"
#include "text/codepage.h"

namespace {

using kestrava::test::fuzz_check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1 << 16)
    return 0;
  using namespace kestrava;
  const Text input(std::string_view(reinterpret_cast<const char*>(data), size));

  // Every UTF-8 input gives a GBK text, and a non-empty input a non-empty one:
  // invalid bytes become replacement characters, never nothing.
  const Text gbk = utf8_to_gbk(input);
  fuzz_check(input.empty() == gbk.empty());

  // GBK produced by the converter goes to UTF-8 and back unchanged.
  const Text utf8 = gbk_to_utf8(gbk);
  fuzz_check(utf8_to_gbk(utf8) == gbk);

  // The same bytes read as GBK: the UTF-16 form is zero-terminated and
  // converts back to what reading it as GBK again gives.
  const Bytes units = text_to_utf16(input, 936);
  fuzz_check(units.size() % 2 == 0 && units.size() >= 2);
  fuzz_check(units.at(static_cast<int>(units.size())) == 0 &&
             units.at(static_cast<int>(units.size()) - 1) == 0);
  const Text back = utf16_to_text(units, 936);
  fuzz_check(utf16_to_text(text_to_utf16(back, 936), 936) == back);

  // Runs cut from the source, where the units allow it, are the runs
  // converted back; the bytes of the input pick the runs.
  auto check_runs = [&](const TextUnits& read) {
    const std::u16string_view all = read.units();
    for (std::size_t i = 0; i + 1 < size && i < 64; i += 2) {
      std::size_t from = all.empty() ? 0 : data[i] * all.size() / 256;
      std::size_t to = all.empty() ? 0 : data[i + 1] * all.size() / 255;
      if (from > to)
        std::swap(from, to);
      fuzz_check(read.text_of(from, to) ==
                 units_to_text(all.substr(from, to - from), code_page_ansi));
    }
  };
  const TextUnits read(input);
  fuzz_check(read.units() == text_to_units(input, code_page_ansi));
  check_runs(read);

  // Read straight from UTF-8, the same as converted first and read after.
  const TextUnits straight = TextUnits::from_utf8(input);
  const TextUnits two_steps(gbk);
  fuzz_check(straight.source() == gbk && straight.units() == two_steps.units());
  check_runs(straight);
  return 0;
}
