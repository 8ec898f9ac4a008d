#include "net/fetch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>

#include "platform/inet/inet.h"
#include "support/http_fixture.h"
#include "support/proxy_fixture.h"
#include "support/test_certificates.h"

namespace kestrava {

void PrintTo(const Text& text, std::ostream* out) {
  *out << '"' << text.view() << '"';
}

namespace {

using test::FixtureResponse;
using test::HttpFixture;
using test::RecordedRequest;
using namespace std::chrono_literals;

Text text(const std::string& s) {
  return Text(std::string_view(s));
}
std::string str(const Bytes& bytes) {
  return std::string(bytes.view());
}

class FetchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::InetSettings settings;
    settings.connect_timeout = 5s;
    settings.stall_timeout = 5s;
    platform::set_inet_settings(settings);
  }
  void TearDown() override { platform::set_inet_settings({}); }

  Text url(const std::string& path) const { return text(server.url(path)); }
  RecordedRequest only_request() const {
    auto requests = server.requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? RecordedRequest{} : requests.front();
  }

  HttpFixture server;
};

struct MethodCase {
  const char* name;
  int method;
  const char* verb;
};

class FetchMethod : public FetchTest, public ::testing::WithParamInterface<MethodCase> {};

TEST_P(FetchMethod, SendsTheVerbOfTheNumber) {
  server.on("/m", FixtureResponse{.body = "m"});
  fetch_url(url("/m"), {.method = GetParam().method});
  EXPECT_EQ(only_request().method, GetParam().verb);
}

INSTANTIATE_TEST_SUITE_P(
    Fetch, FetchMethod,
    ::testing::Values(MethodCase{"get", 0, "GET"}, MethodCase{"post", 1, "POST"},
                      MethodCase{"head", 2, "HEAD"}, MethodCase{"put", 3, "PUT"},
                      MethodCase{"options", 4, "OPTIONS"}, MethodCase{"delete", 5, "DELETE"},
                      MethodCase{"trace", 6, "TRACE"}, MethodCase{"nine_is_get", 9, "GET"},
                      MethodCase{"minus_one_is_get", -1, "GET"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FetchTest, ReturnsTheWholeBodyAndTheDefaultHeaderBlock) {
  std::string page(300'000, '\0');
  for (std::size_t i = 0; i < page.size(); ++i) {
    page[i] = static_cast<char>(i * 7 % 251);
  }
  server.on("/page", FixtureResponse{.body = page});
  const Text address = url("/page?q=1");
  Text headers;
  Text raw_headers;
  Bytes body = fetch_url(address, {.headers = &headers, .raw_headers = &raw_headers});
  EXPECT_EQ(str(body), page);
  EXPECT_EQ(headers,
            text_concat(Text("Accept: */*\r\nReferer: "), address, "\r\nAccept-Language: zh-cn"));
  EXPECT_EQ(text_left(raw_headers, 17), Text("HTTP/1.1 200 OK\r\n"));
  RecordedRequest r = only_request();
  EXPECT_EQ(r.target, "/page?q=1");
  EXPECT_EQ(r.header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)");
  EXPECT_EQ(r.header("Accept"), "*/*");
  EXPECT_EQ(r.header("Referer"), std::string(address.view()));
  EXPECT_EQ(r.header("Accept-Language"), "zh-cn");
  EXPECT_EQ(r.header_count("Content-Type"), 0u);
}

TEST_F(FetchTest, KeepsTheCallersAcceptLineAndAppendsTheRest) {
  server.on("/a", FixtureResponse{});
  Text headers = "Accept: text/html\r\nX-Mine: 1";
  fetch_url(url("/a"), {.headers = &headers});
  EXPECT_EQ(headers, text_concat(Text("Accept: text/html\r\nX-Mine: 1\r\nReferer: "), url("/a"),
                                 "\r\nAccept-Language: zh-cn"));
  RecordedRequest r = only_request();
  EXPECT_EQ(r.header("Accept"), "text/html");
  EXPECT_EQ(r.header_count("Accept"), 1u);
  EXPECT_EQ(r.header("X-Mine"), "1");
}

struct AgentCase {
  const char* name;
  const char* headers;
  const char* agent;
};

class FetchAgent : public FetchTest, public ::testing::WithParamInterface<AgentCase> {};

TEST_P(FetchAgent, ComesFromTheCallersLineOrTheDefault) {
  server.on("/ua", FixtureResponse{});
  Text headers = GetParam().headers;
  fetch_url(url("/ua"), {.headers = &headers});
  RecordedRequest r = only_request();
  EXPECT_EQ(r.header("User-Agent"), GetParam().agent);
  EXPECT_EQ(r.header_count("User-Agent"), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Fetch, FetchAgent,
    ::testing::Values(AgentCase{"default", "X-A: 1",
                                "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"},
                      AgentCase{"callers_line", "Accept: */*\r\nUser-Agent:  Probe 1 ", "Probe 1"},
                      AgentCase{"lower_case_falls_back_to_header_value", "user-agent: X", "X"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HeaderValue, IsTheTrimmedTextAfterTheFirstColon) {
  EXPECT_EQ(header_value("user-agent:  X:Y "), Text("X:Y"));
  EXPECT_EQ(header_value("a: 1\r\nb: 2"), Text("1\r\nb: 2"));
  EXPECT_EQ(header_value("none"), Text(""));
}

struct BodyCase {
  const char* name;
  int method;
  std::string body_text;
  std::string body_bytes;
  const char* caller_headers;
  std::string sent;
  const char* content_type;  // nullptr: no Content-Type line
};

class FetchBody : public FetchTest, public ::testing::WithParamInterface<BodyCase> {};

TEST_P(FetchBody, GoesOutWithTheRightContentType) {
  const BodyCase& c = GetParam();
  server.on("/b", FixtureResponse{});
  Text headers = c.caller_headers;
  Bytes body_bytes(c.body_bytes);
  fetch_url(url("/b"), {.method = c.method,
                        .body_text = text(c.body_text),
                        .headers = &headers,
                        .body_bytes = &body_bytes});
  RecordedRequest r = only_request();
  EXPECT_EQ(r.body, c.sent);
  EXPECT_EQ(str(body_bytes), c.sent);
  if (c.content_type != nullptr) {
    EXPECT_EQ(r.header("Content-Type"), c.content_type);
    EXPECT_NE(find_text(headers, "Content-Type: "), -1);
  } else {
    EXPECT_EQ(r.header_count("Content-Type"), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fetch, FetchBody,
    ::testing::Values(
        BodyCase{"post_text", 1, "a=1&b=2", "", "", "a=1&b=2", "application/x-www-form-urlencoded"},
        BodyCase{"post_bytes_win", 1, "ignored", std::string("z\0z", 3), "", std::string("z\0z", 3),
                 "application/x-www-form-urlencoded"},
        BodyCase{"post_own_type", 1, "{}", "", "Content-Type: application/json", "{}",
                 "application/json"},
        BodyCase{"post_empty", 1, "", "", "", "", "application/x-www-form-urlencoded"},
        BodyCase{"put_text", 3, "data", "", "", "data", nullptr},
        BodyCase{"put_own_type", 3, "data", "", "Content-Type: text/plain", "data", "text/plain"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FetchTest, GetSendsNoBodyAndLeavesBodyBytesAlone) {
  server.on("/g", FixtureResponse{});
  Bytes body_bytes;
  fetch_url(url("/g"), {.body_text = "ignored", .body_bytes = &body_bytes});
  EXPECT_EQ(only_request().body, "");
  EXPECT_TRUE(body_bytes.empty());
}

struct CookieLineCase {
  const char* name;
  const char* cookies;
  const char* sent;  // nullptr: no Cookie line
};

class FetchCookieLine : public FetchTest, public ::testing::WithParamInterface<CookieLineCase> {};

TEST_P(FetchCookieLine, IsSentAsGivenAndKeepsTheStoreOut) {
  server.on("/store", FixtureResponse{.headers = {{"Set-Cookie", "stored=1"}}});
  server.on("/c", FixtureResponse{.headers = {{"Set-Cookie", "fresh=2"}}});
  fetch_url(url("/store"));
  Text cookies = GetParam().cookies;
  Text headers;
  fetch_url(url("/c"), {.cookies = &cookies, .headers = &headers});
  fetch_url(url("/store"));
  auto seen = server.requests_for("/c");
  ASSERT_EQ(seen.size(), 1u);
  if (GetParam().sent != nullptr) {
    EXPECT_EQ(seen[0].header("Cookie"), GetParam().sent);
    EXPECT_EQ(seen[0].header_count("Cookie"), 1u);
  } else {
    EXPECT_EQ(seen[0].header_count("Cookie"), 0u);
    EXPECT_EQ(find_text(headers, "Cookie"), -1);
  }
  // Neither was the store's cookie sent, nor the response's stored.
  EXPECT_EQ(server.requests_for("/store").at(1).header("Cookie").find("fresh"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Fetch, FetchCookieLine,
                         ::testing::Values(CookieLineCase{"pair", "a=1", "a=1"},
                                           CookieLineCase{"own_cookie_line", "Cookie: b=2; c=3",
                                                          "b=2; c=3"},
                                           CookieLineCase{"supplied_empty", "", nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FetchTest, CollectsSetCookieLinesInAnyLetterCase) {
  server.on("/set", FixtureResponse{
                        .headers = {{"set-cookie", "sid=42; path=/"}, {"Set-Cookie", "lang=en"}}});
  server.on("/none", FixtureResponse{});
  Text returned = "stale";
  Text raw;
  fetch_url(url("/set"), {.returned_cookies = &returned, .raw_headers = &raw});
  EXPECT_EQ(returned, Text("sid=42; lang=en"));
  EXPECT_NE(find_text(raw, "\r\nSet-Cookie: sid=42; path=/\r\n"), -1);
  EXPECT_NE(find_text(raw, "\r\nSet-Cookie: lang=en\r\n"), -1);
  EXPECT_EQ(find_text(raw, "set-cookie"), -1);
  fetch_url(url("/none"), {.returned_cookies = &returned});
  EXPECT_EQ(returned, Text(""));
}

// A header block far past 5000 bytes still yields its cookies.
TEST_F(FetchTest, ReadsAHeaderBlockOfAnySize) {
  test::HeaderList headers;
  for (int i = 0; i < 20; ++i) {
    headers.emplace_back("Content-Security-Policy-" + std::to_string(100 + i),
                         std::string(1024, 'p'));
  }
  headers.emplace_back("Set-Cookie", "late=1; HttpOnly");
  server.on("/fat", FixtureResponse{.headers = headers, .body = "b"});
  Text raw;
  Text returned;
  Bytes body = fetch_url(url("/fat"), {.returned_cookies = &returned, .raw_headers = &raw});
  EXPECT_EQ(str(body), "b");
  EXPECT_GT(text_length(raw), 20 * 1024);
  EXPECT_EQ(text_right(raw, 4), Text("\r\n\r\n"));
  EXPECT_EQ(returned, Text("late=1"));
}

TEST_F(FetchTest, MergesTheReturnedCookiesIntoTheSuppliedLine) {
  server.on("/set", FixtureResponse{.headers = {{"Set-Cookie", "sid=42; path=/"},
                                                {"Set-Cookie", "gone=deleted"}}});
  Text cookies = "a=1; sid=1; gone=x";
  Text returned;
  fetch_url(url("/set"), {.cookies = &cookies, .returned_cookies = &returned});
  EXPECT_EQ(returned, Text("sid=42; a=1"));
  EXPECT_EQ(cookies, Text("sid=42; a=1"));

  Text unmerged = "a=1";
  fetch_url(url("/set"),
            {.cookies = &unmerged, .returned_cookies = &returned, .auto_merge = false});
  EXPECT_EQ(returned, Text("sid=42; gone=deleted"));
  EXPECT_EQ(unmerged, Text("a=1"));
}

TEST_F(FetchTest, CookiesSetByOneRequestAreSentByTheNext) {
  server.on("/login", FixtureResponse{.headers = {{"Set-Cookie", "session=abc; Path=/"}}});
  server.on("/home", FixtureResponse{});
  fetch_url(url("/login"));
  fetch_url(url("/home"));
  EXPECT_NE(server.requests_for("/home").at(0).header("Cookie").find("session=abc"),
            std::string::npos);
}

struct FailureCase {
  const char* name;
  std::string url;  // "{port}" stands for a refused port
  bool writes_headers;
};

class FetchFailure : public FetchTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FetchFailure, GivesEmptyBytes) {
  std::string address = GetParam().url;
  if (auto at = address.find("{port}"); at != std::string::npos) {
    address.replace(at, 6, std::to_string(test::free_loopback_port()));
  }
  Text headers = "X-Keep: 1";
  Text raw = "untouched";
  Text returned = "untouched";
  Text cookies = "a=1";
  Bytes body_bytes("keep");
  Bytes body = fetch_url(text(address), {.method = 1,
                                         .cookies = &cookies,
                                         .returned_cookies = &returned,
                                         .headers = &headers,
                                         .raw_headers = &raw,
                                         .body_bytes = &body_bytes});
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(cookies, Text("a=1"));
  if (GetParam().writes_headers) {
    EXPECT_NE(find_text(headers, "Referer: "), -1);
    EXPECT_EQ(raw, Text(""));
    EXPECT_EQ(returned, Text("a=1"));  // the merge of nothing with the sent line
  } else {
    EXPECT_EQ(headers, Text("X-Keep: 1"));
    EXPECT_EQ(raw, Text("untouched"));
    EXPECT_EQ(returned, Text("untouched"));
    EXPECT_EQ(str(body_bytes), "keep");
  }
}

INSTANTIATE_TEST_SUITE_P(Fetch, FetchFailure,
                         ::testing::Values(  // A first label past 63 bytes fails in the resolver
                                             // itself: no query leaves the machine.
                             FailureCase{"unresolvable_host",
                                         "http://" + std::string(64, 'k') + ".invalid/x", true},
                             FailureCase{"refused_port", "http://127.0.0.1:{port}/x", true},
                             // Another scheme is not read as a host name.
                             FailureCase{"file_scheme", "file:///etc/passwd", false},
                             FailureCase{"ftp_scheme", "ftp://127.0.0.1:{port}/x", false},
                             FailureCase{"host_with_a_space", "http://a b/x", false},
                             FailureCase{"port_past_65535", "http://127.0.0.1:65616/x", false},
                             FailureCase{"empty_address", "", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FetchTest, FollowsRedirectsUnlessAskedNotTo) {
  server.on("/old", FixtureResponse{.status = 302,
                                    .headers = {{"Location", "/new"}, {"Set-Cookie", "hop=1"}},
                                    .body = "moved"});
  server.on("/new", FixtureResponse{.headers = {{"Set-Cookie", "end=2"}}, .body = "new"});
  Text raw;
  Text returned;
  EXPECT_EQ(str(fetch_url(url("/old"), {.returned_cookies = &returned, .raw_headers = &raw})),
            "new");
  EXPECT_EQ(text_left(raw, 12), Text("HTTP/1.1 200"));
  EXPECT_EQ(returned, Text("end=2"));  // the final response's headers only

  EXPECT_EQ(str(fetch_url(url("/old"), {.raw_headers = &raw, .no_redirect = true})), "moved");
  EXPECT_EQ(text_left(raw, 12), Text("HTTP/1.1 302"));
  EXPECT_EQ(server.requests_for("/new").size(), 1u);
}

TEST_F(FetchTest, NeverRedirectsToAnotherScheme) {
  server.on("/ftp", FixtureResponse{.status = 302, .headers = {{"Location", "ftp://127.0.0.1/"}}});
  server.on("/file",
            FixtureResponse{.status = 302, .headers = {{"Location", "file:///etc/hostname"}}});
  for (const char* path : {"/ftp", "/file"}) {
    SCOPED_TRACE(path);
    Text raw;
    EXPECT_TRUE(fetch_url(url(path), {.raw_headers = &raw}).empty());
    EXPECT_EQ(text_left(raw, 12), Text("HTTP/1.1 302"));
  }
}

TEST_F(FetchTest, GivesUpOnAServerThatStopsSending) {
  platform::InetSettings settings = platform::inet_settings();
  settings.stall_timeout = 1s;
  platform::set_inet_settings(settings);
  server.on("/slow", FixtureResponse{.body = std::string(5000, 's'), .stall_after = 2048});
  server.on("/mute", FixtureResponse{.body = "late", .delay = 60s});
  EXPECT_EQ(str(fetch_url(url("/slow"))), std::string(2048, 's'));
  EXPECT_TRUE(fetch_url(url("/mute")).empty());
}

class FetchTlsTest : public FetchTest {
 protected:
  void SetUp() override {
    FetchTest::SetUp();
    platform::InetSettings settings = platform::inet_settings();
    settings.extra_authorities_pem = certificates.authority_pem();
    platform::set_inet_settings(settings);
  }
  test::TestCertificates certificates;
  HttpFixture secure{certificates};
};

TEST_F(FetchTlsTest, FetchesOverHttpsAndFollowsHttpToHttps) {
  secure.on("/s", FixtureResponse{.body = "secret"});
  server.on("/up", FixtureResponse{.status = 301, .headers = {{"Location", secure.url("/s")}}});
  EXPECT_EQ(str(fetch_url(text(secure.url("/s")))), "secret");
  EXPECT_EQ(str(fetch_url(url("/up"))), "secret");
  EXPECT_EQ(secure.requests_for("/s").size(), 2u);
}

TEST_F(FetchTlsTest, GoesThroughAProxyForHttpAndHttps) {
  test::ProxyFixture proxy;
  server.on("/p", FixtureResponse{.body = "plain"});
  secure.on("/s", FixtureResponse{.body = "secret"});
  EXPECT_EQ(str(fetch_url(url("/p"), {.proxy = text(proxy.address())})), "plain");
  EXPECT_NE(only_request().header("Via"), "");
  EXPECT_EQ(str(fetch_url(text(secure.url("/s")), {.proxy = text(proxy.address())})), "secret");
  EXPECT_NE(proxy.log().find("): CONNECT 127.0.0.1:" + std::to_string(secure.port())),
            std::string::npos);
}

}  // namespace
}  // namespace kestrava
