#include "site.h"

#include <cstdint>
#include <optional>

namespace kestrava::demo {
namespace {

struct Entry {
  const char* name;
  const char* label;
  const char* cast;
  PosterKind poster;
  int episodes;  // 0 for a film, which comes in two qualities; -1 for none yet
};

// Every title, cast and address here is made up for the demo.
const Entry entries[] = {
    {"Talvik Harbour", "HD国语中字", "林望舒,Mira Kestell,周砚", PosterKind::jpeg, 0},
    {"塔尔维克之冬 Talvik Winter", "更新至12集", "韩芷,沈一舟,Joren Abt", PosterKind::animated_gif,
     12},
    {"The Talvik Letters", "BD中字", "Ansel Moravec,Ilse Varga", PosterKind::png, 0},
    {"TALVIK 2049", "HD1080P", "Dara Quill,陆星河", PosterKind::bmp, 0},
    {"talvik 小镇往事", "全24集", "顾念安,许青禾,Pell Aubrey", PosterKind::ico, 24},
    {"Talvik：最后的渡轮", "TC抢先版", "Oren Stahl,白露", PosterKind::cur, 0},
    {"Return to Talvik", "第2季完结", "Mira Kestell,Pell Aubrey", PosterKind::pcx, 10},
    {"北港迷雾", "HD国语", "程砚秋,魏然", PosterKind::gif, 0},
    {"青石巷", "更新至8集", "苏晚,叶知秋,季川", PosterKind::jpeg, 8},
    {"Glass Orchard", "BD英语中字", "Hale Ferrin,Nessa Doyle", PosterKind::png, 0},
    {"The Ninth Ferry", "HD中字", "Tomas Reyner,Wilma Oakes", PosterKind::animated_gif, 0},
    {"月下长街", "全30集", "何晏,秦霜,唐未央", PosterKind::bmp, 30},
    {"Vesna Road", "HD720P", "Kata Ilves,Bruno Selk", PosterKind::ico, 0},
    {"烟雨楼台", "全40集", "温如玉,陆寒,姜小满", PosterKind::cur, 40},
    {"Örnberg Station", "BD中字", "Lisbet Näslund,Axel Grön", PosterKind::pcx, 0},
    {"长夜守望者", "HD国语", "贺凛,林深", PosterKind::gif, 0},
    {"Salt and Cedar", "HD中字", "Fenna Brook,Ivo Marsh", PosterKind::jpeg, 0},
    {"Marrowind", "更新至5集", "Cass Tennyr,Ada Wren", PosterKind::png, 5},
    {"第七号信箱", "HD国语中字", "钟离,夏知遥", PosterKind::animated_gif, 0},
    {"The Quiet Assessor", "BD1080P", "Gideon Pratt,Lou Amsel", PosterKind::bmp, 0},
    {"雪线以北", "全16集", "高原,宁静远", PosterKind::ico, 16},
    {"Brünnel Nights", "HD中字", "Mathis Kerr,Yva Brünnel", PosterKind::cur, 0},
    {"白鹭洲", "TC", "梁上燕,谷雨", PosterKind::pcx, -1},
    {"Copper Lantern", "HD英语", "Rosa Fenwick,Theo Lark", PosterKind::gif, 0},
    {"风起卡尔湾", "更新至20集", "欧阳屿,方晴", PosterKind::jpeg, 20},
    {"Nightjar Avenue", "BD中字", "Jun Ashby,Clement Vos", PosterKind::png, 0},
    {"山海旅店", "全12集", "唐棠,罗北,Mira Kestell", PosterKind::animated_gif, 12},
    {"Émile and the Tide", "HD中字", "Noé Ferrand,Claire Vasseur", PosterKind::bmp, 0},
    {"琥珀色的夏天", "HD国语", "江屿白,苏小禾", PosterKind::ico, 0},
    {"Ironwood Crossing", "HD1080P", "Marcus Tell,Inga Holm", PosterKind::cur, 0},
    {"星落之城", "全36集", "楚云深,白芷", PosterKind::pcx, 36},
    {"Halden Reach", "BD中字", "Sable Oduya,Piet Halden", PosterKind::jpeg, 0},
};

std::string two_digits(int n) {
  return std::string(1, static_cast<char>('0' + n / 10 % 10)) + static_cast<char>('0' + n % 10);
}

// A made-up info hash, stable for each title.
std::string fake_hash(int id) {
  std::uint64_t h = 1469598103934665603ull ^ static_cast<std::uint64_t>(id);
  std::string out;
  static const char digits[] = "0123456789abcdef";
  while (out.size() < 40) {
    h = (h ^ (h >> 29)) * 1099511628211ull + 0x9e3779b97f4a7c15ull;
    for (int i = 0; i < 8 && out.size() < 40; ++i) {
      out.push_back(digits[(h >> (i * 4)) & 0xF]);
    }
  }
  return out;
}

std::vector<Title> build_catalogue() {
  std::vector<Title> titles;
  int id = 0;
  for (const Entry& e : entries) {
    Title t;
    t.id = ++id;
    t.name = e.name;
    t.label = e.label;
    t.cast = e.cast;
    t.poster = e.poster;
    const std::string folder = "http://dl.kestrava-demo.test/v" + std::to_string(t.id) + "/";
    if (e.episodes == 0) {
      t.downloads.push_back({"HD高清", folder + "hd.mp4"});
      t.downloads.push_back({"BD蓝光", "magnet:?xt=urn:btih:" + fake_hash(t.id)});
    }
    for (int n = 1; n <= e.episodes; ++n) {
      t.downloads.push_back({"第" + two_digits(n) + "集", folder + two_digits(n) + ".mp4"});
    }
    titles.push_back(std::move(t));
  }
  return titles;
}

// Code points of UTF-8 text, Latin letters folded to lower case; nullopt when
// the text is not UTF-8.
std::optional<std::u32string> folded(std::string_view text) {
  std::u32string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    char32_t c = 0;
    std::size_t more = 0;
    if (b < 0x80) {
      c = b;
    } else if ((b & 0xE0) == 0xC0 && b >= 0xC2) {
      c = b & 0x1F, more = 1;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F, more = 2;
    } else if ((b & 0xF8) == 0xF0 && b <= 0xF4) {
      c = b & 0x07, more = 3;
    } else {
      return std::nullopt;
    }
    if (i + more >= text.size() && more > 0) {
      return std::nullopt;
    }
    for (std::size_t k = 1; k <= more; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) {
        return std::nullopt;
      }
      c = (c << 6) | (next & 0x3F);
    }
    i += more + 1;
    if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
      c += 0x20;
    }
    out.push_back(c);
  }
  return out;
}

std::string html_escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

const char* const page_head =
    "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";

}  // namespace

const std::vector<Title>& catalogue() {
  static const std::vector<Title> titles = build_catalogue();
  return titles;
}

const Title* find_title(int id) {
  const auto& titles = catalogue();
  if (id < 1 || id > static_cast<int>(titles.size())) {
    return nullptr;
  }
  return &titles[static_cast<std::size_t>(id - 1)];
}

std::string percent_decode(std::string_view text) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9')
      return c - '0';
    if (c >= 'a' && c <= 'f')
      return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
      return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out.push_back(' ');
    } else if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 &&
               hex(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::vector<const Title*> search_titles(std::string_view keyword) {
  std::vector<const Title*> found;
  const auto needle = folded(keyword);
  if (!needle) {
    return found;
  }
  for (const Title& t : catalogue()) {
    if (folded(t.name)->find(*needle) != std::u32string::npos) {
      found.push_back(&t);
    }
  }
  return found;
}

std::string title_path(const Title& title) {
  return "/movie/" + std::to_string(title.id) + ".html";
}

std::string poster_path(const Title& title) {
  return "/posters/" + std::to_string(title.id) + "." + std::string(poster_extension(title.poster));
}

std::string search_page(std::string_view base, std::string_view keyword,
                        const std::vector<const Title*>& titles) {
  const std::string shown = html_escape(keyword);
  std::string page = page_head;
  page += "<title>“" + shown + "”的搜索结果 - 影库演示站</title>\n</head>\n<body>\n";
  page += "<div class=\"fed-part-layout fed-back-whits\">\n<div class=\"fed-list-head\"><h2>搜索“" +
          shown + "”，共找到 " + std::to_string(titles.size()) + " 部影片</h2></div>\n";
  if (titles.empty()) {
    page += "<div class=\"fed-list-empty\">没有找到与“" + shown + "”相关的影片。</div>\n";
  }
  page += "<ul class=\"fed-list-info fed-part-rows\">\n";
  for (const Title* t : titles) {
    const std::string path = title_path(*t);
    page += "<li class=\"fed-list-item fed-padding fed-col-xs4 fed-col-sm3 fed-col-md2\">";
    page += "<a class=\"fed-list-pics fed-lazy fed-part-2by3\" href=\"" + path +
            "\" data-original=\"" + std::string(base) + poster_path(*t) + "\">";
    page += "<span class=\"fed-list-play fed-hide-xs\"></span>";
    page += "<span class=\"fed-list-score fed-font-xii fed-back-green\">" +
            std::to_string(6 + t->id % 4) + "." + std::to_string(t->id * 7 % 10) + "</span>";
    page += "<span class=\"fed-list-remarks fed-font-xii fed-text-white fed-text-center\">" +
            html_escape(t->label) + "</span></a>";
    page +=
        "<a class=\"fed-list-title fed-font-xiv fed-text-center fed-text-sm-left fed-visible "
        "fed-part-eone\" href=\"" +
        path + "\">" + html_escape(t->name) + "</a>";
    page +=
        "<span class=\"fed-list-desc fed-font-xii fed-visible fed-part-eone fed-text-muted "
        "fed-hide-xs fed-show-sm-block\">" +
        html_escape(t->cast) + "</span></li>\n";
  }
  page += "</ul>\n</div>\n</body>\n</html>\n";
  return page;
}

std::string download_list(const Title& title) {
  std::string list;
  for (const auto& entry : title.downloads) {
    if (!list.empty()) {
      list += "###";
    }
    for (std::size_t i = 0; i < entry.size(); ++i) {
      list += (i ? "$" : "") + entry[i];
    }
  }
  return list;
}

std::string detail_page(std::string_view base, const Title& title) {
  const std::string name = html_escape(title.name);
  std::string page = page_head;
  page += "<title>" + name + " - 影库演示站</title>\n</head>\n<body>\n";
  page += "<div class=\"fed-part-case\">\n<img class=\"fed-part-2by3\" src=\"" + std::string(base) +
          poster_path(title) + "\" alt=\"" + name + "\">\n";
  page += "<h1 class=\"fed-part-eone\">" + name + "</h1>\n";
  page += "<ul class=\"fed-part-rows\"><li>主演：" + html_escape(title.cast) + "</li><li>状态：" +
          html_escape(title.label) + "</li></ul>\n</div>\n";
  page += "<div class=\"fed-play-item\"><h2>下载地址</h2><ul class=\"fed-part-rows\">\n";
  for (const auto& entry : title.downloads) {
    page += "<li>" + html_escape(entry.front()) + "：<a href=\"" + html_escape(entry.back()) +
            "\">" + html_escape(entry.back()) + "</a></li>\n";
  }
  if (title.downloads.empty()) {
    page += "<li>暂无下载地址，敬请期待。</li>\n";
  }
  page += "</ul></div>\n";
  // The list's characters need no escaping in a script string: the catalogue
  // holds no quote, backslash or line break.
  page += "<script type=\"text/javascript\">var GvodUrls1 = \"" + download_list(title) +
          "\";echoDown(GvodUrls1,0)</script>\n";
  page += "</body>\n</html>\n";
  return page;
}

}  // namespace kestrava::demo
