// The two patterns of the search worker and search pages written in the
// site's markup, in UTF-8, for the tests and benchmarks of the regular
// expressions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrava::testing {

inline constexpr std::string_view result_pattern =
    "text-white fed-text-center\">([\\s\\S]*?)</span></a><a class=\"fed-list-title fed-font-xiv "
    "fed-text-center fed-text-sm-left fed-visible fed-part-eone\" "
    "href=\"([\\s\\S]*?)\">([\\s\\S]*?)"
    "</a><span class=\"fed-list-desc fed-font-xii fed-visible fed-part-eone fed-text-muted "
    "fed-hide-xs fed-show-sm-block\">([\\s\\S]*?)</span></li>";
static_assert(result_pattern.size() == 313);

inline constexpr std::string_view poster_pattern = "data-original=\"([\\s\\S]*?)\"><span class=\"";
static_assert(poster_pattern.size() == 40);

struct Entry {
  std::string label;    // group 1
  std::string address;  // group 2
  std::string name;     // group 3
  std::string cast;     // group 4
  std::string poster;   // group 1 of the poster pattern
};

// One result entry as the site writes it.
inline std::string entry_markup(const Entry& e) {
  return "<li class=\"fed-list-item fed-padding fed-col-xs4 fed-col-sm3 fed-col-md2\">"
         "<a class=\"fed-list-pics fed-lazy fed-part-2by3\" href=\"" +
         e.address + "\" data-original=\"" + e.poster +
         "\"><span class=\"fed-list-play fed-hide-xs\"></span>"
         "<span class=\"fed-list-score fed-font-xii fed-back-green\">8.0</span>"
         "<span class=\"fed-list-remarks fed-font-xii fed-text-white fed-text-center\">" +
         e.label +
         "</span></a><a class=\"fed-list-title fed-font-xiv fed-text-center fed-text-sm-left "
         "fed-visible fed-part-eone\" href=\"" +
         e.address + "\">" + e.name +
         "</a><span class=\"fed-list-desc fed-font-xii fed-visible fed-part-eone "
         "fed-text-muted fed-hide-xs fed-show-sm-block\">" +
         e.cast + "</span></li>\r\n";
}

inline std::string page_head() {
  return "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title>"
         "\xE6\x90\x9C\xE7\xB4\xA2\xE7\xBB\x93\xE6\x9E\x9C</title></head>\r\n<body>"
         "<ul class=\"fed-list-info fed-part-rows\">\r\n";
}

inline std::string page_tail() {
  return "</ul></body></html>\r\n";
}

// Entry i of a generated page: a Chinese name, a cast of several names, every
// seventh one spread over lines.
inline Entry numbered_entry(std::size_t i) {
  const std::string n = std::to_string(i + 1);
  Entry e;
  e.label = i % 3 == 0 ? "HD" : "\xE6\x9B\xB4\xE6\x96\xB0\xE8\x87\xB3" + n + "\xE9\x9B\x86";
  e.address = "/movie/" + n + ".html";
  e.name = "\xE7\x94\xB5\xE5\xBD\xB1" + n;  // 电影n
  e.cast = "\xE5\xBC\xA0\xE4\xB8\x89,\xE6\x9D\x8E\xE5\x9B\x9B,Tom Hanks";
  if (i % 7 == 0)
    e.cast += "\r\n\xE7\x8E\x8B\xE4\xBA\x94\r\nJane Doe";
  e.poster = "https://img.example.com/upload/vod/" + n + ".jpg";
  return e;
}

// A page of `count` entries.
inline std::string search_page(std::size_t count) {
  std::string page = page_head();
  for (std::size_t i = 0; i < count; ++i)
    page += entry_markup(numbered_entry(i));
  return page + page_tail();
}

// About `size` bytes of bare entries that each lack only their closing
// "</li>", the worst the result pattern meets: every group finds its end
// marker again and again, and the search tries the ways of spreading the
// groups over the page.
inline std::string near_match_page(std::size_t size) {
  const std::string near =
      "<span class=\"text-white fed-text-center\">HD</span></a><a class=\"fed-list-title "
      "fed-font-xiv fed-text-center fed-text-sm-left fed-visible fed-part-eone\" "
      "href=\"/m/1.html\">A</a><span class=\"fed-list-desc fed-font-xii fed-visible fed-part-eone "
      "fed-text-muted fed-hide-xs fed-show-sm-block\">B</span></l>\n";
  std::string page = page_head();
  while (page.size() + near.size() < size)
    page += near;
  return page;
}

}  // namespace kestrava::testing
