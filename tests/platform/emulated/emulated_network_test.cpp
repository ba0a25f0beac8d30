// What only the emulated PC's network has: network.ini and the offline switch of
// machine.ini.

#include "platform/emulated/emulated_network.h"

#include <gtest/gtest.h>

#include <fstream>

#include "bank_server.h"
#include "config/bank_values.h"
#include "platform/emulated/emulated_platform.h"
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
  EXPECT_EQ(session->OpenUrl("https://" + std::string(bank::kPersonalHost) + "/x", 0, &error),
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
                ->OpenUrl("https://" + std::string(bank::kPersonalHost) + "/x", 0, &error),
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

}  // namespace
}  // namespace corvane::emulated
