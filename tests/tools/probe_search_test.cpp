// kestrava-probe search run as a user runs it, against loopback sites.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "app/site_markup.h"
#include "app/site_server.h"
#include "posters.h"

namespace kestrava::testing {
namespace {

struct ProbeRun {
  int status = -1;
  std::string out;
};

// Arguments are quoted with single quotes for the shell; none of ours hold one.
ProbeRun probe_search(const std::string& arguments) {
  ProbeRun run;
  const std::string command = std::string(KESTRAVA_PROBE) + " search " + arguments + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  while (std::size_t count = std::fread(buffer, 1, sizeof buffer, pipe)) {
    run.out.append(buffer, count);
  }
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

class ProbeSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    site_.serve(
        "/search.php",
        search_markup({{"HD", "/movie/1.html", "塔尔维克", "林望舒", site_.base() + "/p.gif"},
                       {"BD", "/movie/2.html", "B\"2", "C", site_.base() + "/none.png"}}));
    site_.serve("/movie/1.html", detail_markup("第01集$http://dl.test/1.mp4###第02集$x"));
    site_.serve("/p.gif", demo::make_poster(demo::PosterKind::animated_gif, 2),
                std::chrono::milliseconds(0), "image/gif");
  }

  std::string row_json() const {
    return "[[\"1\", \"HD\", \"塔尔维克\", \"/movie/1.html\", \"林望舒\", \"" + site_.base() +
           "/p.gif\"], [\"2\", \"BD\", \"B\\\"2\", \"/movie/2.html\", \"C\", \"" + site_.base() +
           "/none.png\"]]";
  }

  SiteServer site_;
};

TEST_F(ProbeSearch, SearchAndClickPrintTheWindowState) {
  const ProbeRun run = probe_search("--site '" + site_.base() + "/' --keyword '塔尔' --click 0");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(
      run.out,
      "{\"rows\": " + row_json() +
          ",\n \"status_label\": {\"text\": \"搜索中，请耐心等待......\", \"visible\": false}"
          ",\n \"search_button\": {\"enabled\": true}"
          ",\n \"address_box\": {\"text\": \"第01集  http://dl.test/1.mp4\\r\\n\\r\\n第02集  x\", "
          "\"enabled\": true}"
          ",\n \"loading_label\": {\"text\": \"图片加载中.....\", \"visible\": false}"
          ",\n \"picture\": {\"kind\": \"gif\", \"width\": 120, \"height\": 168, \"frames\": "
          "6}}\n");
  EXPECT_EQ(site_.targets().front(), "/search.php?searchword=%E5%A1%94%E5%B0%94");
}

TEST_F(ProbeSearch, ClickOnARowWithoutDetailsAndPoster) {
  const ProbeRun run = probe_search("--site '" + site_.base() + "' --keyword x --click 1");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("\"address_box\": {\"text\": \"网页返回为空，请重新尝试单击获取......\", "
                         "\"enabled\": false}"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("\"picture\": null}"), std::string::npos) << run.out;
}

TEST_F(ProbeSearch, SiteThatDoesNotAnswerStillRunsTheFlow) {
  const ProbeRun run = probe_search("--site '" + closed_site() + "' --keyword Talvik");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("{\"rows\": [],\n \"status_label\": {\"text\": "
                          "\"查询失败，请重新尝试搜索......\", \"visible\": true}",
                          0),
            0u)
      << run.out;
  // The picture box still holds its placeholder.
  EXPECT_NE(run.out.find("\"picture\": {\"kind\": \"jpeg\", \"width\": 230, \"height\": 306, "
                         "\"frames\": 1}}"),
            std::string::npos)
      << run.out;
}

TEST_F(ProbeSearch, MissingArgumentsAreAUsageError) {
  EXPECT_EQ(probe_search("--site http://127.0.0.1:1").status, 2);
  EXPECT_EQ(probe_search("--site http://127.0.0.1:1 --keyword a --click -1").status, 2);
  EXPECT_EQ(probe_search("--keyword a --bogus 1").status, 2);
}

}  // namespace
}  // namespace kestrava::testing
