// A click in the result list: the selected row's poster and download
// addresses.
#include "app/window.h"
#include "app/workers.h"
#include "net/fetch.h"
#include "text/codepage.h"
#include "text/extract.h"
#include "text/literal.h"
#include "text/text.h"

namespace kestrava {
namespace {

using namespace kestrava::literals;

constexpr int address_column = 3;
constexpr int picture_column = 5;

constexpr const char* left_marker = "var GvodUrls1 = \"";
constexpr const char* right_marker = "\";echoDown(GvodUrls1,0)";

}  // namespace

void detail_worker_at(const Text& base_url) {
  set_text(编辑框1, "");
  const Text address = list_get_cell(超级列表框1, list_selected_row(超级列表框1), address_column);
  const Text picture_address =
      list_get_cell(超级列表框1, list_selected_row(超级列表框1), picture_column);

  set_visible(透明标签2, true);
  set_text(透明标签2, "图片加载中....."_gbk);
  set_text(编辑框1, "正在获取，请耐心等待......"_gbk);

  set_picture(图片框1, fetch_url(picture_address));
  set_visible(透明标签2, false);

  const Text detail_address = text_concat(base_url, address);
  const Text page = utf8_to_gbk(bytes_to_text(fetch_url(detail_address)));
  Text addresses = take_between(page, left_marker, right_marker);
  addresses = replace_text(addresses, "$", "  ", 1, -1, true);
  addresses = replace_text(addresses, "###", "\r\n\r\n", 1, -1, true);

  set_text(编辑框1, addresses);
  if (text_compare(get_text(编辑框1), "") == 0) {
    set_text(编辑框1, "网页返回为空，请重新尝试单击获取......"_gbk);
  } else {
    set_enabled(编辑框1, true);
  }
}

void detail_worker() {
  detail_worker_at(site_base_url);
}

}  // namespace kestrava
