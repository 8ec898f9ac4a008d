#include "net/fetch_headers.h"

#include <string>

#include "net/fetch.h"
#include "text/extract.h"

namespace kestrava::detail {
namespace {

const char* const default_agent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

}  // namespace

Text request_agent(const Text& headers) {
  if (find_text(headers, "User-Agent:", 0, true) == -1) {
    return default_agent;
  }
  Text agent = trim_spaces(take_between(text_concat(headers, "\r\n"), "User-Agent:", "\r\n"));
  if (agent.empty()) {
    agent = header_value(headers);
  }
  return agent;
}

Text build_header_block(Text headers, const Text& url, int method, const Text* cookies) {
  if (headers.empty()) {
    headers = "Accept: */*";
  } else if (find_text(headers, "Accept:") == -1) {
    headers = text_concat(headers, "\r\nAccept: */*");
  }
  if (find_text(headers, "Referer:") == -1) {
    headers = text_concat(headers, "\r\nReferer: ", url);
  }
  if (find_text(headers, "Accept-Language:") == -1) {
    headers = text_concat(headers, "\r\nAccept-Language: zh-cn");
  }
  if (method == 1 && find_text(headers, "Content-Type:") == -1) {
    headers = text_concat(headers, "\r\nContent-Type: application/x-www-form-urlencoded");
  }
  if (cookies != nullptr && !cookies->empty()) {
    headers = find_text(*cookies, "Cookie:") != -1 ? text_concat(headers, "\r\n", *cookies)
                                                   : text_concat(headers, "\r\nCookie: ", *cookies);
  }
  return headers;
}

Text normalise_set_cookie(const Text& raw_headers) {
  return replace_text(raw_headers, "Set-Cookie", "Set-Cookie", 1, -1, false);
}

Text collect_returned_cookies(const Text& raw_headers) {
  std::string collected;
  for (const Text& line : split_text(raw_headers, "\r\n")) {
    if (find_text(line, "Set-Cookie") == -1) {
      continue;
    }
    const Text entry = find_text(line, ";") != -1
                           ? trim_spaces(take_between(line, "Set-Cookie:", ";"))
                           : trim_spaces(replace_text(line, "Set-Cookie:", "", 1, -1, false));
    collected += entry.view();
    collected += "; ";
  }
  const Text joined(std::move(collected));
  return text_left(joined, text_length(joined) - 2);
}

}  // namespace kestrava::detail
