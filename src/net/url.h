// Taking a full address apart for a request: host, port and path. Plain text
// rules, no URL parser; their quirks are relied upon (a query without a path
// stays in the host, a scheme other than http and https is read as a bare
// host).
#pragma once

#include <optional>

#include "text/text.h"

namespace kestrava {

// The lower-case host. Without dot_count the host is found by the scheme;
// with it (even 0) by counting dots from the end: the last dot_count + 2
// labels, or dot_count + 1 with strip_subdomains. In scheme mode
// strip_subdomains keeps the last two labels. keep_port leaves ":port" on.
Text url_host(const Text& url, bool strip_subdomains = false, bool keep_port = false,
              std::optional<int> dot_count = std::nullopt);

// The number after the host's last ":", else 443 for an address beginning
// with "https" and 80 otherwise.
int url_port(const Text& url);

// From the first "/" after the host to the end, query and fragment
// included, in the address's own letter case; "/" when there is none.
Text url_path(const Text& url);

}  // namespace kestrava
