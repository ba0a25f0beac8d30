// What only the emulated PC's network has: network.ini and the offline switch of
// machine.ini.

#include "platform/emulated/emulated_network.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <utility>

#include "bank_server.h"
#include "bank/bank_values.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/win_errors.h"
#include "scratch_machine.h"

namespace corvane::emulated {
namespace {

void WriteFile(const std::filesystem::path& path, std::string_view text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

TEST(EmulatedNetworkTest, ResolveEntriesAnswerBeforeTheResolver) {
  const ScratchMachine machine;
  WriteFile(machine.folder().root() / "network.ini",
            "[resolve]\nPerBank.Marrowby.Example = 192.0.2.10, 198.51.100.10 ; two lines\n");
  EmulatedNetwork network(machine.folder(), true);
  EXPECT_EQ(network.loadError(), "");
  const HostAddresses found = network.ResolveHost("perbank.marrowby.example");
  EXPECT_EQ(found.error, 0U);
  EXPECT_EQ(found.addresses, (std::vector<std::string>{"192.0.2.10", "198.51.100.10"}));
}

TEST(EmulatedNetworkTest, OfflineNothingResolvesOrOpens) {
  testing::BankServer server;
  const ScratchMachine machine;
  ASSERT_TRUE(server.WriteNetworkIni(machine.folder().root()));
  server.Serve("/x", "x");
  EmulatedNetwork network(machine.folder(), false);
  std::uint32_t flags = 0;
  EXPECT_FALSE(network.ConnectedState(&flags));
  EXPECT_EQ(flags, win::kInternetConnectionOffline);
  EXPECT_EQ(network.ResolveHost(bank::kPersonalHost).error, 11001U);
  EXPECT_EQ(network.ResolveHost("127.0.0.1").error, 11001U);
  const auto session = network.OpenSession("Mozilla/5.0");
  ASSERT_NE(session, nullptr);
  std::uint32_t error = 0;
  EXPECT_EQ(session->OpenUrl("https://" + std::string(bank::kPersonalHost) + "/x", 0, &error, {}),
            nullptr);
  EXPECT_EQ(error, win::kErrorInternetNameNotResolved);
  EXPECT_EQ(server.requestCount("/x"), 0);

  EmulatedNetwork online(machine.folder(), true);
  EXPECT_TRUE(online.ConnectedState(&flags));
  EXPECT_EQ(flags, win::kInternetConnectionLan);
}

TEST(EmulatedNetworkTest, WithoutTheExtraCaTheTestServerIsNotTrusted) {
  testing::BankServer server;
  server.Serve("/x", "x");
  const ScratchMachine machine;
  ASSERT_TRUE(server.WriteNetworkIni(machine.folder().root()));
  std::filesystem::remove(machine.folder().root() / "certs" / "bank-test-ca.pem");
  std::ifstream in(machine.folder().root() / "network.ini");
  std::string ini((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ini.replace(ini.find("extra_ca"), 0, ";");
  WriteFile(machine.folder().root() / "network.ini", ini);
  EmulatedNetwork network(machine.folder(), true);
  EXPECT_EQ(network.loadError(), "");
  std::uint32_t error = 0;
  EXPECT_EQ(network.OpenSession("Mozilla/5.0")
                ->OpenUrl("https://" + std::string(bank::kPersonalHost) + "/x", 0, &error, {}),
            nullptr);
  EXPECT_EQ(error, win::kErrorInternetInvalidCa);
}

TEST(EmulatedNetworkTest, BadSettingsAreReportedByFileAndLine) {
  const ScratchMachine machine;
  WriteFile(machine.folder().root() / "network.ini",
            "[resolve]\n"
            "host.example = 10.0.0.1\n"
            "bad.example = not-an-address\n"
            "[connect_to]\n"
            "host.example = 127.0.0.1:1\n"
            "[timeouts]\n"
            "receive_ms = -5\n"
            "[tls]\n"
            "extra_ca = certs/missing.pem\n"
            "[proxy]\n"
            "x = y\n"
            "no equals sign\n"
            "[connect_to]\n"
            "other.example:443 = 127.0.0.1:0055039\n");
  const EmulatedPlatform platform(machine.folder().root());
  const std::string errors = platform.loadErrors();
  for (const char* line :
       {"network.ini:3: ", "network.ini:5: ", "network.ini:7: ", "network.ini:11: ",
        "network.ini:12: ", "network.ini:14: ", "missing.pem"}) {
    EXPECT_NE(errors.find(line), std::string::npos) << line << " in\n" << errors;
  }
  EXPECT_EQ(errors.find("network.ini:2:"), std::string::npos) << errors;
  EmulatedNetwork network(machine.folder(), true);
  EXPECT_EQ(network.ResolveHost("host.example").addresses, std::vector<std::string>{"10.0.0.1"});
}

// Whether something listens on 127.0.0.1:port (then a refused connection cannot be shown).
bool LocalPortAnswers(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool answered =
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return answered;
}

// A machine nobody has pointed anywhere keeps the bank's names on this PC: they resolve to
// 127.0.0.1, no other name is looked up, and the bank's URLs fail at once, refused, while no
// local bank server runs.
TEST(EmulatedNetworkTest, AFreshMachineSendsTheBankHostsToThisPc) {
  const ScratchMachine machine;
  EmulatedNetwork network(machine.folder(), true);
  EXPECT_EQ(network.loadError(), "");
  const std::string domain(bank::kDomain);
  const std::vector<std::string> bankHosts = {std::string(bank::kPersonalHost),
                                              std::string(bank::kCorporateHost), "update." + domain,
                                              "www." + domain};
  EXPECT_EQ(BankHostNames(), bankHosts) << "the update and public site hosts come from their URLs";
  for (const std::string& host : bankHosts) {
    SCOPED_TRACE(host);
    const HostAddresses found = network.ResolveHost(host);
    EXPECT_EQ(found.error, 0U);
    EXPECT_EQ(found.addresses, std::vector<std::string>{"127.0.0.1"});
  }
  EXPECT_EQ(network.ResolveHost("localhost").addresses, std::vector<std::string>{"127.0.0.1"});
  EXPECT_EQ(network.ResolveHost("192.0.2.1").addresses, std::vector<std::string>{"192.0.2.1"});
  EXPECT_EQ(network.ResolveHost("no-such-host.invalid").error, 11001U);

  if (LocalPortAnswers(443) || LocalPortAnswers(80)) {
    GTEST_SKIP() << "a server listens on 127.0.0.1:443 or :80 of this PC";
  }
  const auto session = network.OpenSession("Mozilla/5.0");
  ASSERT_NE(session, nullptr);
  const std::string urls[] = {std::string(bank::kConfigUrl),
                              std::string(bank::kUpdateBaseUrl) + "setup.exe",
                              std::string(bank::kPublicSiteUrl)};
  for (const std::string& url : urls) {
    SCOPED_TRACE(url);
    const auto start = std::chrono::steady_clock::now();
    std::uint32_t error = 0;
    EXPECT_EQ(session->OpenUrl(url, 0, &error, {}), nullptr);
    EXPECT_EQ(error, win::kErrorInternetCannotConnect);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  }
  std::uint32_t error = 0;
  EXPECT_EQ(session->OpenUrl("http://no-such-host.invalid/", 0, &error, {}), nullptr);
  EXPECT_EQ(error, win::kErrorInternetNameNotResolved);
}

// What network.ini says about the real network, and what the user's own mappings change.
TEST(EmulatedNetworkTest, OnlyRealYesLeavesTheBankHostsToTheResolver) {
  struct Case {
    const char* ini;
    bool real;
    std::vector<std::string> personal;  // what the personal host is mapped to; empty: not
    bool error;
  };
  const std::string personal(bank::kPersonalHost);
  const Case cases[] = {
      {"", false, {"127.0.0.1"}, false},
      {"[network]\nreal = no\n", false, {"127.0.0.1"}, false},
      {"[network]\nreal = YES\n", true, {}, false},
      {"[network]\nreal = maybe\n", false, {"127.0.0.1"}, true},
      {"[network]\nonline = yes\n", false, {"127.0.0.1"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini);
    NetworkSettingsLoad load = ParseNetworkSettings(c.ini, "network.ini", "/machine");
    EXPECT_EQ(load.settings.real, c.real);
    EXPECT_EQ(!load.error.empty(), c.error) << load.error;
    ApplyIsolation(load.settings);
    const auto it = load.settings.resolve.find(personal);
    EXPECT_EQ(it == load.settings.resolve.end() ? std::vector<std::string>{} : it->second,
              c.personal);
  }
  // The user's own mapping of a bank host wins over the default.
  NetworkSettingsLoad own =
      ParseNetworkSettings("[resolve]\n" + personal + " = 192.0.2.7\n", "network.ini", "/m");
  ApplyIsolation(own.settings);
  EXPECT_EQ(own.settings.resolve[personal], std::vector<std::string>{"192.0.2.7"});
}

// https offers only the protocol versions "SecureProtocols" allows, the user's value before
// the machine's; the local bank server takes TLS 1.2 at least. 168 (SSL 2.0, SSL 3.0, TLS
// 1.0) cannot reach it; the built-in configuration's repair of 168 (value 2048 under mask
// 2088) can.
TEST(EmulatedNetworkTest, HttpsOffersOnlyWhatSecureProtocolsAllows) {
  testing::BankServer server;
  ASSERT_EQ(server.error(), "");
  server.Serve("/x", "x");
  const ScratchMachine machine;
  ASSERT_TRUE(server.WriteNetworkIni(machine.folder().root()));
  EmulatedPlatform platform(machine.folder().root());
  constexpr std::string_view kKey =
      R"(Software\Microsoft\Windows\CurrentVersion\Internet Settings)";
  constexpr std::uint32_t kRepaired168 = (168U & ~2088U) | (2048U & 2088U);
  struct Case {
    const char* name;
    std::optional<std::uint32_t> user, machineWide;
    bool reaches;
  };
  const Case cases[] = {
      {"the fresh machine's value", 0xA80, std::nullopt, true},
      {"SSL 2.0, SSL 3.0, TLS 1.0", 168, std::nullopt, false},
      {"TLS 1.2 only", 2048, std::nullopt, true},
      {"168 repaired by the built-in entry", kRepaired168, std::nullopt, true},
      {"TLS 1.1 only", 0x200, std::nullopt, false},
      {"SSL only: nothing to offer", 0x28, std::nullopt, false},
      {"the machine's value without the user's", std::nullopt, 168, false},
      {"the user's value first", 2048, 168, true},
      {"no value anywhere", std::nullopt, std::nullopt, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& [root, value] : {std::pair{RegistryRoot::kCurrentUser, c.user},
                                      std::pair{RegistryRoot::kLocalMachine, c.machineWide}}) {
      RegistryKey key;
      ASSERT_EQ(platform.registry().CreateKey(root, kKey, win::kKeyAllAccess, key),
                win::kErrorSuccess);
      if (value) {
        ASSERT_EQ(key.SetDword("SecureProtocols", *value), win::kErrorSuccess);
      } else {
        (void)key.DeleteValue("SecureProtocols");
      }
    }
    const auto session = platform.network().OpenSession("Mozilla/5.0");
    ASSERT_NE(session, nullptr);
    const int before = server.requestCount("/x");
    std::uint32_t error = 0;
    const auto request =
        session->OpenUrl("https://" + std::string(bank::kPersonalHost) + "/x", 0, &error, {});
    if (c.reaches) {
      ASSERT_NE(request, nullptr) << error;
      EXPECT_EQ(request->StatusCode(), 200U);
      EXPECT_EQ(server.requestCount("/x"), before + 1);
    } else {
      EXPECT_EQ(request, nullptr);
      EXPECT_EQ(error, win::kErrorInternetSecFailure);
      EXPECT_EQ(server.requestCount("/x"), before) << "nothing may be asked without TLS";
    }
  }
}

}  // namespace
}  // namespace corvane::emulated
