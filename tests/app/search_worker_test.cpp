#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "site_markup.h"
#include "site_server.h"
#include "worker_fixture.h"

namespace kestrava::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

const std::string searching = "搜索中，请耐心等待......";
const std::string not_found = "查询失败，请重新尝试搜索......";

class SearchWorkerTest : public WorkerTest {
 protected:
  std::string server_base() override { return server_.base(); }

  SiteServer server_;
};

struct PageCase {
  const char* name;
  std::string page;
  Rows rows;
};

// Test names show the case's name instead of its bytes.
void PrintTo(const PageCase& page_case, std::ostream* out) {
  *out << page_case.name;
}

class SearchPageTest : public SearchWorkerTest, public ::testing::WithParamInterface<PageCase> {};

TEST_P(SearchPageTest, FillsTheListFromThePage) {
  server_.serve("/search.php", GetParam().page);
  ASSERT_TRUE(search("Talvik"));

  EXPECT_EQ(rows(), GetParam().rows);
  EXPECT_TRUE(button_enabled());
  if (GetParam().rows.empty()) {
    EXPECT_TRUE(status_shown());
    EXPECT_EQ(status_text(), not_found);
  } else {
    EXPECT_FALSE(status_shown());
  }
}

const ResultEntry hd = {"HD", "/movie/1.html", "A", "B", "http://img.test/1.jpg"};
const ResultEntry second = {"更新至3集", "/movie/2.html", "塔尔维克", "林望舒,周砚",
                            "http://img.test/2.png"};
const ResultEntry third = {"BD", "/movie/3.html", "C", "D", ""};

INSTANTIATE_TEST_SUITE_P(
    Pages, SearchPageTest,
    ::testing::Values(
        PageCase{"TwoEntriesWithPosters",
                 search_markup({hd, second}),
                 {{"1", "HD", "A", "/movie/1.html", "B", "http://img.test/1.jpg"},
                  {"2", "更新至3集", "塔尔维克", "/movie/2.html", "林望舒,周砚",
                   "http://img.test/2.png"}}},
        PageCase{"LetterCaseIgnored",
                 search_markup({hd}, "TEXT-WHITE"),
                 {{"1", "HD", "A", "/movie/1.html", "B", "http://img.test/1.jpg"}}},
        PageCase{"DescriptionOverSeveralLines",
                 search_markup({{"HD", "/m/1.html", "A", "B,\r\nC,\nD", "http://img.test/1.jpg"}}),
                 {{"1", "HD", "A", "/m/1.html", "B,\r\nC,\nD", "http://img.test/1.jpg"}}},
        // Posters pair with rows by position alone.
        PageCase{"ThreeEntriesTwoPosters",
                 search_markup({hd, third, second}),
                 {{"1", "HD", "A", "/movie/1.html", "B", "http://img.test/1.jpg"},
                  {"2", "BD", "C", "/movie/3.html", "D", "http://img.test/2.png"},
                  {"3", "更新至3集", "塔尔维克", "/movie/2.html", "林望舒,周砚", ""}}},
        // A poster attribute outside the entries shifts the pairing; the
        // surplus address goes nowhere.
        PageCase{"MorePostersThanEntries",
                 "<a data-original=\"http://img.test/banner.jpg\"><span class=\"b\"></span></a>" +
                     search_markup({hd}),
                 {{"1", "HD", "A", "/movie/1.html", "B", "http://img.test/banner.jpg"}}},
        PageCase{"SearchedUpToAZeroByte",
                 search_markup({hd}) + std::string(1, '\0') + search_markup({second}),
                 {{"1", "HD", "A", "/movie/1.html", "B", "http://img.test/1.jpg"}}},
        PageCase{"NoEntry", "<html><body>没有找到相关影片</body></html>", {}},
        PageCase{"MarkupChanged",
                 "<span class=\"text-white fed-text-center\">HD</span></a><a href=\"/m\">A</a>",
                 {}}),
    [](const ::testing::TestParamInfo<PageCase>& info) { return std::string(info.param.name); });

TEST_F(SearchWorkerTest, SendsTheKeywordPercentEncodedFromUtf8) {
  struct Case {
    const char* keyword;
    const char* query;
  } cases[] = {
      {"ab", "%61%62"},
      {"塔尔", "%E5%A1%94%E5%B0%94"},
      {"a b&c", "%61%20%62%26%63"},
      {"", ""},
  };
  server_.serve("/search.php", search_markup({hd}));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keyword);
    ASSERT_TRUE(search(c.keyword));
    ASSERT_FALSE(server_.targets().empty());
    EXPECT_EQ(server_.targets().back(), std::string("/search.php?searchword=") + c.query);
    // An empty keyword runs as any other search.
    EXPECT_EQ(rows().size(), 1u);
  }
}

TEST_F(SearchWorkerTest, FailedRequestShowsTheFailureText) {
  set_site(closed_site());
  ASSERT_TRUE(search("Talvik"));

  EXPECT_TRUE(rows().empty());
  EXPECT_TRUE(status_shown());
  EXPECT_EQ(status_text(), not_found);
  EXPECT_TRUE(button_enabled());
}

TEST_F(SearchWorkerTest, SearchAfterAFailedOneHidesTheFailureText) {
  server_.serve("/search.php", search_markup({hd, second}));
  set_site(closed_site());
  ASSERT_TRUE(search("Talvik"));
  ASSERT_EQ(status_text(), not_found);

  set_site(server_.base());
  ASSERT_TRUE(search("Talvik"));
  EXPECT_FALSE(status_shown());
  EXPECT_EQ(rows().size(), 2u);
}

TEST_F(SearchWorkerTest, NewSearchEmptiesTheListAndShowsTheStatusWhileRunning) {
  server_.serve("/search.php", search_markup({hd, second}));
  ASSERT_TRUE(search("Talvik"));
  ASSERT_EQ(rows().size(), 2u);

  server_.serve("/search.php", search_markup({third}), std::chrono::milliseconds(400));
  click_search();
  EXPECT_TRUE(wait_until([this] {
    return !button_enabled() && rows().empty() && status_shown() && status_text() == searching;
  }));

  ASSERT_TRUE(wait_for_workers());
  EXPECT_EQ(rows(), (Rows{{"1", "BD", "C", "/movie/3.html", "D", ""}}));
  EXPECT_TRUE(button_enabled());
}

// Clicks that reach the handler before the running search has disabled the
// button start no second search: one request, one set of rows.
TEST_F(SearchWorkerTest, ClicksBeforeTheButtonIsDisabledStartOneSearch) {
  server_.serve("/search.php", search_markup({hd, second, third}), std::chrono::milliseconds(200));
  type_keyword("Talvik");
  // Three clicks in a row, before the worker of the first gets the
  // user-interface thread to disable the button.
  for (int i = 0; i < 3; ++i) {
    window_->search_button()->click();
  }
  ASSERT_EQ(searches_started_, 3);
  ASSERT_TRUE(wait_for_workers());

  EXPECT_EQ(server_.targets().size(), 1u);
  EXPECT_EQ(rows().size(), 3u);
  EXPECT_EQ(rows()[2][0], "3");
  EXPECT_TRUE(button_enabled());

  // The next click, once the button is back, searches again.
  click_search();
  ASSERT_TRUE(wait_for_workers());
  EXPECT_EQ(server_.targets().size(), 2u);
  EXPECT_EQ(rows().size(), 3u);
}

}  // namespace
}  // namespace kestrava::testing
