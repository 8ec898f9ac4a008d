// A small HTTP(S) server on 127.0.0.1 for tests: it listens on a port the
// system picks, answers each path as the test sets it up and records every
// request it receives.
//
//   kestrava::test::HttpFixture server;
//   server.on("/page", {.body = "hello"});
//   server.on("/echo", [](const RecordedRequest& r) { return FixtureResponse{.body = r.body}; });
//   fetch(server.url("/page"));
//   EXPECT_EQ(server.requests().at(0).header("Accept"), "*/*");
//
// A path that was not set up answers 404 with an empty body.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrava::test {

class TestCertificates;

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct RecordedRequest {
  std::string method;
  std::string path;    // without the query
  std::string target;  // path and query as they arrived
  HeaderList headers;  // names as sent; order by name, not arrival
  std::string body{};

  // The first value of the header, the name matched without letter case;
  // "" when there is none.
  std::string header(std::string_view name) const;
  std::size_t header_count(std::string_view name) const;
};

struct FixtureResponse {
  int status = 200;
  HeaderList headers{};  // lines of one name keep their order
  std::string body{};
  std::string content_type = "text/plain";
  // Wait this long before answering (cut short when the server stops).
  std::chrono::milliseconds delay{0};
  // Send only this many bytes of the body, then hang until the server stops.
  std::optional<std::size_t> stall_after{};
};

using FixtureHandler = std::function<FixtureResponse(const RecordedRequest&)>;

class HttpFixture {
 public:
  // Plain HTTP.
  HttpFixture();
  // HTTPS with the server certificate of certificates.
  explicit HttpFixture(const TestCertificates& certificates);
  ~HttpFixture();
  HttpFixture(const HttpFixture&) = delete;
  HttpFixture& operator=(const HttpFixture&) = delete;

  // Answers requests for path (any method, any query) with the handler's
  // response, or with a fixed response.
  void on(const std::string& path, FixtureHandler handler);
  void on(const std::string& path, FixtureResponse response);

  int port() const;
  // "http://127.0.0.1:<port>" or "https://...", without a trailing slash.
  std::string base_url() const;
  std::string url(std::string_view path) const;

  std::vector<RecordedRequest> requests() const;
  std::vector<RecordedRequest> requests_for(std::string_view path) const;

  // Stops listening and ends every delayed or stalled answer; idempotent.
  void stop();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace kestrava::test
