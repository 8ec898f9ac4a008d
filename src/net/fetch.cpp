#include "net/fetch.h"

#include <string>

#include "net/cookies.h"
#include "net/fetch_headers.h"
#include "net/url.h"
#include "platform/inet/inet.h"

namespace kestrava {
namespace {

using platform::HttpRequest;
using platform::InternetConnection;
using platform::InternetSession;

const char* const verbs[] = {"GET", "POST", "HEAD", "PUT", "OPTIONS", "DELETE", "TRACE", "CONNECT"};

// Whether the address starts with a scheme other than http and https. Such an
// address would be read as a bare host ("file:///etc/x" as the host "file")
// and requested over HTTP; it is refused instead, as a redirect to it is.
bool names_another_scheme(const Text& url) {
  const std::string_view s = url.view();
  const std::size_t end = s.find("://");
  if (end == std::string_view::npos || end == 0) {
    return false;
  }
  for (std::size_t i = 0; i < end; ++i) {
    const char c = s[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    const bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    if (!letter && !(i > 0 && other)) {
      return false;
    }
  }
  const Text scheme = to_lower(Text(s.substr(0, end)));
  return scheme != Text("http") && scheme != Text("https");
}

}  // namespace

Text header_value(const Text& text) {
  const int colon = find_text(text, ":");
  if (colon == -1) {
    return Text();
  }
  return trim_spaces(text_right(text, text_length(text) - colon));
}

Bytes fetch_url(const Text& url, const FetchOptions& options) {
  if (names_another_scheme(url)) {
    return Bytes();
  }
  const int method = options.method >= 0 && options.method <= 7 ? options.method : 0;
  const bool https = text_compare(to_lower(text_left(url, 8)), "https://") == 0;
  const Text caller_headers = options.headers != nullptr ? *options.headers : Text();

  const Text agent = detail::request_agent(caller_headers);
  Text proxy;
  if (!options.proxy.empty()) {
    proxy = https ? options.proxy : text_concat(Text("http="), options.proxy);
  }
  auto session = InternetSession::open(agent.view(), proxy.view());
  if (!session) {
    return Bytes();
  }
  auto connection = session->connect(url_host(url).view(), url_port(url));
  if (!connection) {
    return Bytes();
  }
  std::uint32_t flags = platform::inet_flag_reload | platform::inet_flag_need_file;
  if (options.cookies != nullptr) {
    flags |= platform::inet_flag_no_cookies;
  }
  if (options.no_redirect) {
    flags |= platform::inet_flag_no_auto_redirect;
  }
  flags |= https ? platform::inet_flag_secure : platform::inet_flag_allow_redirect_to_https;
  auto request = connection->open_request(verbs[method], url_path(url).view(), "HTTP/1.1", flags);
  if (!request) {
    return Bytes();
  }

  const Text headers = detail::build_header_block(caller_headers, url, method, options.cookies);
  if (options.headers != nullptr) {
    *options.headers = headers;
  }
  if (method == 0) {
    request->send(headers.view(), std::nullopt);
  } else {
    Bytes body = options.body_bytes != nullptr ? *options.body_bytes : Bytes();
    if (body.empty()) {
      body = text_to_bytes(options.body_text);
    }
    if (options.body_bytes != nullptr) {
      *options.body_bytes = body;
    }
    request->send(headers.view(),
                  body.empty() ? std::nullopt : std::optional<std::string_view>(body.view()));
  }

  std::string received;
  request->read_rest(received);
  Bytes body(std::move(received));

  // The whole block, however long: a fixed buffer would lose the cookies of
  // a site whose headers outgrow it.
  Text raw_headers(request->raw_headers().value_or(std::string()));
  raw_headers = detail::normalise_set_cookie(raw_headers);
  if (options.raw_headers != nullptr) {
    *options.raw_headers = raw_headers;
  }

  request.reset();
  connection.reset();
  session.reset();

  Text returned_cookies = detail::collect_returned_cookies(raw_headers);
  if (options.auto_merge && options.cookies != nullptr) {
    returned_cookies = merge_cookies(*options.cookies, returned_cookies);
  }
  if (options.returned_cookies != nullptr) {
    *options.returned_cookies = returned_cookies;
  }
  return body;
}

}  // namespace kestrava
