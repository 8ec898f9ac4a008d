#include <gtest/gtest.h>

#include <QObject>
#include <QPlainTextEdit>
#include <string>
#include <vector>

#include "posters.h"
#include "site_markup.h"
#include "site_server.h"
#include "worker_fixture.h"

namespace kestrava::testing {
namespace {

using namespace std::chrono_literals;

const std::string empty_page_text = "网页返回为空，请重新尝试单击获取......";
const std::string fetching = "正在获取，请耐心等待......";

class DetailWorkerTest : public WorkerTest {
 protected:
  std::string server_base() override { return server_.base(); }

  void SetUp() override {
    WorkerTest::SetUp();
    server_.serve("/poster.png", demo::make_poster(demo::PosterKind::png, 1), 0ms, "image/png");
  }

  std::string poster() const { return server_.base() + "/poster.png"; }

  SiteServer server_;
};

struct PageCase {
  const char* name;
  std::string page;
  std::string shown;  // in 编辑框1 at the end
  bool enabled;       // 编辑框1 afterwards
};

// Test names show the case's name instead of its bytes.
void PrintTo(const PageCase& page_case, std::ostream* out) { *out << page_case.name; }

class DetailPageTest : public DetailWorkerTest, public ::testing::WithParamInterface<PageCase> {};

TEST_P(DetailPageTest, ShowsTheRewrittenAddressList) {
  server_.serve("/movie/1.html", GetParam().page);
  add_row("/movie/1.html", poster());
  ASSERT_TRUE(click_row_and_wait(0));

  EXPECT_EQ(address_text(), GetParam().shown);
  EXPECT_EQ(address_enabled(), GetParam().enabled);
  EXPECT_TRUE(window_->picture_box()->has_picture());
  EXPECT_FALSE(loading_shown());
}

INSTANTIATE_TEST_SUITE_P(
    Pages, DetailPageTest,
    ::testing::Values(
        PageCase{"PartsAndEntries", detail_markup("第01集$http://dl.test/1.mp4###第02集$magnet:?x"),
                 "第01集  http://dl.test/1.mp4\r\n\r\n第02集  magnet:?x", true},
        PageCase{"DollarsAndHashesEverywhere", detail_markup("$a$$b######c###"),
                 "  a    b\r\n\r\n\r\n\r\nc\r\n\r\n", true},
        PageCase{"FirstOfTwoLeftMarkers",
                 "var GvodUrls1 = \"one$1\";var GvodUrls1 = \"two$2\";echoDown(GvodUrls1,0)",
                 "one  1\";var GvodUrls1 = \"two  2", true},
        PageCase{"EmptyBetweenMarkers", detail_markup(""), empty_page_text, false},
        PageCase{"NoRightMarker", "var GvodUrls1 = \"a$b\";", empty_page_text, false},
        PageCase{"NoMarkers", "<html><body>404</body></html>", empty_page_text, false}),
    [](const ::testing::TestParamInfo<PageCase>& info) { return std::string(info.param.name); });

TEST_F(DetailWorkerTest, AddressBoxPassesThroughTheFetchingText) {
  server_.serve("/movie/1.html", detail_markup("a$b"), 100ms);
  add_row("/movie/1.html", poster());
  std::vector<std::string> seen;
  QObject::connect(window_->address_box(), &QPlainTextEdit::textChanged,
                   [this, &seen] { seen.push_back(address_text()); });
  ASSERT_TRUE(click_row_and_wait(0));

  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), "a  b");
  EXPECT_NE(std::find(seen.begin(), seen.end(), fetching), seen.end());
  // Requests: the poster first, then the page at the base followed by the
  // row's address.
  const auto targets = server_.targets();
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_EQ(targets[0], "/poster.png");
  EXPECT_EQ(targets[1], "/movie/1.html");
}

TEST_F(DetailWorkerTest, FailedPageLeavesAnEnabledBoxEnabled) {
  server_.serve("/movie/1.html", detail_markup("a$b"));
  add_row("/movie/1.html", poster());
  add_row("/movie/missing.html", poster());
  ASSERT_TRUE(click_row_and_wait(0));
  ASSERT_TRUE(address_enabled());

  ASSERT_TRUE(click_row_and_wait(1));
  EXPECT_EQ(address_text(), empty_page_text);
  EXPECT_TRUE(address_enabled());
}

TEST_F(DetailWorkerTest, PosterThatDoesNotAnswerStillFetchesThePage) {
  server_.serve("/movie/1.html", detail_markup("a$b"));
  add_row("/movie/1.html", closed_site() + "/poster.jpg");
  ASSERT_TRUE(click_row_and_wait(0));

  EXPECT_FALSE(window_->picture_box()->has_picture());
  EXPECT_FALSE(loading_shown());
  EXPECT_EQ(address_text(), "a  b");
}

TEST_F(DetailWorkerTest, NoRowSelectedAsksTheBaseAlone) {
  add_row("/movie/1.html", poster());
  ASSERT_TRUE(click_row_and_wait(-1));

  ASSERT_EQ(window_->result_list()->selected_row(), -1);
  EXPECT_EQ(server_.targets(), std::vector<std::string>{"/"});
  EXPECT_FALSE(window_->picture_box()->has_picture());
  EXPECT_EQ(address_text(), empty_page_text);
  EXPECT_FALSE(address_enabled());
}

// Two clicks whose answers come back in reverse order: each worker writes in
// the order of its steps, and the one that writes last wins.
TEST_F(DetailWorkerTest, OverlappingClicksLastWriteWins) {
  server_.serve("/movie/slow.html", detail_markup("slow$1"), 600ms);
  server_.serve("/movie/fast.html", detail_markup("fast$2"));
  add_row("/movie/slow.html", poster());
  add_row("/movie/fast.html", poster());
  click_row(0);
  ASSERT_TRUE(wait_until([this] { return server_.targets().size() >= 2; }));
  ASSERT_TRUE(click_row_and_wait(1));

  EXPECT_EQ(address_text(), "slow  1");
  EXPECT_EQ(window_->result_list()->selected_row(), 1);
  EXPECT_TRUE(address_enabled());
}

// A click on a row while the search still fills the list: the detail worker
// may find the row's cells empty, but both workers end and the list is whole.
TEST_F(DetailWorkerTest, ClickWhileTheListFills) {
  std::vector<ResultEntry> entries;
  for (int i = 0; i < 400; ++i) {
    entries.push_back(
        {"HD", "/movie/" + std::to_string(i) + ".html", "T" + std::to_string(i), "C", poster()});
  }
  server_.serve("/search.php", search_markup(entries));
  server_.serve("/movie/0.html", detail_markup("zero$0"));
  click_search();
  ASSERT_TRUE(
      wait_until([this] { return window_->result_list()->result_model()->row_count() > 0; }));
  click_row(0);
  ASSERT_TRUE(wait_for_workers());

  EXPECT_EQ(rows().size(), 400u);
  EXPECT_EQ(rows()[399][3], "/movie/399.html");
  const std::string shown = address_text();
  EXPECT_TRUE(shown == "zero  0" || shown == empty_page_text) << shown;
}

// The demo site's posters, one of each kind the picture box shows.
TEST_F(DetailWorkerTest, ShowsEveryPosterKind) {
  struct Case {
    demo::PosterKind kind;
    int frames;
  } cases[] = {{demo::PosterKind::jpeg, 1}, {demo::PosterKind::png, 1},
               {demo::PosterKind::gif, 1},  {demo::PosterKind::animated_gif, 6},
               {demo::PosterKind::bmp, 1},  {demo::PosterKind::ico, 1},
               {demo::PosterKind::cur, 1},  {demo::PosterKind::pcx, 1}};
  server_.serve("/movie/1.html", detail_markup("a$b"));
  int row = 0;
  for (const Case& c : cases) {
    const std::string path =
        "/p" + std::to_string(row) + "." + std::string(demo::poster_extension(c.kind));
    SCOPED_TRACE(path);
    server_.serve(path, demo::make_poster(c.kind, row), 0ms,
                  std::string(demo::poster_content_type(c.kind)));
    add_row("/movie/1.html", server_.base() + path);
    ASSERT_TRUE(click_row_and_wait(row));
    ASSERT_TRUE(window_->picture_box()->has_picture());
    EXPECT_EQ(window_->picture_box()->frame_count(), c.frames);
    EXPECT_EQ(window_->picture_box()->current_image().size(),
              QSize(demo::poster_width, demo::poster_height));
    ++row;
  }
}

}  // namespace
}  // namespace kestrava::testing
