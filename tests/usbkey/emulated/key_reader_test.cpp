// The emulated PC reads vendor libraries in a confined helper process: a library planted in
// the program folder never runs in this process, and one that misbehaves when loaded costs
// only its own vendor's rows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "key_machine.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/windows_path.h"
#include "usbkey/usb_key_report.h"

namespace corvane {
namespace {

const std::string kHuahongKey =
    "version = 1.0\n"
    "[key]\nserial = HH1\ncerts = Alice;Bob\npin_retries = 3\nintact = 1\ndefault_pin = 1\n";
const PageStates kHuahongKeyShown{SetStateText(800, 2, "HH1"), SetState(800, 3, 0),
                                  SetState(800, 4, 0),         SetState(800, 5, 1),
                                  SetState(800, 6, 2),         SetState(800, 7, 0),
                                  SetStateText(800, 8, "1.0")};

// A Huahong key read by the stand-in, and the Feitian library replaced by the hostile one
// with `behaviour` (hostile_usb_key_library.cpp); the states after the 24 clearings.
PageStates ReportWithHostileFeitian(const std::string& behaviour) {
  testing::KeyMachine pc;
  auto& platform = dynamic_cast<emulated::EmulatedPlatform&>(CurrentPlatform());
  platform.emulatedLibraries().setHelperTimeLimit(std::chrono::milliseconds(1500));
  pc.install("BHDLL.dll");
  pc.describe("BHDLL.dll", kHuahongKey);
  std::ifstream in(CORVANE_HOSTILE_USB_KEY_LIBRARY, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_FALSE(bytes.empty());
  const std::string folder = pc.programFolder();
  EXPECT_EQ(platform.files().writeFile(PathJoin(folder, "Ftbank_ePass2000Auto.dll"), bytes), 0U);
  EXPECT_EQ(platform.files().writeFile(PathJoin(folder, "Ftbank_ePass2000Auto.hostile"), behaviour),
            0U);
  CheckConfig config;
  for (const char* className : {"CFeitianUSBKey", "CHuahongUSBKey"}) {
    CheckItem item;
    item.type = "driver";
    item.className = className;
    config.items.push_back(item);
  }
  PageStates states = ReportUsbKeys(config);
  states.erase(states.begin(), states.begin() + 24);
  return states;
}

PageStates FeitianThen(PageStates feitian) {
  feitian.insert(feitian.end(), kHuahongKeyShown.begin(), kHuahongKeyShown.end());
  return feitian;
}

TEST(KeyReaderTest, APlantedLibraryRunsOnlyInTheConfinedHelper) {
  const std::filesystem::path marker =
      std::filesystem::temp_directory_path() / ("corvane-key-marker-" + std::to_string(::getpid()));
  std::filesystem::remove(marker);
  const PageStates states = ReportWithHostileFeitian("marker " + marker.string() + "\n");
  EXPECT_FALSE(std::filesystem::exists(marker)) << "the library ran outside the confinement";
  std::filesystem::remove(marker);
  // It was loaded, where it could do no harm, and found no key.
  EXPECT_EQ(states, FeitianThen({SetState(802, 6, 0), SetState(802, 7, 1)}));
}

// A library whose helper fails counts as one that could not be loaded; the next vendor is
// read as ever.
TEST(KeyReaderTest, AMisbehavingLibraryCostsOnlyItsOwnRows) {
  struct Case {
    const char* what;
    std::string behaviour;
    PageStates feitian;
  };
  std::string manySerials = R"(lie L1:1\nX1:0\nV0:\n)";
  for (int i = 0; i < 2100; ++i) manySerials += R"(S1:A\n)";
  manySerials += R"(E0:\n)";
  const Case cases[] = {
      {"it hangs: killed at the time limit", "hang\n", {}},
      {"it kills its process", "die\n", {}},
      {"it floods the reader's pipe", "flood\n", {}},
      {"it claims more keys than a buffer can name", manySerials + "\n", {}},
      {"it writes records out of order",
       R"(lie L1:1\nN1:x\nE0:\n)"
       "\n",
       {}},
      {"it writes a record longer than any buffer",
       R"(lie L1:1\nV99999:x\nE0:\n)"
       "\n",
       {}},
      {"it ends before the account's end",
       R"(lie L1:1\nS2:AB\n)"
       "\n",
       {}},
      {"a well-formed account still gets valid UTF-8 only",
       R"(lie L1:1\nX1:0\nV2:\xff\xfe\nS3:A\xffB\nE0:\n)"
       "\n",
       {SetStateText(802, 2,
                     "A\xEF\xBF\xBD"
                     "B"),
        SetState(802, 6, 0), SetState(802, 7, 1),
        SetStateText(802, 8, "\xEF\xBF\xBD\xEF\xBF\xBD")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReportWithHostileFeitian(c.behaviour), FeitianThen(c.feitian));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  }
}

}  // namespace
}  // namespace corvane
