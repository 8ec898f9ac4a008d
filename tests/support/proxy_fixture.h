// A real HTTP proxy for tests: tinyproxy, started with its own configuration
// on a free loopback port and stopped with the fixture.
#pragma once

#include <string>

namespace kestrava::test {

class ProxyFixture {
 public:
  ProxyFixture();
  ~ProxyFixture();
  ProxyFixture(const ProxyFixture&) = delete;
  ProxyFixture& operator=(const ProxyFixture&) = delete;

  int port() const { return port_; }
  // "127.0.0.1:<port>", the form a caller gives as its proxy.
  std::string address() const;
  // What the proxy logged so far (one line per connection and request).
  std::string log() const;

 private:
  std::string directory_;
  int port_ = 0;
  int pid_ = -1;
};

// A loopback port that was free a moment ago, for servers that cannot bind
// port 0 themselves.
int free_loopback_port();

}  // namespace kestrava::test
