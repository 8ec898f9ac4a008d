// The movie site on loopback for the worker tests: pages by path, each with an
// optional delay, and the targets of the requests it received.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/http_fixture.h"

namespace kestrava::testing {

class SiteServer {
 public:
  std::string base() const { return http_.base_url(); }

  // Serves body at path, whatever the query.
  void serve(const std::string& path, std::string body,
             std::chrono::milliseconds delay = std::chrono::milliseconds(0),
             std::string content_type = "text/html; charset=utf-8") {
    http_.on(path,
             test::FixtureResponse{
                 .body = std::move(body), .content_type = std::move(content_type), .delay = delay});
  }

  std::vector<std::string> targets() const {
    std::vector<std::string> out;
    for (const auto& request : http_.requests()) {
      out.push_back(request.target);
    }
    return out;
  }

 private:
  test::HttpFixture http_;
};

// The base of a site on a loopback port where nothing listens: requests to it
// are refused at once.
inline std::string closed_site() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

}  // namespace kestrava::testing
