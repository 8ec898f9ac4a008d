// One complete HTTP or HTTPS request: the body comes back as Bytes, empty
// when the request could not be made or nothing was read.
#pragma once

#include "text/text.h"

namespace kestrava {

// Methods 0-7: GET, POST, HEAD, PUT, OPTIONS, DELETE, TRACE, CONNECT; any
// other number is GET.
//
// The pointers are the caller's own variables; a null pointer stands for an
// omitted one. What the request writes there is visible after the call:
// headers (the whole header block sent), body_bytes (for methods other than
// GET, body_text's bytes when it was empty), raw_headers, returned_cookies
// and, through the merge, cookies. When the request cannot even be set up
// (no session, no connection, no request) nothing is written.
struct FetchOptions {
  int method = 0;
  Text body_text{};  // the body when body_bytes is empty
  // A cookie line to send; supplying one, even empty, also keeps the
  // process's cookie store out of the request.
  Text* cookies = nullptr;
  Text* returned_cookies = nullptr;  // name=value pairs joined by "; "
  Text* headers = nullptr;           // caller's lines, separated by "\r\n"
  Text* raw_headers = nullptr;       // the final response's header block
  bool no_redirect = false;
  Bytes* body_bytes = nullptr;
  Text proxy{};  // "host:port", empty for a direct connection
  // Merge the returned cookies into cookies, when cookies is supplied.
  bool auto_merge = true;
};

Bytes fetch_url(const Text& url, const FetchOptions& options = {});

// The text after its first ":", trimmed; "" when it holds none.
Text header_value(const Text& text);

}  // namespace kestrava
