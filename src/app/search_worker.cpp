// The search: from the click on 搜索 to the filled result list.
#include <algorithm>
#include <atomic>
#include <memory>

#include "app/window.h"
#include "app/workers.h"
#include "net/fetch.h"
#include "regex/regex_object.h"
#include "text/codepage.h"
#include "text/literal.h"
#include "text/text.h"
#include "text/url_encode.h"

#ifndef KESTRAVA_SITE_BASE_URL
#error "KESTRAVA_SITE_BASE_URL: the site's scheme and host, set by the build"
#endif

namespace kestrava {

const char* const site_base_url = KESTRAVA_SITE_BASE_URL;

namespace {

using namespace kestrava::literals;

constexpr const char* search_path = "/search.php?searchword=";

constexpr const char* result_pattern =
    "text-white fed-text-center\">([\\s\\S]*?)</span></a><a class=\"fed-list-title fed-font-xiv "
    "fed-text-center fed-text-sm-left fed-visible fed-part-eone\" "
    "href=\"([\\s\\S]*?)\">([\\s\\S]*?)"
    "</a><span class=\"fed-list-desc fed-font-xii fed-visible fed-part-eone fed-text-muted "
    "fed-hide-xs fed-show-sm-block\">([\\s\\S]*?)</span></li>";

constexpr const char* poster_pattern = "data-original=\"([\\s\\S]*?)\"><span class=\"";

// A click that reaches the handler before the running search has disabled
// the button must not start a second search: two would empty and fill the
// same list in turn. The first worker to arrive owns the search; a worker
// that finds one running does nothing at all.
std::atomic<bool> search_running{false};

}  // namespace

void search_worker_at(const Text& base_url) {
  if (search_running.exchange(true)) {
    return;
  }
  RegexObject matcher;
  set_enabled(按钮_搜索, false);
  set_visible(透明标签1, true);
  set_text(透明标签1, "搜索中，请耐心等待......"_gbk);
  list_clear(超级列表框1);

  const Text keyword = get_text(编辑框_搜索);
  const Text search_address = text_concat(base_url, search_path, url_encode(keyword, false, true));
  // A GET with the default headers and nothing else.
  // The page in GBK, read once for both patterns; the body turns into it
  // where it lies.
  const auto search_page = std::make_shared<const TextUnits>(
      TextUnits::from_utf8(bytes_to_text(fetch_url(search_address))));

  matcher.create(result_pattern, search_page);
  const int count = matcher.match_count();
  if (count == 0) {
    set_text(透明标签1, "查询失败，请重新尝试搜索......"_gbk);
  } else {
    set_visible(透明标签1, false);
    for (int i = 0; i < count; ++i) {
      const int row = list_append_row(超级列表框1);
      const int n = row + 1;
      list_set_cell(超级列表框1, row, 0, number_to_text(n));
      list_set_cell(超级列表框1, row, 1, matcher.submatch_text(n, 1));
      list_set_cell(超级列表框1, row, 2, matcher.submatch_text(n, 3));
      list_set_cell(超级列表框1, row, 3, matcher.submatch_text(n, 2));
      list_set_cell(超级列表框1, row, 4, matcher.submatch_text(n, 4));
    }
    matcher.create(poster_pattern, search_page);
    // Poster addresses beyond the last row would address rows that do not
    // exist; they are not sent to the window at all.
    const int posters = std::min(matcher.match_count(), count);
    for (int j = 1; j <= posters; ++j) {
      list_set_cell(超级列表框1, j - 1, 5, matcher.submatch_text(j, 1));
    }
  }

  // Cleared before the button comes back, so that no click the user can make
  // on the enabled button is ever ignored.
  search_running.store(false);
  set_enabled(按钮_搜索, true);
  matcher.release();
}

void search_worker() {
  search_worker_at(site_base_url);
}

}  // namespace kestrava
