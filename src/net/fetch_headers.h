// The header work of fetch_url, apart from the transfer so that it can be
// tested and fuzzed on its own: the agent taken from the caller's lines, the
// header block sent, and the cookies read from the response's header block.
// Internal to src/net.
#pragma once

#include "text/text.h"

namespace kestrava::detail {

// The User-Agent of the caller's header lines, or the default agent when
// they name none.
Text request_agent(const Text& headers);

// The caller's lines completed with Accept, Referer, Accept-Language, for
// POST Content-Type, and the cookie line when cookies is not empty.
Text build_header_block(Text headers, const Text& url, int method, const Text* cookies);

// Every "Set-Cookie" in the raw response headers, in any letter case, written
// so.
Text normalise_set_cookie(const Text& raw_headers);

// name=value of every Set-Cookie line, joined by "; "; attributes dropped.
Text collect_returned_cookies(const Text& raw_headers);

}  // namespace kestrava::detail
