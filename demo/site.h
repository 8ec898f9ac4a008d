// The demo movie site: its catalogue and the pages it serves, in UTF-8 and in
// the markup the search worker expects.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "posters.h"

namespace kestrava::demo {

struct Title {
  int id = 0;
  std::string name;   // UTF-8
  std::string label;  // episodes and quality, shown in the list
  std::string cast;
  PosterKind poster = PosterKind::jpeg;
  // Download entries; each part of an entry is joined with "$" on the page.
  std::vector<std::vector<std::string>> downloads;
};

const std::vector<Title>& catalogue();
const Title* find_title(int id);

// Percent-decodes a query value ("+" is a space); malformed escapes stay as
// they are.
std::string percent_decode(std::string_view text);

// The titles whose name contains keyword (UTF-8), Latin letters compared
// without regard to case; an empty keyword lists every title.
std::vector<const Title*> search_titles(std::string_view keyword);

// Addresses on the site, relative to its base.
std::string title_path(const Title& title);
std::string poster_path(const Title& title);

// base is "http://host:port", used for the absolute poster addresses.
std::string search_page(std::string_view base, std::string_view keyword,
                        const std::vector<const Title*>& titles);
std::string detail_page(std::string_view base, const Title& title);
// The script value that holds a title's download entries.
std::string download_list(const Title& title);

}  // namespace kestrava::demo
