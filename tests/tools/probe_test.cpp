// kestrava-probe run as a user runs it, against a loopback server.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "support/http_fixture.h"

namespace kestrava {
namespace {

using test::FixtureResponse;

struct ProbeRun {
  int status = -1;
  std::string out;
};

// Arguments are quoted with single quotes for the shell; none of ours hold one.
ProbeRun probe(const std::string& arguments) {
  ProbeRun run;
  const std::string command = std::string(KESTRAVA_PROBE) + " " + arguments + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  while (std::size_t count = std::fread(buffer, 1, sizeof buffer, pipe)) {
    run.out.append(buffer, count);
  }
  int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string sha256_hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr);
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    hex += pair;
  }
  return hex;
}

TEST(ProbeFetch, PrintsTheResultsAsJsonInUtf8) {
  test::HttpFixture server;
  const std::string body("zero\0byte", 9);
  server.on("/p", FixtureResponse{.headers = {{"Set-Cookie", "sid=42; path=/"}}, .body = body});
  const std::string url = server.url("/p");

  ProbeRun run =
      probe("fetch '" + url + "' --method 1 --body 'k=v' --cookies 'a=1' --headers 'X-Name: 名'");
  EXPECT_EQ(run.status, 0);
  const std::string expected =
      "{\"body_length\": 9, \"body_sha256\": \"" + sha256_hex(body) +
      "\", \"headers\": \"X-Name: 名\\r\\nAccept: */*\\r\\nReferer: " + url +
      "\\r\\nAccept-Language: zh-cn\\r\\nContent-Type: application/x-www-form-urlencoded"
      "\\r\\nCookie: a=1\", \"raw_headers\": \"HTTP/1.1 200 OK\\r\\n";
  EXPECT_EQ(run.out.substr(0, expected.size()), expected);
  EXPECT_NE(run.out.find("\"returned_cookies\": \"sid=42; a=1\", \"cookies\": \"sid=42; a=1\"}\n"),
            std::string::npos)
      << run.out;

  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].body, "k=v");
  EXPECT_EQ(requests[0].header("X-Name"), "\xC3\xFB");  // sent in code page 936
}

TEST(ProbeFetch, OmitsWhatIsNotGiven) {
  test::HttpFixture server;
  server.on("/p", FixtureResponse{.status = 302, .headers = {{"Location", "/q"}}});
  ProbeRun run = probe("fetch '" + server.url("/p") + "' --no-redirect");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("\"raw_headers\": \"HTTP/1.1 302 Found\\r\\n"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("\"cookies\": null}"), std::string::npos) << run.out;
  EXPECT_EQ(server.requests_for("/q").size(), 0u);

  ProbeRun empty = probe("fetch '" + server.url("/p") + "' --cookies ''");
  EXPECT_NE(empty.out.find("\"cookies\": \"\"}"), std::string::npos) << empty.out;
}

TEST(ProbeFetch, RejectsBadUsage) {
  EXPECT_EQ(probe("").status, 2);
  EXPECT_EQ(probe("nonsense").status, 2);
  EXPECT_EQ(probe("fetch").status, 2);
  EXPECT_EQ(probe("fetch http://127.0.0.1/ --method").status, 2);
  EXPECT_EQ(probe("fetch http://127.0.0.1/ --method x").status, 2);
  EXPECT_EQ(probe("fetch http://127.0.0.1/ --colour red").status, 2);
}

}  // namespace
}  // namespace kestrava
