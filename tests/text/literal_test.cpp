#include "text/literal.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace kestrava {
namespace {

using namespace kestrava::literals;

TEST(GbkLiteral, QuoteMarkerIsFiveBytes) {
  EXPECT_EQ("#引号"_gbk.str(), "\x23\xD2\xFD\xBA\xC5");
}

TEST(GbkLiteral, StatusTexts) {
  EXPECT_EQ("搜索中，请耐心等待......"_gbk.str(),
            "\xCB\xD1\xCB\xF7\xD6\xD0\xA3\xAC\xC7\xEB\xC4\xCD\xD0\xC4\xB5\xC8\xB4\xFD......");
  EXPECT_EQ("搜索中，请耐心等待......"_gbk.length(), 24);
  EXPECT_EQ("查询失败，请重新尝试搜索......"_gbk.length(), 30);
  EXPECT_EQ("Kestrava V1.0"_gbk.str(), "Kestrava V1.0");
}

TEST(GbkLiteral, SameTextOnEveryUseAndThread) {
  const Text* first = &"图片加载中....."_gbk;
  std::vector<const Text*> seen(4, nullptr);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&seen, i] { seen[i] = &"图片加载中....."_gbk; });
  }
  for (auto& t : threads)
    t.join();
  for (const Text* p : seen)
    EXPECT_EQ(p, first);
}

}  // namespace
}  // namespace kestrava
