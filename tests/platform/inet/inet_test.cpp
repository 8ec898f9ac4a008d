#include "platform/inet/inet.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/fault_server.h"
#include "support/http_fixture.h"
#include "support/proxy_fixture.h"
#include "support/test_certificates.h"

namespace kestrava::platform {
namespace {

using test::FixtureResponse;
using test::HttpFixture;
using namespace std::chrono_literals;

constexpr std::uint32_t plain = inet_flag_reload | inet_flag_need_file;

struct Response {
  bool sent = false;
  std::string body;
  std::optional<std::string> headers;
  std::size_t largest_read = 0;
};

// Opens, sends, reads to the end in pieces of read_size and closes, the way
// the request routine does.
Response exchange(int port, std::string_view path, std::uint32_t flags = plain,
                  std::string_view header_block = "Accept: */*", std::string_view verb = "GET",
                  std::optional<std::string_view> body = std::nullopt, std::string_view proxy = "",
                  std::size_t read_size = 1024) {
  Response response;
  auto session = InternetSession::open("Kestrava-Test/1.0", proxy);
  EXPECT_NE(session, nullptr);
  auto connection = session->connect("127.0.0.1", port);
  EXPECT_NE(connection, nullptr);
  auto request = connection->open_request(verb, path, "HTTP/1.1", flags);
  EXPECT_NE(request, nullptr);
  response.sent = request->send(header_block, body);
  std::string buffer(read_size, '\0');
  while (std::size_t count = request->read(buffer.data(), buffer.size())) {
    response.body.append(buffer.data(), count);
    response.largest_read = std::max(response.largest_read, count);
  }
  response.headers = request->raw_headers();
  return response;
}

class InetTest : public ::testing::Test {
 protected:
  void SetUp() override { set_inet_settings(InetSettings{}); }
  void TearDown() override { set_inet_settings(InetSettings{}); }
  HttpFixture server;
};

TEST_F(InetTest, ReadsTheBodyInPiecesAndGivesTheRawHeaders) {
  std::string body(5000, 'x');
  body[4999] = 'y';
  server.on("/page", FixtureResponse{.headers = {{"X-One", "1"}}, .body = body});
  Response r = exchange(server.port(), "/page?q=1", plain, "Accept: */*\r\nReferer: r");
  EXPECT_TRUE(r.sent);
  EXPECT_EQ(r.body, body);
  EXPECT_EQ(r.largest_read, 1024u);
  ASSERT_TRUE(r.headers);
  EXPECT_EQ(r.headers->substr(0, 17), "HTTP/1.1 200 OK\r\n");
  EXPECT_NE(r.headers->find("\r\nX-One: 1\r\n"), std::string::npos);
  EXPECT_EQ(r.headers->substr(r.headers->size() - 4), "\r\n\r\n");

  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/page?q=1");
  EXPECT_EQ(requests[0].header("User-Agent"), "Kestrava-Test/1.0");
  EXPECT_EQ(requests[0].header("Accept"), "*/*");
  EXPECT_EQ(requests[0].header("Referer"), "r");
  EXPECT_EQ(requests[0].header_count("Expect"), 0u);
}

TEST_F(InetTest, BodiesGoOutWithoutAContentTypeUnlessOneIsGiven) {
  server.on("/put", FixtureResponse{});
  exchange(server.port(), "/put", plain, "Accept: */*", "PUT", "a=1");
  exchange(server.port(), "/put", plain, "Accept: */*\r\nContent-Type: text/x", "DELETE", "b=2");
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "PUT");
  EXPECT_EQ(requests[0].body, "a=1");
  EXPECT_EQ(requests[0].header_count("Content-Type"), 0u);
  EXPECT_EQ(requests[1].method, "DELETE");
  EXPECT_EQ(requests[1].body, "b=2");
  EXPECT_EQ(requests[1].header("Content-Type"), "text/x");
}

TEST_F(InetTest, AHeadRequestEndsWithoutABody) {
  server.on("/h", FixtureResponse{.body = "not sent"});
  Response r = exchange(server.port(), "/h", plain, "Accept: */*", "HEAD");
  EXPECT_TRUE(r.sent);
  EXPECT_EQ(r.body, "");
  EXPECT_EQ(server.requests().at(0).method, "HEAD");
}

TEST_F(InetTest, CookiesAreSharedByEveryRequestOfTheProcess) {
  server.on("/set", FixtureResponse{.headers = {{"Set-Cookie", "sid=42; Path=/"}}});
  server.on("/next", FixtureResponse{});
  exchange(server.port(), "/set");
  // Another thread sees the same store.
  std::thread([&] { exchange(server.port(), "/next"); }).join();
  exchange(server.port(), "/next", plain | inet_flag_no_cookies);
  auto next = server.requests_for("/next");
  ASSERT_EQ(next.size(), 2u);
  EXPECT_EQ(next[0].header("Cookie"), "sid=42");
  EXPECT_EQ(next[1].header_count("Cookie"), 0u);
}

TEST_F(InetTest, ThreadsShareTheStoreAtTheSameTime) {
  server.on("/set", [](const test::RecordedRequest& r) {
    return FixtureResponse{.headers = {{"Set-Cookie", "t" + r.header("X-Thread") + "=1"}}};
  });
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 10; ++i) {
        exchange(server.port(), "/set", plain, "Accept: */*\r\nX-Thread: " + std::to_string(t));
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  server.on("/next", FixtureResponse{});
  exchange(server.port(), "/next");
  const std::string sent = server.requests_for("/next").at(0).header("Cookie");
  for (int t = 0; t < 6; ++t) {
    EXPECT_NE(sent.find("t" + std::to_string(t) + "=1"), std::string::npos) << sent;
  }
}

TEST_F(InetTest, ARequestWithoutCookiesStoresNone) {
  server.on("/set", FixtureResponse{.headers = {{"Set-Cookie", "quiet=1"}}});
  server.on("/next", FixtureResponse{});
  exchange(server.port(), "/set", plain | inet_flag_no_cookies);
  exchange(server.port(), "/next");
  EXPECT_EQ(server.requests_for("/next").at(0).header("Cookie").find("quiet"), std::string::npos);
}

TEST_F(InetTest, ARefusedPortGivesNoResponse) {
  int port = test::free_loopback_port();
  Response r = exchange(port, "/");
  EXPECT_FALSE(r.sent);
  EXPECT_EQ(r.body, "");
  EXPECT_FALSE(r.headers);
}

TEST_F(InetTest, ConnectionsNeedAPlainHostAndAPortInRange) {
  auto session = InternetSession::open("a", "");
  ASSERT_NE(session, nullptr);
  EXPECT_NE(session->connect("example.com", 0), nullptr);
  EXPECT_NE(session->connect("127.0.0.1", 65535), nullptr);
  EXPECT_EQ(session->connect("", 80), nullptr);
  EXPECT_EQ(session->connect("a b", 80), nullptr);
  EXPECT_EQ(session->connect("user@host", 80), nullptr);
  EXPECT_EQ(session->connect("host/x", 80), nullptr);
  EXPECT_EQ(session->connect("example.com", 65536), nullptr);
  EXPECT_EQ(session->connect("example.com", -1), nullptr);
  EXPECT_EQ(InternetSession::open("a\r\nX-Injected: 1", ""), nullptr);
  EXPECT_NE(InternetSession::open("a", "http=http://127.0.0.1:8080 https=p:1;q:2"), nullptr);
  for (const char* proxy : {"bad/host:1", "http=", "socks=p:1", "p:70000", "p:x", "user@p:1"}) {
    EXPECT_EQ(InternetSession::open("a", proxy), nullptr) << proxy;
  }
  auto connection = session->connect("example.com", 80);
  EXPECT_EQ(connection->open_request("G T", "/", "HTTP/1.1", plain), nullptr);
  EXPECT_EQ(connection->open_request("GET", "x", "HTTP/1.1", plain), nullptr);
  EXPECT_EQ(connection->open_request("GET", "/", "HTTP/2", plain), nullptr);
}

TEST_F(InetTest, UnsafeBytesOfThePathGoOutEncoded) {
  server.on("/a b", FixtureResponse{.body = "found"});
  Response r = exchange(server.port(), "/a b");
  EXPECT_EQ(r.body, "found");
  EXPECT_EQ(server.requests().at(0).target, "/a%20b");
}

TEST_F(InetTest, TheBodyIsCutAtItsBound) {
  auto settings = inet_settings();
  settings.max_body_bytes = 3000;
  set_inet_settings(settings);
  server.on("/big", FixtureResponse{.body = std::string(10000, 'b')});
  Response r = exchange(server.port(), "/big");
  EXPECT_EQ(r.body, std::string(3000, 'b'));
}

TEST_F(InetTest, AnOversizedHeaderBlockEndsTheTransfer) {
  auto settings = inet_settings();
  settings.max_header_bytes = 2000;
  set_inet_settings(settings);
  server.on("/fat", FixtureResponse{.headers = {{"X-Fat", std::string(4000, 'f')}}, .body = "b"});
  Response r = exchange(server.port(), "/fat");
  EXPECT_EQ(r.body, "");
  ASSERT_TRUE(r.headers);
  EXPECT_LE(r.headers->size(), 2000u);
}

TEST_F(InetTest, AServerThatStopsSendingIsGivenUp) {
  auto settings = inet_settings();
  settings.stall_timeout = 1s;
  set_inet_settings(settings);
  server.on("/silent", FixtureResponse{.body = "late", .delay = 30s});
  server.on("/half", FixtureResponse{.body = std::string(4000, 'h'), .stall_after = 1500});
  auto began = std::chrono::steady_clock::now();
  Response silent = exchange(server.port(), "/silent");
  Response half = exchange(server.port(), "/half");
  EXPECT_LT(std::chrono::steady_clock::now() - began, 20s);
  EXPECT_EQ(silent.body, "");
  EXPECT_FALSE(silent.headers);
  EXPECT_EQ(half.body, std::string(1500, 'h'));
  ASSERT_TRUE(half.headers);
}

// A body dripped slowly enough never stalls; the transfer time-out ends it
// with what had arrived.
TEST_F(InetTest, ABodyThatTricklesEndsAtTheTransferTimeOut) {
  auto settings = inet_settings();
  settings.stall_timeout = 2s;
  settings.transfer_timeout = 1500ms;
  set_inet_settings(settings);
  test::FaultServer dripping;
  dripping.on("/drip",
              {.fault = test::Fault::drip, .body = std::string(100, 'd'), .drip_interval = 100ms});
  auto began = std::chrono::steady_clock::now();
  Response r = exchange(dripping.port(), "/drip");
  EXPECT_LT(std::chrono::steady_clock::now() - began, 10s);
  EXPECT_FALSE(r.body.empty());
  EXPECT_LT(r.body.size(), 100u);
  EXPECT_EQ(r.body, std::string(r.body.size(), 'd'));
}

// Reading the rest in one call gives what reading to the end in pieces gives,
// after any number of pieces, within the same bounds.
struct RestCase {
  const char* name;
  test::FaultResponse response;
  std::size_t pieces_first;  // reads of 1000 bytes before the rest
  std::int64_t max_body_bytes;
  std::string expected;
};

void PrintTo(const RestCase& c, std::ostream* out) {
  *out << c.name;
}

std::string numbered_body(std::size_t size) {
  std::string body(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    body[i] = static_cast<char>('a' + i % 23);
  }
  return body;
}

class InetRestTest : public InetTest, public ::testing::WithParamInterface<RestCase> {};

TEST_P(InetRestTest, ReadingTheRestMatchesReadingInPieces) {
  const RestCase& c = GetParam();
  auto settings = inet_settings();
  settings.max_body_bytes = c.max_body_bytes;
  set_inet_settings(settings);
  test::FaultServer site;
  site.on("/page", c.response);

  auto session = InternetSession::open("Kestrava-Test/1.0", "");
  auto request =
      session->connect("127.0.0.1", site.port())->open_request("GET", "/page", "HTTP/1.1", plain);
  ASSERT_TRUE(request->send("Accept: */*", std::nullopt));
  std::string body;
  char piece[1000];
  for (std::size_t i = 0; i < c.pieces_first; ++i) {
    body.append(piece, request->read(piece, sizeof piece));
  }
  const std::size_t before = body.size();
  const std::size_t appended = request->read_rest(body);
  EXPECT_EQ(appended, body.size() - before);
  EXPECT_EQ(body.size(), c.expected.size());
  EXPECT_TRUE(body == c.expected);
  EXPECT_EQ(request->read(piece, sizeof piece), 0u);
  EXPECT_EQ(request->read_rest(body), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, InetRestTest,
    ::testing::Values(
        RestCase{"whole_megabyte",
                 {.body = numbered_body(1 << 20)},
                 0,
                 256 << 20,
                 numbered_body(1 << 20)},
        RestCase{
            "after_pieces", {.body = numbered_body(1 << 20)}, 3, 256 << 20, numbered_body(1 << 20)},
        RestCase{"empty", {.body = ""}, 0, 256 << 20, ""},
        RestCase{
            "cut_at_the_bound", {.body = numbered_body(100000)}, 2, 30000, numbered_body(30000)},
        RestCase{"shorter_than_announced",
                 {.fault = test::Fault::reset_in_body, .body = numbered_body(50000)},
                 1,
                 256 << 20,
                 numbered_body(50000)},
        RestCase{"without_end_or_length",
                 {.fault = test::Fault::endless_body, .body = "start"},
                 0,
                 64 << 10,
                 "start" + std::string((64 << 10) - 5, ' ')}),
    [](const auto& info) { return std::string(info.param.name); });

struct RedirectCase {
  const char* name;
  std::uint32_t flags;
  int chain;  // redirects before the page
  long max_redirects;
  bool followed;
};

class InetRedirectTest : public InetTest, public ::testing::WithParamInterface<RedirectCase> {};

TEST_P(InetRedirectTest, FollowsWithinTheBound) {
  const RedirectCase& c = GetParam();
  auto settings = inet_settings();
  settings.max_redirects = c.max_redirects;
  set_inet_settings(settings);
  for (int i = 0; i < c.chain; ++i) {
    server.on(
        "/r" + std::to_string(i),
        FixtureResponse{.status = 302, .headers = {{"Location", "/r" + std::to_string(i + 1)}}});
  }
  server.on("/r" + std::to_string(c.chain), FixtureResponse{.body = "end"});
  Response r = exchange(server.port(), "/r0", c.flags);
  ASSERT_TRUE(r.headers);
  if (c.followed) {
    EXPECT_EQ(r.body, "end");
    EXPECT_EQ(r.headers->substr(0, 12), "HTTP/1.1 200");
  } else {
    EXPECT_EQ(r.body, "");
    EXPECT_EQ(r.headers->substr(0, 12), "HTTP/1.1 302");
    EXPECT_NE(r.headers->find("Location: /r"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Chains, InetRedirectTest,
                         ::testing::Values(RedirectCase{"one_followed", plain, 1, 30, true},
                                           RedirectCase{"five_within_bound", plain, 5, 5, true},
                                           RedirectCase{"past_the_bound", plain, 4, 3, false},
                                           RedirectCase{"not_followed",
                                                        plain | inet_flag_no_auto_redirect, 1, 30,
                                                        false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(InetTest, RedirectsLeadOnlyToHttpAndHttps) {
  server.on("/file",
            FixtureResponse{.status = 302, .headers = {{"Location", "file:///etc/passwd"}}});
  server.on(
      "/ftp",
      FixtureResponse{
          .status = 301,
          .headers = {{"Location", "ftp://127.0.0.1:" + std::to_string(server.port()) + "/"}}});
  for (const char* path : {"/file", "/ftp"}) {
    SCOPED_TRACE(path);
    Response r = exchange(server.port(), path, plain | inet_flag_allow_redirect_to_https);
    EXPECT_EQ(r.body, "");
    ASSERT_TRUE(r.headers);
    EXPECT_EQ(r.headers->substr(9, 1), "3");
  }
  EXPECT_EQ(server.requests().size(), 2u);
}

class InetTlsTest : public InetTest {
 protected:
  void trust_test_authority() {
    auto settings = inet_settings();
    settings.extra_authorities_pem = certificates.authority_pem();
    set_inet_settings(settings);
  }
  test::TestCertificates certificates;
  HttpFixture secure{certificates};
};

TEST_F(InetTlsTest, HttpsNeedsATrustedCertificate) {
  secure.on("/s", FixtureResponse{.body = "secret"});
  Response untrusted = exchange(secure.port(), "/s", plain | inet_flag_secure);
  EXPECT_EQ(untrusted.body, "");
  EXPECT_FALSE(untrusted.headers);
  trust_test_authority();
  Response trusted = exchange(secure.port(), "/s", plain | inet_flag_secure);
  EXPECT_EQ(trusted.body, "secret");
}

TEST_F(InetTlsTest, HttpMovesToHttpsOnlyWhenAllowedAndNeverBack) {
  trust_test_authority();
  secure.on("/s", FixtureResponse{.body = "secret"});
  secure.on("/down", FixtureResponse{.status = 302, .headers = {{"Location", server.url("/p")}}});
  server.on("/up", FixtureResponse{.status = 302, .headers = {{"Location", secure.url("/s")}}});
  server.on("/p", FixtureResponse{.body = "plain"});

  EXPECT_EQ(exchange(server.port(), "/up", plain | inet_flag_allow_redirect_to_https).body,
            "secret");
  Response refused = exchange(server.port(), "/up", plain);
  EXPECT_EQ(refused.body, "");
  Response down = exchange(secure.port(), "/down", plain | inet_flag_secure);
  EXPECT_EQ(down.body, "");
  EXPECT_EQ(server.requests_for("/p").size(), 0u);
  EXPECT_EQ(secure.requests_for("/s").size(), 1u);
}

TEST_F(InetTlsTest, AProxyCarriesTheSchemesItIsGivenFor) {
  trust_test_authority();
  test::ProxyFixture proxy;
  server.on("/p", FixtureResponse{.body = "plain"});
  secure.on("/s", FixtureResponse{.body = "secret"});
  const std::string for_http = "http=" + proxy.address();

  EXPECT_EQ(exchange(server.port(), "/p", plain, "Accept: */*", "GET", {}, for_http).body, "plain");
  EXPECT_NE(server.requests().at(0).header("Via"), "");  // tinyproxy marks what it forwards

  // An entry for http only: HTTPS goes direct.
  EXPECT_EQ(
      exchange(secure.port(), "/s", plain | inet_flag_secure, "Accept: */*", "GET", {}, for_http)
          .body,
      "secret");
  EXPECT_EQ(proxy.log().find("): CONNECT "), std::string::npos);

  // An entry for every scheme: HTTPS goes through a tunnel.
  EXPECT_EQ(exchange(secure.port(), "/s", plain | inet_flag_secure, "Accept: */*", "GET", {},
                     proxy.address())
                .body,
            "secret");
  EXPECT_NE(proxy.log().find("): CONNECT 127.0.0.1:" + std::to_string(secure.port())),
            std::string::npos)
      << proxy.log();
}

}  // namespace
}  // namespace kestrava::platform
