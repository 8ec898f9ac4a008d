#include "net/url.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

namespace kestrava {

void PrintTo(const Text& text, std::ostream* out) {
  *out << '"' << text.view() << '"';
}

namespace {

struct HostCase {
  const char* name;
  const char* url;
  bool strip_subdomains;
  bool keep_port;
  std::optional<int> dot_count;
  const char* host;
};

class UrlHost : public ::testing::TestWithParam<HostCase> {};

TEST_P(UrlHost, FindsTheHost) {
  const HostCase& c = GetParam();
  EXPECT_EQ(url_host(c.url, c.strip_subdomains, c.keep_port, c.dot_count), Text(c.host));
}

constexpr std::nullopt_t scheme = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Url, UrlHost,
    ::testing::Values(
        HostCase{"https_lower_cased", "https://Pic.Example.com:81/a/B", false, false, scheme,
                 "pic.example.com"},
        HostCase{"https_keep_port", "https://Pic.Example.com:81/a/B", false, true, scheme,
                 "pic.example.com:81"},
        HostCase{"https_stripped", "https://Pic.Example.com:81/a/B", true, false, scheme,
                 "example.com"},
        HostCase{"stripped_keeps_port_on_last_label", "http://pic.example.com:88/", true, true,
                 scheme, "example.com:88"},
        HostCase{"stripped_single_label", "http://localhost/x", true, false, scheme, "localhost"},
        HostCase{"no_path", "http://example.com", false, false, scheme, "example.com"},
        HostCase{"no_scheme", "example.com/x", false, false, scheme, "example.com"},
        HostCase{"query_without_path_stays", "http://example.com?q=1", false, false, scheme,
                 "example.com?q=1"},
        HostCase{"other_scheme_is_a_bare_host", "ftp://example.com/x", false, false, scheme, "ftp"},
        HostCase{"http_found_anywhere", "see http://a.b/c", false, false, scheme, "a.b"},
        HostCase{"empty_address", "", false, false, scheme, ""},
        HostCase{"only_a_scheme", "https://", false, false, scheme, ""},
        HostCase{"ipv4", "http://127.0.0.1:8080/x", false, false, scheme, "127.0.0.1"},
        HostCase{"ipv4_stripped", "http://127.0.0.1/x", true, false, scheme, "0.1"},
        HostCase{"dots_0_stripped", "http://pic.a.example.com/x", true, false, 0, "com"},
        HostCase{"dots_0", "http://pic.a.example.com/x", false, false, 0, "example.com"},
        HostCase{"dots_1_stripped", "http://pic.a.example.com/x", true, false, 1, "example.com"},
        HostCase{"dots_1", "http://pic.a.example.com/x", false, false, 1, "a.example.com"},
        HostCase{"dots_3_stripped", "http://pic.a.example.com/x", true, false, 3,
                 "pic.a.example.com"},
        HostCase{"dots_3", "http://pic.a.example.com/x", false, false, 3, "pic.a.example.com"},
        HostCase{"dots_negative_counts_none", "http://pic.a.example.com/x", true, false, -2, "com"},
        HostCase{"dots_port_cut", "https://A.Example.com:81/x", false, false, 0, "example.com"},
        HostCase{"dots_port_kept", "https://a.example.com:81/x", false, true, 0, "example.com:81"},
        HostCase{"dots_trailing_dot_not_counted", "a.example.com.", true, false, 0, "com."},
        HostCase{"dots_empty_address", "", false, false, 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct PortCase {
  const char* name;
  const char* url;
  int port;
};

class UrlPort : public ::testing::TestWithParam<PortCase> {};

TEST_P(UrlPort, FindsThePort) {
  EXPECT_EQ(url_port(GetParam().url), GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(
    Url, UrlPort,
    ::testing::Values(PortCase{"given", "https://Pic.Example.com:81/a/B", 81},
                      PortCase{"http_default", "http://example.com", 80},
                      PortCase{"https_default", "https://example.com/x", 443},
                      PortCase{"bare_host", "example.com/x", 80},
                      PortCase{"https_looking_bare_host", "HTTPS.example.com/x", 443},
                      PortCase{"empty_port", "http://example.com:/x", 0},
                      PortCase{"not_digits", "http://example.com:ab/x", 0},
                      PortCase{"past_65535_as_given", "http://example.com:70000/x", 70000},
                      PortCase{"ipv4", "http://127.0.0.1:8080/", 8080},
                      PortCase{"empty_address", "", 80}),
    [](const auto& info) { return std::string(info.param.name); });

struct PathCase {
  const char* name;
  const char* url;
  const char* path;
};

class UrlPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(UrlPath, FindsThePath) {
  EXPECT_EQ(url_path(GetParam().url), Text(GetParam().path));
}

INSTANTIATE_TEST_SUITE_P(
    Url, UrlPath,
    ::testing::Values(PathCase{"letter_case_kept", "https://Pic.Example.com:81/a/B", "/a/B"},
                      PathCase{"none", "http://example.com", "/"},
                      PathCase{"query_and_fragment", "http://e.com/s.php?q=A&b#F",
                               "/s.php?q=A&b#F"},
                      PathCase{"query_without_path", "http://example.com?q=1", "/"},
                      PathCase{"bare_host", "example.com/x?y", "/x?y"},
                      PathCase{"empty_address", "", "/"},
                      PathCase{"only_a_scheme", "http://", "//"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrava
