// The demo site binary, started on a free port, searched and clicked through
// the real window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "demo_process.h"
#include "worker_fixture.h"

namespace kestrava::testing {
namespace {

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

class DemoSiteTest : public WorkerTest {
 protected:
  std::string server_base() override { return demo_.base(); }

  DemoProcess demo_{KESTRAVA_DEMO_SITE};
};

TEST_F(DemoSiteTest, DefaultKeywordFindsSeveralTitlesWithDetails) {
  ASSERT_FALSE(demo_.base().empty());
  // The window starts with the default keyword in the search box.
  click_search();
  ASSERT_TRUE(wait_for_workers());

  const auto found = rows();
  ASSERT_GE(found.size(), 3u);
  for (std::size_t i = 0; i < found.size(); ++i) {
    SCOPED_TRACE(found[i][2]);
    EXPECT_EQ(found[i][0], std::to_string(i + 1));
    EXPECT_NE(lower(found[i][2]).find("talvik"), std::string::npos);
    EXPECT_FALSE(found[i][1].empty());
    EXPECT_FALSE(found[i][4].empty());
    EXPECT_EQ(found[i][5].rfind(demo_.base() + "/posters/", 0), 0u);
  }
  EXPECT_FALSE(status_shown());

  // The second title's poster is the animated one.
  ASSERT_TRUE(click_row_and_wait(1));
  EXPECT_EQ(window_->picture_box()->frame_count(), 6);
  const std::string shown = address_text();
  EXPECT_EQ(shown.rfind("第01集  http://", 0), 0u) << shown;
  EXPECT_NE(shown.find("\r\n\r\n第02集  "), std::string::npos);
  EXPECT_TRUE(address_enabled());
}

TEST_F(DemoSiteTest, ChineseKeywordAndNoMatch) {
  ASSERT_FALSE(demo_.base().empty());
  ASSERT_TRUE(search("小镇"));
  ASSERT_EQ(rows().size(), 1u);
  EXPECT_EQ(rows()[0][2], "talvik 小镇往事");

  ASSERT_TRUE(search("no such title"));
  EXPECT_TRUE(rows().empty());
  EXPECT_EQ(status_text(), "查询失败，请重新尝试搜索......");
}

}  // namespace
}  // namespace kestrava::testing
