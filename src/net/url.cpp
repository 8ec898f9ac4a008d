#include "net/url.h"

#include "text/extract.h"

namespace kestrava {
namespace {

Text host_by_scheme(const Text& url, bool strip_subdomains) {
  Text address = to_lower(url);
  if (text_compare(text_right(address, 1), "/") != 0) {
    address = text_concat(address, "/");
  }
  Text host;
  if (text_compare(text_left(address, 8), "https://") == 0) {
    host = take_between(address, "https://", "/");
  } else {
    if (find_text(address, "http://") == -1) {
      address = text_concat(Text("http://"), address);
    }
    host = take_between(address, "http://", "/");
  }
  if (strip_subdomains) {
    const TextArray labels = split_text(host, ".");
    const int count = array_count(labels);
    if (count > 1) {
      host = text_concat(labels.at(count - 1), ".", labels.at(count));
    }
  }
  return host;
}

// The last "." that ends before position, or -1; once -1, always -1.
int dot_before(const Text& text, int position) {
  return position == -1 ? -1 : find_text_reverse(text, ".", position);
}

Text host_by_dots(const Text& url, bool strip_subdomains, int dot_count) {
  Text address = to_lower(url);
  address = replace_text(address, "http://", "", 1, -1, true);
  address = replace_text(address, "https://", "", 1, -1, true);
  if (const int slash = find_text(address, "/"); slash != -1) {
    address = text_left(address, slash - 1);
  }
  const int length = text_length(address);
  int p = length;
  for (int i = 0; i < dot_count && p != -1; ++i) {
    p = dot_before(address, p);
  }
  const int t = dot_before(address, p);
  if (t == -1) {
    return address;
  }
  if (strip_subdomains) {
    return text_right(address, length - t);
  }
  const int u = dot_before(address, t);
  return u == -1 ? address : text_right(address, length - u);
}

}  // namespace

Text url_host(const Text& url, bool strip_subdomains, bool keep_port,
              std::optional<int> dot_count) {
  Text host = dot_count ? host_by_dots(url, strip_subdomains, *dot_count)
                        : host_by_scheme(url, strip_subdomains);
  if (!keep_port) {
    if (const int colon = find_text(host, ":"); colon != -1) {
      host = text_left(host, colon - 1);
    }
  }
  return host;
}

int url_port(const Text& url) {
  const Text host = url_host(url, false, true);
  if (const int colon = find_text_reverse(host, ":"); colon != -1) {
    return to_integer(text_right(host, text_length(host) - colon));
  }
  return text_compare(text_left(to_lower(url), 5), "https") == 0 ? 443 : 80;
}

Text url_path(const Text& url) {
  const Text host = url_host(url);
  const int at = find_text(url, host, 1, true);
  const int slash = find_text(url, "/", at, true);
  if (slash == -1) {
    return "/";
  }
  return text_right(url, text_length(url) - slash + 1);
}

}  // namespace kestrava
