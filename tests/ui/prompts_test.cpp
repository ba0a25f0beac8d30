#include "ui/prompts.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "app/app_test_platform.h"

namespace corvane {
namespace {

class RecordingPromptHost final : public PromptHost {
 public:
  int answer = kIdYes;
  std::vector<Prompt> shown;

  int show(const Prompt& prompt) override {
    shown.push_back(prompt);
    return answer;
  }
};

class PromptsTest : public ::testing::Test {
 protected:
  ScopedPlatform platform_{std::make_unique<testing::TestPlatform>()};
  RecordingPromptHost host_;
};

struct ChoiceCase {
  int content, instruction, link;
  const char* contentText;
  const char* instructionText;
  const char* linkText;
  const char* refusalText;
};

TEST_F(PromptsTest, ChoiceCarriesTheTextsOfItsUseAndARefusal) {
  const ChoiceCase cases[] = {
      {139, 142, 143, "应用程序有更新，并且已经下载完毕\n是否立即应用更新", "更新程序",
       "立即更新程序", "下次启动更新"},
      {145, 146, 147, "下载失败，是否继续下一个", "下载发生错误", "继续下载下一项", "停止下载"},
      {149, 150, 151, "安装失败，是否继续下一个", "安装时发生了一个错误", "继续安装下一项",
       "停止安装"},
  };
  for (const ChoiceCase& c : cases) {
    SCOPED_TRACE(c.link);
    host_.shown.clear();
    EXPECT_EQ(promptChoice(host_, c.content, c.instruction, c.link), kIdYes);
    ASSERT_EQ(host_.shown.size(), 1U);
    const Prompt& prompt = host_.shown.front();
    EXPECT_TRUE(prompt.choice);
    EXPECT_EQ(prompt.stringIds, (std::vector<int>{c.content, c.instruction, c.link}));
    EXPECT_EQ(prompt.title, "Marrowby银行网银助手");
    EXPECT_EQ(prompt.content, c.contentText);
    EXPECT_EQ(prompt.instruction, c.instructionText);
    ASSERT_EQ(prompt.links.size(), 2U);
    EXPECT_EQ(prompt.links[0].id, kIdYes);
    EXPECT_EQ(prompt.links[0].text, c.linkText);
    EXPECT_EQ(prompt.links[1].id, kIdNo);
    EXPECT_EQ(prompt.links[1].text, c.refusalText);
  }
}

TEST_F(PromptsTest, ChoiceReturnsTheHostsAnswer) {
  for (const int answer : {kIdYes, kIdNo, 2}) {
    host_.answer = answer;
    EXPECT_EQ(promptChoice(host_, 145, 146, 147), answer);
  }
}

TEST_F(PromptsTest, ChoiceWithoutAKnownRefusalOffersOnlyTheLink) {
  promptChoice(host_, 155, 146, 135);
  ASSERT_EQ(host_.shown.size(), 1U);
  ASSERT_EQ(host_.shown.front().links.size(), 1U);
  EXPECT_EQ(host_.shown.front().links.front().id, kIdYes);
}

TEST_F(PromptsTest, InfoHasNoLinksAndZeroIsAnEmptyText) {
  struct InfoCase {
    int content, instruction;
    const char* contentText;
    const char* instructionText;
  };
  const InfoCase cases[] = {
      {135, 0, "IE缓存清除成功", ""},
      {141, 0, "SSL缓存清除成功", ""},
      {155, 146, "下载配置文件失败，请确认你的电脑能够访问银行网站", "下载发生错误"},
  };
  host_.answer = kIdOk;
  for (const InfoCase& c : cases) {
    SCOPED_TRACE(c.content);
    host_.shown.clear();
    EXPECT_EQ(promptInfo(host_, c.content, c.instruction), kIdOk);
    ASSERT_EQ(host_.shown.size(), 1U);
    const Prompt& prompt = host_.shown.front();
    EXPECT_FALSE(prompt.choice);
    EXPECT_EQ(prompt.stringIds, (std::vector<int>{c.content, c.instruction}));
    EXPECT_EQ(prompt.title, "Marrowby银行网银助手");
    EXPECT_EQ(prompt.content, c.contentText);
    EXPECT_EQ(prompt.instruction, c.instructionText);
    EXPECT_TRUE(prompt.links.empty());
  }
}

}  // namespace
}  // namespace corvane
