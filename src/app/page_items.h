#pragma once

// The page's items in one table: a row per item of the page's check list and per step of the
// timed check run. runCheckStep, repair, oneClickSetup and the start-up reports walk it, so
// adding a check is adding a row. Included by corvane_dlg.cpp only: the rows' functions work
// on the dialog's own fields.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "app/corvane_dlg.h"
#include "checks/environment_checks.h"
#include "checks/network_checks.h"
#include "checks/root_certificates.h"
#include "checks/system_description.h"
#include "platform/win_errors.h"

namespace corvane {

// What one check found: passed or failed, a text the page shows instead of the state, or
// nothing yet (a worker reports it later).
struct ItemFinding {
  bool ok = false;
  std::optional<std::string> text;
  bool pending = false;
};
using ItemCheck = ItemFinding (*)(CCorvaneDlg&);
// True when the repair did something worth the row's message.
using ItemRepair = bool (*)(CCorvaneDlg&);

enum class ItemSetup : std::uint8_t {
  kNone,
  kFix,      // fix(item) unless the row's result says the item passed
  kQuietly,  // the repair's work alone: no status, no message
};

struct ItemRow {
  std::int32_t item = 0;                // page row (category 1), the n of check(n)/fix(n); 0 none
  int timer = 0;                        // the step of the check run (timers 8 to 18); 0 none
  std::int32_t progress = 0;            // overall progress shown at that step
  std::int32_t checkStatus = 0;         // status line at that step
  std::int32_t repairStatus = 0;        // status line of fix(item); 0 none
  bool CheckConfig::*result = nullptr;  // where the dialog keeps the check's result
  ItemCheck check = nullptr;            // nullptr: nothing is checked
  ItemRepair repair = nullptr;          // nullptr: fix(item) does nothing
  std::int32_t recheck = 0;             // item checked again after this one's check (6 after 3)
  std::int32_t fixInside = 0;           // item repaired inside this repair, before its re-check
  std::int32_t repairMessage = 0;       // promptInfo text after a repair that did something
  int setupOrder = 0;                   // position in the one-click setup; 0 not part of it
  ItemSetup setup = ItemSetup::kNone;
  int loadOrder = 0;  // position in the reports made when the page has loaded; 0 none
};

struct CCorvaneDlg::Items {
  static constexpr std::int32_t kRunStartStatus = 1000;  // check(n): the run starts
  static constexpr std::int32_t kFixEndStatus = 2999;    // fix(n) has finished

  static CheckConfig& Config(CCorvaneDlg& d) { return d.dialogThread_->config; }
  static ItemFinding State(bool ok) { return {.ok = ok, .text = std::nullopt}; }

  // clang-format off
  static constexpr std::array kRows{
      ItemRow{.item = 1,
          .check = [](CCorvaneDlg&) { return ItemFinding{.text = DescribeWindowsVersion()}; },
          .loadOrder = 1},
      ItemRow{.item = 2, .timer = 8, .progress = 9, .checkStatus = 1002, .repairStatus = 2002,
          .result = &CheckConfig::registryOk,
          .check = [](CCorvaneDlg& d) { return State(CheckRegistry(Config(d), false)); },
          .repair = [](CCorvaneDlg& d) { return CheckRegistry(Config(d), true); },
          .setupOrder = 5, .setup = ItemSetup::kFix},
      ItemRow{.item = 3, .timer = 9, .progress = 18, .checkStatus = 1003, .repairStatus = 2003,
          .result = &CheckConfig::hostsOk,
          .check = [](CCorvaneDlg& d) { return State(CheckHostsFile(Config(d), false)); },
          .repair = [](CCorvaneDlg& d) { return CheckHostsFile(Config(d), true); },
          .recheck = 6, .setupOrder = 1, .setup = ItemSetup::kFix},
      ItemRow{.item = 4, .timer = 10, .progress = 27, .checkStatus = 1004, .repairStatus = 2004,
          .result = &CheckConfig::rootCertOk,
          .check = [](CCorvaneDlg&) { return State(CheckRootCertificates() >= 0); },
          .repair = [](CCorvaneDlg&) {
            return CheckRootCertificates() < 0 && InstallRootCertificates() >= 0;
          },
          .setupOrder = 2, .setup = ItemSetup::kFix},
      ItemRow{.item = 5, .timer = 11, .progress = 36, .checkStatus = 1005,
          .result = &CheckConfig::connected,
          .check = [](CCorvaneDlg& d) { return State(d.services_.internetConnected()); },
          .loadOrder = 3},
      ItemRow{.item = 6, .timer = 12, .progress = 45, .checkStatus = 1006,
          .result = &CheckConfig::dnsOk,
          .check = [](CCorvaneDlg& d) {
            CheckConfig& config = Config(d);
            if (config.connected) {
              CheckNameResolution(config);
            } else {
              config.dnsOk = false;
            }
            // A resolved name shows the name's line instead of the state.
            if (config.dnsOk && !config.dnsLineName.empty()) {
              return ItemFinding{.ok = true, .text = config.dnsLineName};
            }
            return State(config.dnsOk);
          }},
      // ProbeServices runs on a worker; pollServiceProbe reports it and arms the next step.
      ItemRow{.item = 7, .timer = 13, .progress = 54, .checkStatus = 1007,
          .result = &CheckConfig::serviceOk,
          .check = [](CCorvaneDlg& d) {
            if (!Config(d).connected) return State(false);
            d.startServiceProbe();
            if (d.pollServiceProbe() == win::kEPending) {
              d.loop_.setTimer(kTimerWaitProbe, kFirstPollMs);
            }
            return ItemFinding{.text = std::nullopt, .pending = true};
          }},
      ItemRow{.item = 8,
          .check = [](CCorvaneDlg&) { return ItemFinding{.text = ReadIeVersion()}; },
          .loadOrder = 2},
      ItemRow{.item = 9, .timer = 15, .progress = 72, .checkStatus = 1009, .repairStatus = 2009,
          .result = &CheckConfig::homepageOk,
          .check = [](CCorvaneDlg& d) { return State(CheckHomepagePolicy(Config(d), false)); },
          .repair = [](CCorvaneDlg& d) { return CheckHomepagePolicy(Config(d), true); },
          .setupOrder = 3, .setup = ItemSetup::kFix},
      ItemRow{.item = 10, .timer = 16, .progress = 81, .checkStatus = 1010, .repairStatus = 2010,
          .result = &CheckConfig::securityLevelOk,
          .check = [](CCorvaneDlg& d) { return State(CheckSecurityLevel(Config(d), false)); },
          .repair = [](CCorvaneDlg& d) { return CheckSecurityLevel(Config(d), true); },
          .fixInside = 2, .setupOrder = 4, .setup = ItemSetup::kFix},
      ItemRow{.item = 11, .timer = 17, .progress = 90, .checkStatus = 1011, .repairStatus = 2011,
          .result = &CheckConfig::trustedSitesOk,
          .check = [](CCorvaneDlg& d) { return State(CheckTrustedSites(Config(d), false)); },
          .repair = [](CCorvaneDlg& d) { return CheckTrustedSites(Config(d), true); },
          .setupOrder = 6, .setup = ItemSetup::kFix},
      ItemRow{.item = 12, .repairStatus = 2012,
          .repair = [](CCorvaneDlg&) { return ClearSslState(); },
          .repairMessage = 141, .setupOrder = 9, .setup = ItemSetup::kQuietly},
      // Proxy settings: a step of the run with nothing checked.
      ItemRow{.item = 13, .timer = 14, .progress = 63, .checkStatus = 1013},
      // The components: installs every disabled one and reports the rows again.
      ItemRow{.item = 15,
          .repair = [](CCorvaneDlg& d) { d.installDisabledComponents(); return true; },
          .setupOrder = 7, .setup = ItemSetup::kFix},
      ItemRow{.item = 16,
          .repair = [](CCorvaneDlg&) { return ClearBrowserCache(); },
          .repairMessage = 135, .setupOrder = 8, .setup = ItemSetup::kQuietly},
      // The run's end: the component pass follows.
      ItemRow{.timer = 18, .progress = 100, .checkStatus = 1999},
  };
  // clang-format on

  static const ItemRow* Item(std::int32_t item) {
    if (item == 0) return nullptr;
    for (const ItemRow& row : kRows) {
      if (row.item == item) return &row;
    }
    return nullptr;
  }
  // The row at place `order` (from 1) of an order such as &ItemRow::setupOrder; null past
  // the last.
  static const ItemRow* InOrder(int ItemRow::*place, int order) {
    for (const ItemRow& row : kRows) {
      if (row.*place == order) return &row;
    }
    return nullptr;
  }
  static const ItemRow* Step(int timer) {
    for (const ItemRow& row : kRows) {
      if (row.timer != 0 && row.timer == timer) return &row;
    }
    return nullptr;
  }
};

}  // namespace corvane
