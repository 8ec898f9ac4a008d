// A search-result page of mixed ASCII markup and two-byte characters, in code
// page 936, for benchmarks that work on page-sized texts.
#pragma once

#include <cstddef>
#include <string>

namespace kestrava::bench {

inline std::string markup_page_gbk(std::size_t size) {
  // 中文标题 and 主演 in code page 936, between runs of markup.
  const std::string entry =
      "<li class=\"fed-list-item fed-padding fed-col-xs4\"><a class=\"fed-list-pics\" "
      "data-original=\"/upload/p.jpg\"><span class=\"fed-list-score\">9.1</span></a>"
      "<a class=\"fed-list-title\" href=\"/movie/1.html\">\xD6\xD0\xCE\xC4\xB1\xEA\xCC\xE2</a>"
      "<span class=\"fed-list-desc\">\xD6\xF7\xD1\xDD: A$B$C</span></li>\r\n";
  std::string page;
  page.reserve(size + entry.size());
  while (page.size() + entry.size() < size)
    page += entry;
  page.append(size - page.size(), ' ');
  return page;
}

}  // namespace kestrava::bench
