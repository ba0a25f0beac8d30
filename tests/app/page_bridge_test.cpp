#include "app/page_bridge.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace corvane {
namespace {

struct Call {
  std::string name;
  std::vector<ScriptArg> args;
  bool operator==(const Call&) const = default;
};

class RecordingPage final : public PageHost {
 public:
  std::vector<Call> calls;
  win::HResult result = win::kSOk;

  win::HResult callScript(std::string_view name, const std::vector<ScriptArg>& args) override {
    calls.push_back({std::string(name), args});
    return result;
  }
};

TEST(PageBridgeTest, ReportsBecomeSetStateCallsWithTheirCodes) {
  RecordingPage page;
  PageBridge bridge(page);
  bridge.reportState(1, 3, 1);
  bridge.reportStateText(1, 1, "Windows 7 旗舰版");
  bridge.reportProgress(0, 45);
  bridge.reportProgress(1, 100);
  bridge.reportStatus(1002);
  CheckConfig config;
  bridge.reportSummary(config);
  const std::vector<Call> expected = {
      {"setState", {1, 3, 1}},    {"setState", {1, 1, std::string("Windows 7 旗舰版")}},
      {"setState", {0, 0, 45}},   {"setState", {0, 1, 100}},
      {"setState", {0, 2, 1002}}, {"setState", {0, 3, 1}},
  };
  EXPECT_EQ(page.calls, expected);
}

TEST(PageBridgeTest, CallScriptPassesTheCallAndItsResultThrough) {
  RecordingPage page;
  page.result = win::kEFail;
  PageBridge bridge(page);
  EXPECT_EQ(bridge.callScript("clearState", {800, 2}), win::kEFail);
  ASSERT_EQ(page.calls.size(), 1U);
  EXPECT_EQ(page.calls[0], (Call{"clearState", {800, 2}}));
}

TEST(PageBridgeTest, ShowSendsEachStateInOrderAsSetStateOrClearState) {
  RecordingPage page;
  PageBridge bridge(page);
  bridge.show(
      {SetState(2, 1, 8), ClearState(800, 2), SetStateText(801, 3, "密钥"), SetState(2, 4, 0)});
  const std::vector<Call> expected = {
      {"setState", {2, 1, 8}},
      {"clearState", {800, 2}},
      {"setState", {801, 3, std::string("密钥")}},
      {"setState", {2, 4, 0}},
  };
  EXPECT_EQ(page.calls, expected);
  bridge.show({});
  EXPECT_EQ(page.calls.size(), expected.size());
}

CheckItem Item(const char* type, ComponentState state) {
  CheckItem item;
  item.type = type;
  item.state = state;
  return item;
}

CheckConfig AllPassed() {
  CheckConfig config;
  config.homepageOk = config.registryOk = config.hostsOk = config.connected = config.dnsOk =
      config.serviceOk = config.securityLevelOk = config.trustedSitesOk = config.rootCertOk = true;
  return config;
}

TEST(SummaryBitsTest, EachCheckFlagSetsBitZero) {
  bool CheckConfig::*const flags[] = {
      &CheckConfig::homepageOk,      &CheckConfig::registryOk,     &CheckConfig::hostsOk,
      &CheckConfig::connected,       &CheckConfig::dnsOk,          &CheckConfig::serviceOk,
      &CheckConfig::securityLevelOk, &CheckConfig::trustedSitesOk, &CheckConfig::rootCertOk,
  };
  EXPECT_EQ(SummaryBits(AllPassed()), 0);
  for (bool CheckConfig::*flag : flags) {
    CheckConfig config = AllPassed();
    config.*flag = false;
    EXPECT_EQ(SummaryBits(config), 1);
  }
  // The flags that are not checks do not count.
  CheckConfig config = AllPassed();
  config.configLoaded = false;
  config.serviceProbeDone = false;
  EXPECT_EQ(SummaryBits(config), 0);
}

TEST(SummaryBitsTest, ItemStatesSetBitOne) {
  struct Case {
    const char* type;
    ComponentState state;
    std::int32_t bits;
  };
  const Case cases[] = {
      {"SafeActiveX", 0, 0},
      {"SafeActiveX", 5, 2},
      {"SafeActiveX", kComponentDisabledFlag, 2},
      {"UkeyActiveX", kComponentKeyAbsentFlag, 2},
      {"driver", 0, 0},
      {"driver", kComponentKeyAbsentFlag, 0},
      {"driver", kComponentDisabledFlag | kComponentKeyAbsentFlag, 0},
      {"driver", 0x10000000U, 0},
      {"driver", 0x08000000U, 2},
      {"driver", 2, 2},
      {"Driver", kComponentKeyAbsentFlag, 2},  // the type compares exactly
      {"SignActiveX", kComponentNotDetected, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " " + std::to_string(c.state));
    CheckConfig config = AllPassed();
    config.items.push_back(Item("SafeActiveX", 0));
    config.items.push_back(Item(c.type, c.state));
    EXPECT_EQ(SummaryBits(config), c.bits);
    config.rootCertOk = false;
    EXPECT_EQ(SummaryBits(config), c.bits | 1);
  }
}

TEST(SummaryBitsTest, ComponentsOutsideTheItemListDoNotCount) {
  CheckConfig config = AllPassed();
  config.components.push_back(Item("SafeActiveX", 5));
  EXPECT_EQ(SummaryBits(config), 0);
}

}  // namespace
}  // namespace corvane
