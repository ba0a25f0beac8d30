#include "hosts/common/page_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane::hosts {
namespace {

TEST(PageModelTest, StartsAsThePageLoads) {
  const PageModel page;
  EXPECT_EQ(page.status(), "正在获取配置");
  EXPECT_EQ(page.result(), "");
  EXPECT_FALSE(page.loginLink());
  EXPECT_EQ(page.check(2).label, "注册表");
  EXPECT_EQ(page.check(2).text, "");
  EXPECT_EQ(page.component(4).label, "USBKey驱动");
}

TEST(PageModelTest, CheckRows) {
  struct Case {
    int item;
    ScriptArg value;
    const char* text;
    Tone tone;
    const char* button;
  };
  const Case cases[] = {
      {2, 0, "正常", Tone::kBlue, ""},
      {2, 1, "不正常", Tone::kYellow, "修复"},
      {3, 1, "不正常", Tone::kYellow, "修复"},
      {4, 1, "不正常", Tone::kYellow, "修复"},
      {10, 1, "不正常", Tone::kYellow, "修复"},
      {11, 1, "不正常", Tone::kYellow, "修复"},
      {5, 1, "不正常", Tone::kYellow, ""},  // no repair for the network rows
      {7, 1, "不正常", Tone::kYellow, ""},
      {6, 0, "正常", Tone::kBlue, ""},
      {6, std::string("主机房"), "正常", Tone::kBlue, ""},  // a text counts as passed
      {6, 1, "不正常", Tone::kYellow, ""},
      {8, std::string("8.0.7601.17514"), "8.0.7601.17514", Tone::kPlain, ""},
      {1, std::string("Microsoft Windows 7 旗舰版 Service Pack 1"), "Windows 7", Tone::kPlain, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item);
    PageModel page;
    EXPECT_TRUE(page.apply("setState", {1, c.item, c.value}));
    EXPECT_EQ(page.check(c.item).text, c.text);
    EXPECT_EQ(page.check(c.item).tone, c.tone);
    EXPECT_EQ(page.check(c.item).button, c.button);
  }
}

TEST(PageModelTest, RepairedRowLosesItsButton) {
  PageModel page;
  page.apply("setState", {1, 3, 1});
  page.apply("setState", {1, 3, 0});
  EXPECT_EQ(page.check(3).text, "正常");
  EXPECT_EQ(page.check(3).button, "");
}

TEST(PageModelTest, SystemNameShortening) {
  struct Case {
    const char* name;
    const char* shown;
  };
  const Case cases[] = {
      {"Microsoft Windows XP Professional Service Pack 3", "Windows XP"},
      {"Windows Server 2008 R2 Enterprise", "Windows Server 2008"},
      {"Windows Vista Business", "Windows Vista"},
      {"Microsoft Windows 8 Pro", "Windows 8"},
      {"Windows 2000 Professional", "Windows 2000"},
      {"Windows Server 2003 Standard", "Windows Server 2003"},
      {"Windows 7 and Windows 8", "Windows 7"},  // first in the page's order wins
      {"Windows 10", "Windows 10"},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ShortenSystemName(c.name), c.shown);
  }
}

TEST(PageModelTest, ComponentRows) {
  struct Case {
    int row;
    std::int32_t value;
    const char* text;
    const char* button;
  };
  const Case cases[] = {
      {1, 0, "已安装最新版本", ""},
      {2, 2, "已安装，但有更新版本", "升级"},
      {3, 5, "未安装", "安装"},
      {1, 8, "已被禁用", "修复"},
      {1, 1, "未安装", ""},
      {1, 7, "未安装", ""},
      {3, 0x40000002, "已被禁用", "修复"},  // the disabled bit first for the controls
      {1, 0x40000000, "已被禁用", "修复"},
      {4, 0x40000002, "未安装", ""},  // not for the driver row
      {4, 0, "已安装最新版本", ""},
      {4, 2, "已安装，但有更新版本", "升级"},
      {4, 5, "未安装", "安装"},
      {4, 8, "已被禁用", ""},
      {4, static_cast<std::int32_t>(0x80000000U), "未安装", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.row) + " " + std::to_string(c.value));
    PageModel page;
    EXPECT_TRUE(page.apply("setState", {2, c.row, c.value, std::string("a"), std::string("b")}));
    EXPECT_EQ(page.component(c.row).text, c.text);
    EXPECT_EQ(page.component(c.row).button, c.button);
    EXPECT_EQ(page.component(c.row).tone,
              std::string(c.text) == "已安装最新版本" ? Tone::kBlue : Tone::kYellow);
  }
}

TEST(PageModelTest, StatusProgressAndResult) {
  PageModel page;
  page.apply("setState", {0, 2, 1002});
  EXPECT_EQ(page.status(), "正在检测注册表");
  // Codes without a text leave the label as it was.
  for (const std::int32_t code : {2012, 1000, 1008, 0, 5}) {
    EXPECT_FALSE(page.apply("setState", {0, 2, code}));
    EXPECT_EQ(page.status(), "正在检测注册表");
  }
  page.apply("setState", {0, 2, 2999});
  EXPECT_EQ(page.status(), "设置完毕");

  page.apply("setState", {0, 0, 100});
  EXPECT_DOUBLE_EQ(page.progressWidth(), 233.0);
  page.apply("setState", {0, 1, 40});
  EXPECT_EQ(page.progress(), 40);

  page.apply("setState", {0, 3, 0});
  EXPECT_EQ(
      page.result(),
      "恭喜您，您的电脑已达到使用我行网上银行的最优环境配置，可以放心使用！点击“登录”网上银行");
  EXPECT_EQ(page.resultTone(), Tone::kBlue);
  EXPECT_TRUE(page.loginLink());
  for (const std::int32_t bits : {1, 2, 3}) {
    page.apply("setState", {0, 3, bits});
    EXPECT_EQ(page.result(), "您的电脑未达到使用我行网银的要求，请点击“一键设置”修复。");
    EXPECT_EQ(page.resultTone(), Tone::kYellow);
    EXPECT_FALSE(page.loginLink());
  }
}

TEST(PageModelTest, CallsThatChangeNothing) {
  PageModel page;
  const PageModel before;
  EXPECT_FALSE(page.apply("setState", {1, 9, 1}));  // item 9 has no row
  EXPECT_FALSE(page.apply("setState", {1, 12, 1}));
  EXPECT_FALSE(page.apply("setState", {2, 5, 0}));
  EXPECT_FALSE(page.apply("setState", {800, 3, 0}));  // elements the page lacks
  EXPECT_FALSE(page.apply("clearState", {800, 6}));
  EXPECT_FALSE(page.apply("setState", {0, 2}));  // too few arguments
  EXPECT_FALSE(page.apply("setState", {std::string("0"), 2, 1002}));
  EXPECT_FALSE(page.apply("other", {0, 2, 1002}));
  EXPECT_EQ(page.lines().size(), before.lines().size());
  EXPECT_EQ(page.status(), before.status());
}

TEST(PageModelTest, UsbKeySerialNumbersAppendUntilCleared) {
  PageModel page;
  page.apply("setState", {800, 2, std::string("HH001")});
  page.apply("setState", {802, 2, std::string("FT9")});
  EXPECT_EQ(page.footer(), " USBKey(华虹)  序列号：HH001 ; USBKey(飞天)  序列号：FT9 ;");
  page.apply("setState", {800, 2, std::string("HH001")});  // no clear in between: twice
  EXPECT_EQ(
      page.footer(),
      " USBKey(华虹)  序列号：HH001 ; USBKey(飞天)  序列号：FT9 ; USBKey(华虹)  序列号：HH001 ;");
  EXPECT_TRUE(page.apply("clearState", {801, 2}));
  EXPECT_EQ(page.footer(), "");
  page.apply("setState", {803, 2, std::string("B")});
  page.apply("setState", {801, 2, std::string("C")});
  EXPECT_EQ(page.footer(), " USBKey(飞天)  序列号：B ; USBKey(天诚)  序列号：C ;");
}

}  // namespace
}  // namespace corvane::hosts
