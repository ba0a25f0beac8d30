#include "platform/emulated/registrable_file.h"

#include <gtest/gtest.h>

namespace corvane::emulated {
namespace {

TEST(RegistrableFileTest, ClassesAreReadAndAnythingElseIsRefused) {
  const auto classes = ParseRegistrableFile(
      "corvane-registrable 1\r\n\r\n# comment\nclass {6F1E2D3C-4B5A-4978-8695-a4b3c2d1e0f9}\r\n"
      "class {0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9}");
  ASSERT_TRUE(classes);
  EXPECT_EQ(*classes, (std::vector<std::string>{"{6F1E2D3C-4B5A-4978-8695-a4b3c2d1e0f9}",
                                                "{0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9}"}));
  for (const char* refused : {
           "",                         // empty
           "corvane-registrable 1\n",  // no class
           "corvane-registrable 2\nclass {6F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9}\n",
           "MZ\x90\nclass {6F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9}\n",  // a real image
           "corvane-registrable 1\nclass 6F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9\n",
           "corvane-registrable 1\nclass {6F1E2D3C-4B5A-4978-8695-A4B3C2D1E0FG}\n",
           "corvane-registrable 1\nclass {6F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9} x\n",
           "corvane-registrable 1\nclass {6F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9}\nserver x\n",
       }) {
    EXPECT_FALSE(ParseRegistrableFile(refused)) << refused;
  }
}

}  // namespace
}  // namespace corvane::emulated
