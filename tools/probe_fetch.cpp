// kestrava-probe fetch URL [--method N] [--headers TEXT] [--cookies TEXT]
//                          [--body TEXT] [--proxy HOST:PORT] [--no-redirect]
//
// Makes one request with fetch_url against any server, passing only what is
// given (an option left out is omitted, so --cookies "" supplies an empty
// cookie line), and prints one JSON object, texts in UTF-8:
//   body_length, body_sha256, headers (the header block sent), raw_headers,
//   returned_cookies, cookies (after the call, or null when not supplied).
// Exits 0 whenever the call was made, whatever it returned; 2 on bad usage.
#include "probe_fetch.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "net/fetch.h"
#include "probe_json.h"
#include "text/codepage.h"
#include "text/text.h"

namespace kestrava::probe {
namespace {

int usage() {
  std::fprintf(stderr,
               "usage: kestrava-probe fetch URL [--method N] [--headers TEXT] [--cookies TEXT]\n"
               "                            [--body TEXT] [--proxy HOST:PORT] [--no-redirect]\n");
  return 2;
}

std::string sha256_hex(const Bytes& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr);
  static const char hex[] = "0123456789abcdef";
  std::string out;
  for (unsigned int i = 0; i < size; ++i) {
    out += hex[digest[i] >> 4];
    out += hex[digest[i] & 0x0F];
  }
  return out;
}

// Command-line arguments arrive in UTF-8; every Text is code page 936.
Text from_argument(const char* argument) {
  return utf8_to_gbk(Text(argument));
}

}  // namespace

int probe_fetch(int argc, char** argv) {
  std::optional<Text> url;
  FetchOptions options;
  Text headers;
  std::optional<Text> cookies;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--no-redirect") {
      options.no_redirect = true;
      continue;
    }
    if (arg.rfind("--", 0) != 0) {
      if (url) {
        return usage();
      }
      url = from_argument(argv[i]);
      continue;
    }
    if (i + 1 >= argc) {
      return usage();
    }
    const char* value = argv[++i];
    if (arg == "--method") {
      char* end = nullptr;
      errno = 0;
      const long method = std::strtol(value, &end, 10);
      if (*value == '\0' || *end != '\0' || errno != 0 || method < -1'000'000 ||
          method > 1'000'000) {
        return usage();
      }
      options.method = static_cast<int>(method);
    } else if (arg == "--headers") {
      headers = from_argument(value);
    } else if (arg == "--cookies") {
      cookies = from_argument(value);
    } else if (arg == "--body") {
      options.body_text = from_argument(value);
    } else if (arg == "--proxy") {
      options.proxy = from_argument(value);
    } else {
      return usage();
    }
  }
  if (!url) {
    return usage();
  }

  Text returned_cookies;
  Text raw_headers;
  options.headers = &headers;
  options.returned_cookies = &returned_cookies;
  options.raw_headers = &raw_headers;
  options.cookies = cookies ? &*cookies : nullptr;
  const Bytes body = fetch_url(*url, options);

  std::string out = "{";
  out += "\"body_length\": " + std::to_string(body.size());
  out += ", \"body_sha256\": \"" + sha256_hex(body) + "\"";
  out += ", \"headers\": " + json_text(headers);
  out += ", \"raw_headers\": " + json_text(raw_headers);
  out += ", \"returned_cookies\": " + json_text(returned_cookies);
  out += ", \"cookies\": " + (cookies ? json_text(*cookies) : std::string("null"));
  out += "}\n";
  std::fputs(out.c_str(), stdout);
  return 0;
}

}  // namespace kestrava::probe
