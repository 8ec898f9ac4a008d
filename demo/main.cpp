// kestrava-demo-site: a small movie site on loopback for ./run, the probe and
// the tests. Everything it serves is made up.
//
//   kestrava-demo-site [--host 127.0.0.1] [--port 8086]
//
// --port 0 picks a free port. The address is printed as the first line on
// standard output: "listening on http://HOST:PORT".

#include <httplib.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>

#include "posters.h"
#include "site.h"

namespace {

using namespace kestrava::demo;

int usage() {
  std::fprintf(stderr, "usage: kestrava-demo-site [--host ADDRESS] [--port PORT]\n");
  return 2;
}

// "http://" and the Host the client asked for, so that poster addresses work
// whatever name or port reached the server.
std::string base_of(const httplib::Request& request, const std::string& fallback) {
  const std::string host = request.get_header_value("Host");
  if (host.empty() || host.find_first_of("/\"<> ") != std::string::npos) {
    return fallback;
  }
  return "http://" + host;
}

// The raw value of one query key, before decoding.
std::string raw_query_value(const std::string& target, const std::string& key) {
  const auto question = target.find('?');
  if (question == std::string::npos) {
    return {};
  }
  const std::string query = target.substr(question + 1);
  std::size_t start = 0;
  while (start <= query.size()) {
    auto end = query.find('&', start);
    if (end == std::string::npos) {
      end = query.size();
    }
    const std::string pair = query.substr(start, end - start);
    if (pair.compare(0, key.size() + 1, key + "=") == 0) {
      return pair.substr(key.size() + 1);
    }
    start = end + 1;
  }
  return {};
}

const char* const html = "text/html; charset=utf-8";

}  // namespace

int main(int argc, char** argv) {
  std::string host = "127.0.0.1";
  int port = 8086;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--host" || arg == "--port") && i + 1 < argc) {
      const std::string value = argv[++i];
      if (arg == "--host") {
        host = value;
      } else {
        char* end = nullptr;
        const long n = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || n < 0 || n > 65535) {
          return usage();
        }
        port = static_cast<int>(n);
      }
    } else {
      return usage();
    }
  }

  // Stop cleanly on SIGINT and SIGTERM: block them here, so that every thread
  // inherits the mask, and wait for them on a thread of their own.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  std::map<int, std::string> posters;
  for (const Title& t : catalogue()) {
    posters[t.id] = make_poster(t.poster, t.id);
  }

  httplib::Server server;
  std::string fallback_base;

  auto search = [&](const httplib::Request& request, httplib::Response& response) {
    const std::string keyword = percent_decode(raw_query_value(request.target, "searchword"));
    response.set_content(
        search_page(base_of(request, fallback_base), keyword, search_titles(keyword)), html);
  };
  server.Get("/", search);
  server.Get("/search.php", search);
  server.Get(R"(/movie/(\d{1,6})\.html)", [&](const httplib::Request& request,
                                              httplib::Response& response) {
    const Title* title = find_title(std::atoi(request.matches[1].str().c_str()));
    if (!title) {
      response.status = 404;
      response.set_content("<!DOCTYPE html><html><body>没有这部影片。</body></html>", html);
      return;
    }
    response.set_content(detail_page(base_of(request, fallback_base), *title), html);
  });
  server.Get(R"(/posters/(\d{1,6})\.([a-z]{3}))", [&](const httplib::Request& request,
                                                      httplib::Response& response) {
    const Title* title = find_title(std::atoi(request.matches[1].str().c_str()));
    if (!title || request.matches[2].str() != poster_extension(title->poster)) {
      response.status = 404;
      return;
    }
    response.set_content(posters[title->id], std::string(poster_content_type(title->poster)));
  });

  if (port == 0) {
    port = server.bind_to_any_port(host.c_str());
    if (port < 0) {
      std::fprintf(stderr, "kestrava-demo-site: cannot listen on %s\n", host.c_str());
      return 1;
    }
  } else if (!server.bind_to_port(host.c_str(), port)) {
    std::fprintf(stderr, "kestrava-demo-site: cannot listen on %s:%d\n", host.c_str(), port);
    return 1;
  }
  const bool v6 = host.find(':') != std::string::npos;
  fallback_base = "http://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
  std::printf("listening on %s\n", fallback_base.c_str());
  std::fflush(stdout);

  std::thread stopper([&server, stop_signals] {
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    server.stop();
  });
  stopper.detach();
  server.listen_after_bind();
  return 0;
}
