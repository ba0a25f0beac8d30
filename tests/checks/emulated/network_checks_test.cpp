// Name resolution and the service probe on an emulated PC. Names resolve through the
// machine's hosts file and network.ini only, never through the real resolver; the probe
// talks to the local bank server.

#include "checks/network_checks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "bank_server.h"
#include "emulated/scratch_machine.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/file_system.h"
#include "platform/platform.h"

namespace corvane {
namespace {

constexpr const char* kHostsPath = R"(C:\Windows\System32\drivers\etc\hosts)";

ConfigEntry Dns(std::string host, std::string address, std::string label = {}) {
  ConfigEntry entry;
  entry.text = std::move(host);
  entry.name = std::move(label);
  entry.value = std::move(address);
  return entry;
}

ConfigEntry Url(std::string url) { return Dns(std::move(url), {}); }

class Machine {
 public:
  explicit Machine(std::string_view hostsText, bool online = true) {
    std::ofstream(machine_.folder().root() / "network.ini")
        << "[resolve]\nnet.example = 192.0.2.99\n";
    if (!online)
      std::ofstream(machine_.folder().root() / "machine.ini") << "[network]\nonline = no\n";
    platform_ = std::make_unique<ScopedPlatform>(
        std::make_unique<emulated::EmulatedPlatform>(machine_.folder().root()));
    (void)CurrentPlatform().files().writeFile(kHostsPath, hostsText);
  }

 private:
  emulated::ScratchMachine machine_;
  std::unique_ptr<ScopedPlatform> platform_;
};

TEST(NameResolutionTest, EveryResolvedAddressMustBeAllowed) {
  struct Case {
    const char* hosts;
    bool ok;
  };
  // a.example may resolve to A (192.0.2.1) or B (192.0.2.2).
  const Case cases[] = {
      {"192.0.2.1 a.example\n", true},
      {"192.0.2.2 a.example\n", true},
      {"192.0.2.1 a.example\n192.0.2.2 A.EXAMPLE\n", true},
      {"192.0.2.1 a.example\n192.0.2.3 a.example\n", false},
      {"192.0.2.3 a.example\n", false},
      {"# 192.0.2.1 a.example\n", false},  // nothing resolves: it would ask the real resolver
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hosts);
    // Offline where the name would otherwise go out to the real resolver.
    const bool reachesOut = std::string_view(c.hosts).starts_with("#");
    const Machine machine(c.hosts, !reachesOut);
    CheckConfig config;
    config.sections.push_back(
        {"dns", {Dns("a.example", "192.0.2.1"), Dns("a.example", "192.0.2.2")}});
    EXPECT_EQ(CheckNameResolution(config), c.ok);
    EXPECT_EQ(config.dnsOk, c.ok);
  }
}

TEST(NameResolutionTest, HostsFileLinesAsWindowsReadsThem) {
  const Machine machine(
      "::1 a.example\r\n"
      "192.0.2.1\tx.example  A.Example # several names, a comment\r\n"
      "#192.0.2.3 a.example\r\n"
      "192.0.2.2 a.example.other\r\n"
      "  192.0.2.4 a.example#c\r\n"
      "192.0.2.1 a.example\r\n"
      "not-an-address a.example\r\n");
  EXPECT_EQ(ResolveHost("a.example"), (std::vector<std::string>{"192.0.2.1", "192.0.2.4"}));
  EXPECT_EQ(ResolveHost("192.0.2.4"), std::vector<std::string>{"192.0.2.4"});
}

TEST(NameResolutionTest, HostsInNameOrderAndTheLabelOfTheLastEntryMet) {
  const Machine machine("192.0.2.1 a.example\n192.0.2.7 b.example\n");
  CheckConfig config;
  // b.example comes first in the document but a.example is checked first; b.example's
  // address is not allowed, so the check fails after a.example has left its label.
  config.sections.push_back(
      {"dns",
       {Dns("b.example", "192.0.2.8", "line B"), Dns("a.example", "192.0.2.1", "line 1"),
        Dns("c.example", "192.0.2.1", "line 1 again"), Dns("a.example", "192.0.2.1")}});
  EXPECT_FALSE(CheckNameResolution(config));
  EXPECT_EQ(config.dnsLineName, "line 1 again");

  // Passing keeps the label of the last host that had one; a later run never clears it.
  config.sections[0].entries[0].value = "192.0.2.7";
  config.sections[0].entries[0].name.clear();
  config.sections[0].entries.erase(config.sections[0].entries.begin() + 2);
  config.dnsLineName = "earlier";
  EXPECT_TRUE(CheckNameResolution(config));
  EXPECT_EQ(config.dnsLineName, "line 1");
}

TEST(NameResolutionTest, NumericHostsAreLookedUpInReverse) {
  const Machine machine("192.0.2.5 five.example\n");
  CheckConfig config;
  config.sections.push_back({"dns", {Dns("192.0.2.5", "192.0.2.5", "numeric")}});
  EXPECT_TRUE(CheckNameResolution(config));
  EXPECT_EQ(config.dnsLineName, "numeric");
  // An address network.ini answers for is found in reverse too.
  EXPECT_EQ(ResolveHost("192.0.2.99"), std::vector<std::string>{"192.0.2.99"});
  EXPECT_EQ(ResolveHost("255.255.255.255"), std::vector<std::string>{});
  EXPECT_EQ(ResolveHost("1.2.3.4.5"), std::vector<std::string>{});
}

TEST(NameResolutionTest, FailedReverseLookupOrOfflineFails) {
  const Machine machine("192.0.2.5 five.example\n", false);
  CheckConfig config;
  config.sections.push_back({"dns", {Dns("192.0.2.5", "192.0.2.5")}});
  EXPECT_FALSE(CheckNameResolution(config));
  config.sections[0] = {"dns", {Dns("five.example", "192.0.2.5")}};
  EXPECT_FALSE(CheckNameResolution(config));
  config.sections.clear();
  EXPECT_TRUE(CheckNameResolution(config));  // no "dns" section
  EXPECT_TRUE(config.dnsOk);
}

TEST(NameResolutionTest, InetAddressForms) {
  struct Case {
    const char* text = nullptr;
    std::optional<std::string> address;
  };
  const Case cases[] = {
      {"192.0.2.1", "192.0.2.1"},
      {"10.1", "10.0.0.1"},
      {"10.1.2", "10.1.0.2"},
      {"3221225985", "192.0.2.1"},
      {"0300.0.2.1", "192.0.2.1"},
      {"0x7f.1", "127.0.0.1"},
      {"255.255.255.255", {}},
      {"1.2.3.256", {}},
      {"1.2.3.4.5", {}},
      {"1..2", {}},
      {"", {}},
      {"08.1.1.1", {}},
      {"1.2.3.4 ", {}},
      {"4294967296", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseInetAddress(c.text), c.address);
  }
}

TEST(ServiceProbeTest, AnyAnswerPassesAndTheFirstFailureEnds) {
  testing::BankServer server({.tls = false});
  ASSERT_EQ(server.error(), "");
  server.Serve("/perbank/", "<html></html>");
  server.Fault("/missing", testing::FaultKind::kNotFoundWithBody, "not here");
  const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
  const Machine machine("");

  CheckConfig config;
  config.sections.push_back({"service", {Url(base + "/perbank/"), Url(base + "/missing")}});
  EXPECT_EQ(ProbeServices(config), 1);
  EXPECT_TRUE(config.serviceOk);
  EXPECT_TRUE(ServiceProbeDone(config));
  EXPECT_EQ(server.requestCount("/perbank/"), 1);
  EXPECT_EQ(server.requestCount("/missing"), 1);

  // Port 1 of 127.0.0.1 refuses the connection: the URL after it is not tried.
  config.sections[0].entries.insert(config.sections[0].entries.begin(), Url("http://127.0.0.1:1/"));
  config.serviceProbeDone = false;
  EXPECT_EQ(ProbeServices(config), 0);
  EXPECT_FALSE(config.serviceOk);
  EXPECT_TRUE(ServiceProbeDone(config));
  EXPECT_EQ(server.requestCount("/perbank/"), 1);

  config.sections.clear();
  config.serviceProbeDone = false;
  EXPECT_EQ(ProbeServices(config), 1);
  EXPECT_TRUE(config.serviceOk);
  EXPECT_TRUE(ServiceProbeDone(config));
  EXPECT_TRUE(ProbeUrls({}));
}

// A window closed while a service keeps the probe waiting: the stop ends the request at
// once, and the probe fails instead of holding the closing dialog for the time-outs.
TEST(ServiceProbeTest, AStopEndsAProbeThatWaitsForAnAnswer) {
  testing::BankServer server({.tls = false});
  ASSERT_EQ(server.error(), "");
  server.Fault("/silent", testing::FaultKind::kSilent);
  const Machine machine("");
  CheckConfig config;
  config.sections.push_back(
      {"service", {Url("http://127.0.0.1:" + std::to_string(server.port()) + "/silent")}});

  std::stop_source stop;
  std::jthread stopper([&stop] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop.request_stop();
  });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(ProbeServices(config, stop.get_token()), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1600));
  EXPECT_FALSE(config.serviceOk);
  EXPECT_TRUE(ServiceProbeDone(config));
}

TEST(ServiceProbeTest, OfflineNothingOpens) {
  testing::BankServer server({.tls = false});
  server.Serve("/perbank/", "x");
  const Machine machine("", false);
  EXPECT_FALSE(ProbeUrls({"http://127.0.0.1:" + std::to_string(server.port()) + "/perbank/"}));
  EXPECT_EQ(server.requestCount("/perbank/"), 0);
}

}  // namespace
}  // namespace corvane
