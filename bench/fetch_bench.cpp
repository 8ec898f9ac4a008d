// A 64 MiB body from a loopback server: fetch_url (1024-byte reads through
// the HTTP layer) against a bare libcurl transfer into memory. Besides time,
// each case reports the peak resident memory it added, per byte of body.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "net/fetch.h"
#include "platform/inet/inet.h"

namespace {

constexpr std::size_t body_size = std::size_t{64} << 20;

// A bare loopback server that answers every connection with the body, so
// that the clients, not the server, set the pace.
class BodyServer {
 public:
  BodyServer() : body_(body_size, '\0') {
    for (std::size_t i = 0; i < body_.size(); ++i) {
      body_[i] = static_cast<char>(i * 131 % 251);
    }
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 16);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~BodyServer() {
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    thread_.join();
  }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/body"; }

 private:
  void serve() {
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
        "Connection: close\r\nContent-Length: " +
        std::to_string(body_.size()) + "\r\n\r\n";
    for (;;) {
      const int client = accept(listener_, nullptr, nullptr);
      if (client < 0) {
        return;
      }
      std::string request;
      char buffer[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t count = recv(client, buffer, sizeof buffer, 0);
        if (count <= 0) {
          break;
        }
        request.append(buffer, static_cast<std::size_t>(count));
      }
      send_all(client, head);
      send_all(client, body_);
      close(client);
    }
  }

  static void send_all(int fd, std::string_view data) {
    while (!data.empty()) {
      const ssize_t sent = send(fd, data.data(), data.size(), MSG_NOSIGNAL);
      if (sent <= 0) {
        return;
      }
      data.remove_prefix(static_cast<std::size_t>(sent));
    }
  }

  std::string body_;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

BodyServer& server() {
  static BodyServer instance;
  return instance;
}

// Resident memory in KiB: the current figure, or the peak since the last reset.
long status_kib(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field, 0) == 0) {
      return std::stol(line.substr(std::string(field).size()));
    }
  }
  return 0;
}

void reset_peak() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

template <class Fetch>
void run(benchmark::State& state, Fetch fetch) {
  const std::string url = server().url();
  double worst_peak = 0;
  for (auto _ : state) {
    reset_peak();
    const long before = status_kib("VmRSS:");
    const std::size_t size = fetch(url);
    const long peak = status_kib("VmHWM:");
    if (size != body_size) {
      state.SkipWithError("short body");
      break;
    }
    worst_peak = std::max(worst_peak, static_cast<double>(peak - before) * 1024.0);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body_size));
  state.counters["peak_per_body"] = worst_peak / static_cast<double>(body_size);
}

void fetch_body_ours(benchmark::State& state) {
  run(state, [](const std::string& url) {
    kestrava::Bytes body = kestrava::fetch_url(kestrava::Text(std::string_view(url)));
    benchmark::DoNotOptimize(body.data());
    return body.size();
  });
}

std::size_t append(char* data, std::size_t size, std::size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

void fetch_body_peer(benchmark::State& state) {
  kestrava::platform::inet_initialise();
  run(state, [](const std::string& url) {
    std::string body;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    benchmark::DoNotOptimize(body.data());
    return body.size();
  });
}

BENCHMARK(fetch_body_ours)->Name("fetch_64MiB/ours")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(fetch_body_peer)->Name("fetch_64MiB/peer")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
