#include "app/corvane_app.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app_test_platform.h"
#include "platform/environment.h"
#include "platform/file_system.h"

namespace corvane {
namespace {

// Runs no dialog: records that it would have, and lets time pass without waiting.
class FakeHost final : public AppHost {
 public:
  int dialogs = 0;
  std::uint32_t slept = 0;
  // Called after each sleep: what happens in the world while start-up waits.
  std::function<void()> whileWaiting;

  void runDialog() override { ++dialogs; }
  void sleep(std::uint32_t ms) override {
    slept += ms;
    if (whileWaiting) whileWaiting();
  }
};

class CCorvaneAppTest : public ::testing::Test {
 protected:
  CCorvaneAppTest() {
    auto owned = std::make_unique<testing::TestPlatform>();
    platform_ = owned.get();
    scoped_ = std::make_unique<ScopedPlatform>(std::move(owned));
    previous_ = platform_->environment().modulePath() + ".old";
  }
  ~CCorvaneAppTest() override {
    FileSystem& files = platform_->files();
    files.setAttributes(previous_, win::kFileAttributeNormal);
    files.deleteFile(previous_);
  }

  StartReport start(std::vector<std::string> args) {
    CCorvaneApp app(host_, std::move(args));
    EXPECT_FALSE(app.InitInstance());
    return app.report();
  }

  testing::TestPlatform* platform_ = nullptr;
  std::unique_ptr<ScopedPlatform> scoped_;
  std::string previous_;
  FakeHost host_;
};

TEST_F(CCorvaneAppTest, UpdateHandOverDeletesThePreviousExecutable) {
  ASSERT_EQ(platform_->files().writeFile(previous_, "old"), win::kErrorSuccess);
  const StartReport report = start({"corvane.exe", "/update"});
  EXPECT_TRUE(report.updateHandOver);
  EXPECT_FALSE(report.previousRemains);
  EXPECT_FALSE(platform_->files().exists(previous_));
  EXPECT_EQ(host_.slept, 0U);
  EXPECT_EQ(host_.dialogs, 1);
  EXPECT_EQ(report.outcome, StartOutcome::kDialogRan);
}

TEST_F(CCorvaneAppTest, UpdateHandOverWaitsUntilThePreviousExecutableCanGo) {
  // Read-only stands in for an image that is still running: deletion fails until it ends.
  ASSERT_EQ(platform_->files().writeFile(previous_, "old", win::kFileAttributeReadOnly),
            win::kErrorSuccess);
  host_.whileWaiting = [&] {
    if (host_.slept == 500) platform_->files().setAttributes(previous_, win::kFileAttributeNormal);
  };
  const StartReport report = start({"corvane.exe", "/update"});
  EXPECT_EQ(host_.slept, 500U);
  EXPECT_EQ(report.waitedMs, 500U);
  EXPECT_FALSE(platform_->files().exists(previous_));
  EXPECT_FALSE(report.previousRemains);
  EXPECT_EQ(host_.dialogs, 1);
}

TEST_F(CCorvaneAppTest, UpdateHandOverGivesUpAfterTheBoundAndStartsAnyway) {
  ASSERT_EQ(platform_->files().writeFile(previous_, "old", win::kFileAttributeReadOnly),
            win::kErrorSuccess);
  const StartReport report = start({"corvane.exe", "/update"});
  EXPECT_TRUE(report.previousRemains);
  EXPECT_EQ(report.waitedMs, CCorvaneApp::kUpdateWaitLimitMs);
  EXPECT_EQ(host_.slept, CCorvaneApp::kUpdateWaitLimitMs);
  EXPECT_TRUE(platform_->files().exists(previous_));
  EXPECT_EQ(host_.dialogs, 1);
  EXPECT_EQ(platform_->lock.claims, 1);
}

TEST_F(CCorvaneAppTest, OnlyAnExactUpdateRightAfterTheProgramIsTheHandOver) {
  const std::vector<std::vector<std::string>> notHandOvers = {
      {"corvane.exe"},
      {"corvane.exe", "/Update"},
      {"corvane.exe", "/UPDATE"},
      {"corvane.exe", "/update "},
      {"corvane.exe", "x", "/update"},
      {"/update"},
      {},
  };
  for (const auto& args : notHandOvers) {
    SCOPED_TRACE(args.size() > 1 ? args[1] : "(none)");
    ASSERT_EQ(platform_->files().writeFile(previous_, "old"), win::kErrorSuccess);
    const StartReport report = start(args);
    EXPECT_FALSE(report.updateHandOver);
    EXPECT_TRUE(platform_->files().exists(previous_));
  }
  EXPECT_EQ(host_.dialogs, static_cast<int>(notHandOvers.size()));
}

TEST_F(CCorvaneAppTest, UpdateWithoutAPreviousExecutableDoesNotWait) {
  const StartReport report = start({"corvane.exe", "/update"});
  EXPECT_TRUE(report.updateHandOver);
  EXPECT_EQ(host_.slept, 0U);
  EXPECT_EQ(host_.dialogs, 1);
}

TEST_F(CCorvaneAppTest, WithoutTheLockTheDialogIsNeverShown) {
  struct Case {
    std::uint32_t lockAnswer;
    StartOutcome outcome;
  };
  const Case cases[] = {
      {win::kErrorAlreadyExists, StartOutcome::kAnotherInstance},
      {win::kErrorAccessDenied, StartOutcome::kLockFailed},
      {win::kErrorNotEnoughMemory, StartOutcome::kLockFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lockAnswer);
    platform_->lock.answer = c.lockAnswer;
    const StartReport report = start({"corvane.exe"});
    EXPECT_EQ(report.outcome, c.outcome);
    EXPECT_EQ(report.lockError, c.lockAnswer);
  }
  EXPECT_EQ(host_.dialogs, 0);
}

TEST_F(CCorvaneAppTest, HandOverComesBeforeTheSingleInstanceTest) {
  ASSERT_EQ(platform_->files().writeFile(previous_, "old"), win::kErrorSuccess);
  platform_->lock.answer = win::kErrorAlreadyExists;
  const StartReport report = start({"corvane.exe", "/update"});
  EXPECT_FALSE(platform_->files().exists(previous_));
  EXPECT_EQ(report.outcome, StartOutcome::kAnotherInstance);
  EXPECT_EQ(host_.dialogs, 0);
}

TEST(SplitCommandLineTest, ProgramNameFirstThenTheArguments) {
  struct Case {
    const char* line;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {R"("C:\Program Files\Marrowby\corvane.exe" /update)",
       {R"(C:\Program Files\Marrowby\corvane.exe)", "/update"}},
      {R"(C:\corvane.exe /update)", {R"(C:\corvane.exe)", "/update"}},
      {R"(corvane.exe "/update")", {"corvane.exe", "/update"}},
      {R"(corvane.exe  a "b c"  /update)", {"corvane.exe", "a", "b c", "/update"}},
      {"corvane.exe", {"corvane.exe"}},
      {"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(SplitCommandLine(c.line), c.args);
  }
}

}  // namespace
}  // namespace corvane
