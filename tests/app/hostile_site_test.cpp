// The real window against a hostile site: every fault the fault server can
// play, met by a search and by a detail click. Whatever the site does, the
// worker ends within the HTTP layer's time-outs (shortened here), the window
// shows what the workers promise (the rows that arrived or the failure text,
// a picture box without picture), and the search button comes back.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/inet/inet.h"
#include "posters.h"
#include "site_markup.h"
#include "support/fault_server.h"
#include "worker_fixture.h"

namespace kestrava::testing {
namespace {

using namespace std::chrono_literals;
using test::Fault;
using test::FaultResponse;
using test::FaultServer;

const std::string not_found = "查询失败，请重新尝试搜索......";
const std::string empty_page_text = "网页返回为空，请重新尝试单击获取......";

// The product's time-outs cut down for tests; every case ends well within
// the bound below, sanitizers included.
constexpr auto connect_timeout = 1000ms;
constexpr auto stall_timeout = 1500ms;
constexpr auto transfer_timeout = 3000ms;
constexpr std::int64_t max_body_bytes = std::int64_t{8} << 20;
constexpr auto bound = 10s;

const ResultEntry hd = {"HD", "/movie/1.html", "A", "B", "http://img.test/1.jpg"};
const ResultEntry second = {"更新至3集", "/movie/2.html", "塔尔维克", "林望舒,周砚",
                            "http://img.test/2.png"};

// A search page whose markup almost matches: every prefix of an entry, then
// entries that lack only their closing tag, so each of the pattern's four
// lazy groups could stretch over the rest of the page.
std::string almost_matching_page(int entries) {
  std::string entry = result_markup(hd);
  entry.resize(entry.find("</span></li>"));
  std::string page = "<ul>\n";
  for (std::size_t k = 1; k <= entry.size(); ++k) {
    page += entry.substr(0, k) + "\n";
  }
  for (int i = 0; i < entries; ++i) {
    page += entry;
  }
  return page;
}

// A file on disk holding the page: a redirect to file:// must never read it.
// The files go when the test program ends.
std::string file_holding(const std::string& page) {
  static struct Files {
    std::vector<std::string> paths;
    ~Files() {
      for (const std::string& path : paths) {
        std::remove(path.c_str());
      }
    }
  } files;
  const std::string path = ::testing::TempDir() + "hostile_" + std::to_string(::getpid()) + "_" +
                           std::to_string(files.paths.size()) + ".html";
  std::ofstream(path, std::ios::binary) << page;
  files.paths.push_back(path);
  return path;
}

class HostileSiteTest : public WorkerTest {
 protected:
  std::string server_base() override { return server_.base_url(); }

  void SetUp() override {
    platform::InetSettings settings;
    settings.connect_timeout = connect_timeout;
    settings.stall_timeout = stall_timeout;
    settings.transfer_timeout = transfer_timeout;
    settings.max_body_bytes = max_body_bytes;
    platform::set_inet_settings(settings);
    WorkerTest::SetUp();
  }

  void TearDown() override {
    WorkerTest::TearDown();
    platform::set_inet_settings(platform::InetSettings{});
  }

  // One search as the user makes it; the time it took to the button coming back.
  std::chrono::milliseconds timed_search() {
    const auto began = std::chrono::steady_clock::now();
    EXPECT_TRUE(search("Talvik"));
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 began);
  }
  std::chrono::milliseconds timed_click(int row) {
    const auto began = std::chrono::steady_clock::now();
    EXPECT_TRUE(click_row_and_wait(row));
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 began);
  }

  // The outcome line of a case, for the reliability table.
  static void report(const std::string& what, const std::string& outcome,
                     std::chrono::milliseconds took) {
    std::cout << "[fault] " << what << ": " << outcome << " in " << took.count() << " ms\n";
  }

  void expect_search_outcome(std::size_t expected_rows) {
    EXPECT_EQ(rows().size(), expected_rows);
    EXPECT_TRUE(button_enabled());
    if (expected_rows == 0) {
      EXPECT_TRUE(status_shown());
      EXPECT_EQ(status_text(), not_found);
    } else {
      EXPECT_FALSE(status_shown());
    }
  }

  FaultServer server_;
};

struct SiteFault {
  const char* name;
  // Sets the fault up at path on the server; the base of the site to use,
  // "" for the server itself.
  std::function<std::string(FaultServer& server, const std::string& path)> arrange;
  std::size_t rows;  // what a search shows
};

void PrintTo(const SiteFault& fault, std::ostream* out) {
  *out << fault.name;
}

FaultResponse page_with(Fault fault, std::string body) {
  return FaultResponse{.fault = fault, .body = std::move(body)};
}

auto serve(FaultResponse response) {
  return [response](FaultServer& server, const std::string& path) {
    server.on(path, response);
    return std::string();
  };
}

auto redirect_to(std::string location) {
  return [location](FaultServer& server, const std::string& path) {
    server.on(path, FaultResponse{.status = 302, .location = location});
    return std::string();
  };
}

std::string truncated(std::string bytes) {
  bytes.resize(bytes.size() / 2);
  return bytes;
}

const std::vector<SiteFault> search_faults = {
    {"ConnectionRefused", [](FaultServer&, const std::string&) { return test::refused_base_url(); },
     0},
    {"NameDoesNotResolve",
     [](FaultServer&, const std::string&) { return test::unresolvable_base_url(); }, 0},
    {"ResetDuringHeaders", serve(page_with(Fault::reset_in_headers, search_markup({hd}))), 0},
    // What arrived before the reset is searched: the whole first entry.
    {"ResetDuringBody",
     serve(page_with(Fault::reset_in_body, truncated(search_markup({hd, second, hd})))), 1},
    {"AcceptsAndNeverAnswers", serve({.fault = Fault::silent}), 0},
    {"BodyDrippedAByteASecond", serve(page_with(Fault::drip, search_markup({hd}))), 0},
    {"HeaderBlockOf64KiB", serve(page_with(Fault::huge_headers, search_markup({hd, second}))), 2},
    {"HeaderBlockWithoutEnd", serve(page_with(Fault::endless_headers, search_markup({hd}))), 0},
    // The body is cut at its bound and what came before is searched.
    {"BodyWithoutEnd", serve(page_with(Fault::endless_body, result_markup(second))), 1},
    {"RedirectLoop",
     [](FaultServer& server, const std::string& path) {
       server.on(path, FaultResponse{.status = 302, .location = "/again"});
       server.on("/again", FaultResponse{.status = 302, .location = path + "?again"});
       return std::string();
     },
     0},
    {"RedirectToFile",
     [](FaultServer& server, const std::string& path) {
       server.on(path, FaultResponse{.status = 302,
                                     .location = "file://" + file_holding(search_markup({hd}))});
       return std::string();
     },
     0},
    {"GzipNotAskedFor", serve(page_with(Fault::gzip, search_markup({hd}))), 0},
    {"ZeroByteFirst", serve(page_with(Fault::page, std::string(1, '\0') + search_markup({hd}))), 0},
    {"InvalidUtf8",
     serve(page_with(Fault::page,
                     search_markup({{"HD\xFF\xFE", "/m/\xC0\xAF.html", "\xED\xA0\x80\xE5\xA1",
                                     "\xF8\x88\x80\x80\x80", "http://img.test/\xF4\x90\x80\x80"},
                                    hd}))),
     2},
    {"LoneLeadByteAtTheEnd", serve(page_with(Fault::page, search_markup({hd}) + "\xE5")), 1},
    {"AlmostMatchingMarkup", serve(page_with(Fault::page, almost_matching_page(3000))), 0},
    // The entries before a hostile stretch are still found.
    {"AlmostMatchingAfterTwoEntries",
     serve(page_with(Fault::page, search_markup({hd, second}) + almost_matching_page(3000))), 2},
};

class HostileSearchTest : public HostileSiteTest,
                          public ::testing::WithParamInterface<SiteFault> {};

TEST_P(HostileSearchTest, EndsInTimeWithTheRowsThatArrivedOrTheFailureText) {
  const std::string base = GetParam().arrange(server_, "/search.php");
  if (!base.empty()) {
    set_site(base);
  }
  const auto took = timed_search();
  expect_search_outcome(GetParam().rows);
  EXPECT_LT(took, bound);
  report(std::string("search/") + GetParam().name,
         std::to_string(rows().size()) + " rows" + (rows().empty() ? ", failure text" : "") +
             ", button enabled",
         took);
  // No content coding was asked for.
  for (const auto& request : server_.requests()) {
    EXPECT_EQ(request.head.find("Accept-Encoding"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, HostileSearchTest, ::testing::ValuesIn(search_faults),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HostileSiteTest, InvalidUtf8DoesNotDisturbTheOtherCells) {
  server_.on(
      "/search.php",
      page_with(Fault::page, search_markup({{"HD", "/m/1.html", "\xFF\xC0\xAF", "B", "p"}})));
  timed_search();
  ASSERT_EQ(rows().size(), 1u);
  const auto row = rows()[0];
  EXPECT_EQ(row[1], "HD");
  EXPECT_EQ(row[3], "/m/1.html");
  EXPECT_EQ(row[4], "B");
  EXPECT_EQ(row[5], "p");
  EXPECT_FALSE(row[2].empty());
}

// Redirects to a scheme other than http and https are never followed: the
// probe, listening where each points, sees no connection at all.
TEST_F(HostileSiteTest, RedirectsToOtherSchemesAreNotFollowed) {
  FaultServer probe;
  const std::string at = "127.0.0.1:" + std::to_string(probe.port());
  const std::vector<std::string> targets = {
      "ftp://" + at + "/",    "ftps://" + at + "/",  "gopher://" + at + "/",
      "dict://" + at + "/d",  "telnet://" + at,      "ldap://" + at + "/",
      "imap://" + at + "/",   "pop3://" + at + "/",  "smtp://" + at + "/",
      "rtsp://" + at + "/",   "scp://" + at + "/x",  "sftp://" + at + "/x",
      "smb://" + at + "/s/x", "tftp://" + at + "/x", "mqtt://" + at + "/t",
      "ws://" + at + "/",     "rtmp://" + at + "/",  "data:text/html,x",
      "javascript:alert(1)",  "//" + at + "/",  // scheme-relative: http to the probe
  };
  probe.on("/", page_with(Fault::page, search_markup({hd})));
  for (const std::string& target : targets) {
    SCOPED_TRACE(target);
    server_.on("/search.php", FaultResponse{.status = 302, .location = target});
    const auto took = timed_search();
    EXPECT_LT(took, bound);
    if (target.starts_with("//")) {
      // Still http: followed, as it should be.
      EXPECT_EQ(rows().size(), 1u);
    } else {
      expect_search_outcome(0);
      EXPECT_EQ(probe.connections(), 0);
    }
    report("search/RedirectTo " + target.substr(0, target.find(':')),
           rows().empty() ? "not followed, failure text" : "followed", took);
  }
}

// Resident memory while the site sends a body without end: the body bound
// holds, and a second and third such search cost no more than the first.
TEST_F(HostileSiteTest, BodyWithoutEndKeepsMemoryFlat) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "resident memory here is mostly the sanitizer's shadow and quarantine";
#endif
  const auto resident = [] {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.starts_with("VmRSS:")) {
        return std::stoll(line.substr(6)) * 1024;
      }
    }
    return 0LL;
  };
  server_.on("/search.php", page_with(Fault::endless_body, result_markup(hd)));
  timed_search();  // the first search makes the allocator's pools
  const long long before = resident();
  std::vector<long long> peaks;
  for (int i = 0; i < 3; ++i) {
    std::atomic<bool> running{true};
    long long peak = 0;
    std::thread sampler([&] {
      while (running) {
        peak = std::max(peak, resident());
        std::this_thread::sleep_for(2ms);
      }
    });
    const auto took = timed_search();
    running = false;
    sampler.join();
    peaks.push_back(peak);
    expect_search_outcome(1);
    report("search/BodyWithoutEnd memory",
           "peak " + std::to_string((peak - before) >> 20) + " MiB above the idle " +
               std::to_string(before >> 20) + " MiB",
           took);
  }
  for (long long peak : peaks) {
    // The body and the few copies the search makes of it, nothing more.
    EXPECT_LT(peak - before, 16 * max_body_bytes);
  }
  EXPECT_LT(peaks[2], peaks[0] + max_body_bytes);
}

// Detail clicks: the row points at the fault for its page and at a good
// poster, or at a good page and a faulty poster.
class HostileDetailTest : public HostileSiteTest {
 protected:
  void SetUp() override {
    HostileSiteTest::SetUp();
    server_.on("/poster.png", FaultResponse{.body = demo::make_poster(demo::PosterKind::png, 1),
                                            .content_type = "image/png"});
    server_.on("/movie/good.html", page_with(Fault::page, detail_markup("a$b###c")));
  }
};

struct DetailFault {
  const char* name;
  std::function<std::string(FaultServer& server, const std::string& path)> arrange;
  std::string shown;  // in 编辑框1 at the end
};

void PrintTo(const DetailFault& fault, std::ostream* out) {
  *out << fault.name;
}

const std::string good_list = "a  b\r\n\r\nc";

const std::vector<DetailFault> page_faults = {
    {"ConnectionRefused", [](FaultServer&, const std::string&) { return test::refused_base_url(); },
     empty_page_text},
    {"NameDoesNotResolve",
     [](FaultServer&, const std::string&) { return test::unresolvable_base_url(); },
     empty_page_text},
    {"ResetDuringHeaders", serve(page_with(Fault::reset_in_headers, detail_markup("a$b"))),
     empty_page_text},
    {"ResetDuringBody", serve(page_with(Fault::reset_in_body, truncated(detail_markup("a$b")))),
     empty_page_text},
    {"AcceptsAndNeverAnswers", serve({.fault = Fault::silent}), empty_page_text},
    {"BodyDrippedAByteASecond", serve(page_with(Fault::drip, detail_markup("a$b"))),
     empty_page_text},
    {"HeaderBlockOf64KiB", serve(page_with(Fault::huge_headers, detail_markup("a$b###c"))),
     good_list},
    {"HeaderBlockWithoutEnd", serve(page_with(Fault::endless_headers, detail_markup("a$b"))),
     empty_page_text},
    {"BodyWithoutEnd", serve(page_with(Fault::endless_body, detail_markup("a$b###c"))), good_list},
    {"RedirectLoop", redirect_to("/movie/page.html"), empty_page_text},
    {"RedirectToFile",
     [](FaultServer& server, const std::string& path) {
       server.on(path, FaultResponse{.status = 302,
                                     .location = "file://" + file_holding(detail_markup("a$b"))});
       return std::string();
     },
     empty_page_text},
    {"RedirectToFtp", redirect_to("ftp://127.0.0.1:1/x"), empty_page_text},
    {"GzipNotAskedFor", serve(page_with(Fault::gzip, detail_markup("a$b"))), empty_page_text},
    // The right marker lies behind the zero byte.
    {"ZeroByteInTheList", serve(page_with(Fault::page, detail_markup(std::string("a\0b", 3)))),
     empty_page_text},
    {"InvalidUtf8", serve(page_with(Fault::page, detail_markup("a$\xFF\xC0\xAF\xED\xA0\x80###c"))),
     "a  ??????\r\n\r\nc"},  // one "?" per byte that is no character
    // A lead byte without its trail must not swallow the right marker.
    {"LoneLeadByteBeforeTheMarker", serve(page_with(Fault::page, detail_markup("a$b\xE5"))),
     "a  b?"},
    {"LoneLeadByteAtTheEnd", serve(page_with(Fault::page, detail_markup("a$b###c") + "\xE5")),
     good_list},
};

class HostileDetailPageTest : public HostileDetailTest,
                              public ::testing::WithParamInterface<DetailFault> {};

TEST_P(HostileDetailPageTest, EndsInTimeWithTheAddressesOrTheFailureText) {
  const std::string base = GetParam().arrange(server_, "/movie/page.html");
  if (!base.empty()) {
    set_site(base);
  }
  add_row("/movie/page.html", server_.base_url() + "/poster.png");
  const auto took = timed_click(0);
  EXPECT_EQ(address_text(), GetParam().shown);
  EXPECT_EQ(address_enabled(), GetParam().shown != empty_page_text);
  EXPECT_FALSE(loading_shown());
  EXPECT_TRUE(window_->picture_box()->has_picture());
  EXPECT_LT(took, bound);
  report(std::string("detail page/") + GetParam().name,
         GetParam().shown == empty_page_text ? "failure text" : "addresses shown", took);
}

INSTANTIATE_TEST_SUITE_P(Faults, HostileDetailPageTest, ::testing::ValuesIn(page_faults),
                         [](const auto& info) { return std::string(info.param.name); });

// Pictures of every bad kind: the box is left without a picture, the loading
// label goes away and the page is still fetched and shown.
struct BadPoster {
  const char* name;
  std::function<std::string()> bytes;
  Fault fault = Fault::page;
  // A truncated file of a known kind shows the rows that arrived, as the
  // picture layer decodes it; everything else leaves the box empty.
  bool shows_part = false;
};

void PrintTo(const BadPoster& poster, std::ostream* out) {
  *out << poster.name;
}

std::string poster(demo::PosterKind kind) {
  return demo::make_poster(kind, 7);
}

void put_be16(std::string& bytes, std::size_t at, unsigned value) {
  bytes[at] = static_cast<char>(value >> 8);
  bytes[at + 1] = static_cast<char>(value & 0xFF);
}

void put_le(std::string& bytes, std::size_t at, std::uint32_t value, int size) {
  for (int i = 0; i < size; ++i) {
    bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
  }
}

std::string png_of_size(std::uint32_t width, std::uint32_t height) {
  std::string png = poster(demo::PosterKind::png);
  for (int i = 0; i < 4; ++i) {  // IHDR's width and height, big-endian
    png[16 + static_cast<std::size_t>(i)] = static_cast<char>((width >> (24 - 8 * i)) & 0xFF);
    png[20 + static_cast<std::size_t>(i)] = static_cast<char>((height >> (24 - 8 * i)) & 0xFF);
  }
  const auto crc = static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17));  // so the chunk stays valid
  for (int i = 0; i < 4; ++i) {
    png[29 + static_cast<std::size_t>(i)] = static_cast<char>((crc >> (24 - 8 * i)) & 0xFF);
  }
  return png;
}

std::string jpeg_of_size(unsigned width, unsigned height) {
  std::string jpeg = poster(demo::PosterKind::jpeg);
  for (std::size_t at = 2; at + 9 < jpeg.size(); ++at) {
    const auto marker = static_cast<unsigned char>(jpeg[at + 1]);
    if (static_cast<unsigned char>(jpeg[at]) == 0xFF && (marker == 0xC0 || marker == 0xC2)) {
      put_be16(jpeg, at + 5, height);
      put_be16(jpeg, at + 7, width);
      break;
    }
  }
  return jpeg;
}

const std::vector<BadPoster> bad_posters = {
    {"ZeroSize", [] { return std::string(); }},
    {"FiveBytesOfJpeg", [] { return std::string("\xFF\xD8\xFF\xE0\x00", 5); }},
    {"TruncatedJpeg", [] { return truncated(poster(demo::PosterKind::jpeg)); }, Fault::page, true},
    {"TruncatedPng", [] { return truncated(poster(demo::PosterKind::png)); }, Fault::page, true},
    {"TruncatedGif", [] { return truncated(poster(demo::PosterKind::gif)); }, Fault::page, true},
    {"TruncatedBmp", [] { return truncated(poster(demo::PosterKind::bmp)); }, Fault::page, true},
    {"HugePng", [] { return png_of_size(1'000'000, 1'000'000); }},
    {"HugeJpeg", [] { return jpeg_of_size(65500, 65500); }},
    {"HugeGif",
     [] {
       std::string gif = poster(demo::PosterKind::gif);
       put_le(gif, 6, 65535, 2);
       put_le(gif, 8, 65535, 2);
       return gif;
     }},
    {"HugeBmp",
     [] {
       std::string bmp = poster(demo::PosterKind::bmp);
       put_le(bmp, 18, 1'000'000, 4);
       put_le(bmp, 22, 1'000'000, 4);
       return bmp;
     }},
    {"WrongMagic",
     [] {
       std::string png = poster(demo::PosterKind::png);
       png[3] = 'X';
       return png;
     }},
    {"Text", [] { return std::string("<html><body>404 Not Found</body></html>"); }},
    {"GzipPng", [] { return poster(demo::PosterKind::png); }, Fault::gzip},
    {"PosterWithoutEnd", [] { return std::string("\x89PNG\r\n\x1A\n", 8); }, Fault::endless_body},
    {"PosterNeverAnswers", [] { return std::string(); }, Fault::silent},
    {"PosterResetDuringBody", [] { return truncated(poster(demo::PosterKind::png)); },
     Fault::reset_in_body, true},
};

class BadPosterTest : public HostileDetailTest, public ::testing::WithParamInterface<BadPoster> {};

TEST_P(BadPosterTest, LeavesThePictureBoxEmptyAndShowsThePage) {
  server_.on("/bad", FaultResponse{.fault = GetParam().fault,
                                   .body = GetParam().bytes(),
                                   .content_type = "image/png"});
  add_row("/movie/good.html", server_.base_url() + "/bad");
  const auto took = timed_click(0);
  if (GetParam().shows_part) {
    ASSERT_TRUE(window_->picture_box()->has_picture());
    EXPECT_EQ(window_->picture_box()->current_image().size(),
              QSize(demo::poster_width, demo::poster_height));
  } else {
    EXPECT_FALSE(window_->picture_box()->has_picture());
  }
  EXPECT_FALSE(loading_shown());
  EXPECT_EQ(address_text(), good_list);
  EXPECT_LT(took, bound);
  report(std::string("poster/") + GetParam().name,
         std::string(window_->picture_box()->has_picture() ? "the part that arrived shown"
                                                           : "no picture") +
             ", page shown",
         took);
}

INSTANTIATE_TEST_SUITE_P(Posters, BadPosterTest, ::testing::ValuesIn(bad_posters),
                         [](const auto& info) { return std::string(info.param.name); });

// The poster address is the site's to choose; a file:// one reads no local
// file. (Any other scheme is asked over HTTP at the address's host and port,
// as an http:// one would be.)
TEST_F(HostileDetailTest, PosterAddressOfAFileReadsNothing) {
  add_row("/movie/good.html", "file://" + file_holding(poster(demo::PosterKind::png)));
  const auto took = timed_click(0);
  EXPECT_FALSE(window_->picture_box()->has_picture());
  EXPECT_FALSE(loading_shown());
  EXPECT_EQ(address_text(), good_list);
  EXPECT_LT(took, bound);
  report("poster/AddressOfAFile", "no picture, page shown", took);
}

}  // namespace
}  // namespace kestrava::testing
