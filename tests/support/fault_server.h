// A hostile HTTP server on 127.0.0.1 for tests: it listens on a port the
// system picks and answers each path with a fault set up by the test — a
// reset in the middle of the headers or the body, silence, a body dripped a
// byte at a time or without end, a huge header block, a redirect anywhere,
// a body in a content coding nobody asked for. Plain sockets, one thread per
// connection, one request per connection.
//
//   kestrava::test::FaultServer server;
//   server.on("/search.php", {.fault = Fault::silent});
//   fetch(server.base_url() + "/search.php?searchword=x");  // times out
//
// A path that was not set up answers 404 with an empty body.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace kestrava::test {

enum class Fault {
  page,              // status, headers and the whole body, then close
  reset_in_headers,  // part of the header block, then a TCP reset
  reset_in_body,     // the headers announce twice the body; the body, then a reset
  silent,            // reads the request and never answers
  drip,              // the headers, then the body one byte per drip_interval
  huge_headers,      // header_bytes of header lines before the page
  endless_headers,   // header lines without end
  endless_body,      // the body, then filler without end (no length, no chunks)
  gzip,              // the body gzip-compressed, sent with Content-Encoding: gzip
};

struct FaultResponse {
  Fault fault = Fault::page;
  int status = 200;
  std::string body{};
  std::string content_type = "text/html; charset=utf-8";
  std::string location{};  // a Location line when not empty
  std::size_t header_bytes = 64 * 1024;
  std::chrono::milliseconds drip_interval{1000};
};

struct FaultRequest {
  std::string target;  // path and query as they arrived
  std::string head;    // the request line and header lines as they arrived
};

class FaultServer {
 public:
  FaultServer();
  ~FaultServer();  // stop()
  FaultServer(const FaultServer&) = delete;
  FaultServer& operator=(const FaultServer&) = delete;

  // Answers requests for path, whatever the query.
  void on(const std::string& path, FaultResponse response);

  int port() const;
  std::string base_url() const;  // "http://127.0.0.1:<port>"

  // Connections accepted so far, and requests read from them.
  int connections() const;
  std::vector<FaultRequest> requests() const;

  // Stops listening, ends every connection and joins their threads.
  void stop();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The base of a site on a loopback port where nothing listens.
std::string refused_base_url();

// The base of a site whose name does not resolve. Its first label is longer
// than the 63 bytes a DNS name allows, so the resolver fails on the machine
// itself and no query is sent anywhere.
std::string unresolvable_base_url();

// gzip (RFC 1952) of bytes, for content codings.
std::string gzip_bytes(const std::string& bytes);

}  // namespace kestrava::test
