#include "config/config_cache.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "config_test_machine.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/win_errors.h"
#include "platform/windows_path.h"
#include "support/scratch_folder.h"

namespace corvane {
namespace {

constexpr std::uint32_t kMarks =
    win::kFileAttributeReadOnly | win::kFileAttributeHidden | win::kFileAttributeSystem;

// Runs the test in a scratch folder as the current directory, restored afterwards.
class ConfigCacheTest : public ::testing::Test {
 protected:
  ConfigCacheTest()
      : folder_("corvane-cache-test"),
        previous_(CurrentPlatform().environment().currentDirectory()) {
    EXPECT_EQ(CurrentPlatform().environment().setCurrentDirectory(folder_.path()),
              win::kErrorSuccess);
  }
  ~ConfigCacheTest() override {
    (void)CurrentPlatform().environment().setCurrentDirectory(previous_);
  }

  static FileSystem& files() { return CurrentPlatform().files(); }

  static std::uint32_t marks(std::string_view path) {
    std::uint32_t value = 0;
    if (files().attributes(path, value) != win::kErrorSuccess) return win::kInvalidFileAttributes;
    return value & kMarks;
  }

  std::string raw() const {
    std::string bytes;
    EXPECT_EQ(files().readFile(folder_.at("item.xml"), bytes), win::kErrorSuccess);
    return bytes;
  }

  ConfigTestMachine machine_;
  testing::ScratchFolder folder_;
  std::string previous_;
};

std::string AllBytes(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>(i % 256U);
  return text;
}

TEST_F(ConfigCacheTest, ReadingBackGivesExactlyWhatWasWrittenHiddenAndScrambled) {
  const std::string cases[] = {
      "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<checkitems>\r\n</checkitems>\r\n",
      std::string("before\0after\0\0end\n", 18),
      AllBytes(20000),  // every byte value, far past 8092 bytes
      "x",
  };
  for (const std::string& text : cases) {
    SCOPED_TRACE(text.size());
    ASSERT_EQ(SaveConfigCache(text), win::kErrorSuccess);
    EXPECT_EQ(marks(folder_.at("item.xml")), win::kFileAttributeHidden);
    const std::string stored = raw();
    EXPECT_EQ(stored.size(), text.size());
    EXPECT_NE(stored, text);
    EXPECT_EQ(DecodeConfigCache(stored), text);
    EXPECT_EQ(LoadConfigCache(), text);
    EXPECT_EQ(marks(folder_.at("item.xml")), win::kFileAttributeHidden);
  }
  EXPECT_EQ(folder_.names(), std::vector<std::string>{"item.xml"});
}

TEST_F(ConfigCacheTest, ReadOnlyOrSystemCopyIsReadAndReplacedAndEndsHiddenOnly) {
  ASSERT_EQ(SaveConfigCache("first"), win::kErrorSuccess);
  ASSERT_EQ(files().setAttributes(folder_.at("item.xml"), kMarks), win::kErrorSuccess);
  EXPECT_EQ(LoadConfigCache(), "first");
  EXPECT_EQ(marks(folder_.at("item.xml")), win::kFileAttributeHidden);

  ASSERT_EQ(files().setAttributes(folder_.at("item.xml"),
                                  win::kFileAttributeReadOnly | win::kFileAttributeSystem),
            win::kErrorSuccess);
  ASSERT_EQ(SaveConfigCache("second"), win::kErrorSuccess);
  EXPECT_EQ(marks(folder_.at("item.xml")), win::kFileAttributeHidden);
  EXPECT_EQ(LoadConfigCache(), "second");
}

TEST_F(ConfigCacheTest, TheCopyBelongsToTheCurrentDirectory) {
  EXPECT_EQ(LoadConfigCache(), "");
  EXPECT_FALSE(files().exists(folder_.at("item.xml")));  // reading creates nothing

  ASSERT_EQ(SaveConfigCache("here"), win::kErrorSuccess);
  EXPECT_TRUE(files().exists(folder_.at("item.xml")));
  const std::string moduleFolder(PathParent(CurrentPlatform().environment().modulePath()));
  if (!EqualsIgnoringCase(moduleFolder, folder_.path())) {
    EXPECT_FALSE(files().exists(PathJoin(moduleFolder, "item.xml")));
  }

  ASSERT_EQ(files().createDirectory(folder_.at("elsewhere")), win::kErrorSuccess);
  ASSERT_EQ(CurrentPlatform().environment().setCurrentDirectory(folder_.at("elsewhere")),
            win::kErrorSuccess);
  EXPECT_EQ(LoadConfigCache(), "");
}

TEST(ScrambleTextTest, TwiceRestoresAndEveryByteChanges) {
  std::string text(10, 'a');
  ScrambleText(text);
  for (const char c : text) EXPECT_NE(c, 'a');
  ScrambleText(text);
  EXPECT_EQ(text, std::string(10, 'a'));
}

}  // namespace
}  // namespace corvane
