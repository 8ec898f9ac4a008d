// The movie site's markup, written out for the worker tests and benchmarks:
// result entries as the search worker's patterns expect them and a detail
// page with its script list.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrava::testing {

struct ResultEntry {
  std::string label;    // episodes and quality
  std::string address;  // the title's address on the site
  std::string name;
  std::string cast;
  std::string poster;  // the poster address; empty writes no poster attribute
};

// text_white lets a test write the class name in another letter case.
inline std::string result_markup(const ResultEntry& e, std::string_view text_white = "text-white") {
  std::string out = "<li class=\"fed-list-item\">";
  out += "<a class=\"fed-list-pics\" href=\"" + e.address + "\"";
  if (!e.poster.empty()) {
    out += " data-original=\"" + e.poster + "\"";
  }
  out += "><span class=\"fed-list-play\"></span><span class=\"fed-list-remarks fed-font-xii fed-";
  out += std::string(text_white) + " fed-text-center\">" + e.label + "</span></a>";
  out +=
      "<a class=\"fed-list-title fed-font-xiv fed-text-center fed-text-sm-left fed-visible "
      "fed-part-eone\" href=\"" +
      e.address + "\">" + e.name + "</a>";
  out +=
      "<span class=\"fed-list-desc fed-font-xii fed-visible fed-part-eone fed-text-muted "
      "fed-hide-xs fed-show-sm-block\">" +
      e.cast + "</span></li>\n";
  return out;
}

inline std::string search_markup(const std::vector<ResultEntry>& entries,
                                 std::string_view text_white = "text-white") {
  std::string page =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>搜索</title></head><body>\n"
      "<ul class=\"fed-list-info\">\n";
  for (const ResultEntry& e : entries) {
    page += result_markup(e, text_white);
  }
  return page + "</ul>\n</body></html>\n";
}

// A detail page whose script holds list between the two markers.
inline std::string detail_markup(std::string_view list) {
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"></head><body>\n"
         "<h1>详情</h1>\n<script type=\"text/javascript\">var GvodUrls1 = \"" +
         std::string(list) + "\";echoDown(GvodUrls1,0)</script>\n</body></html>\n";
}

}  // namespace kestrava::testing
