// Name resolution through Winsock on the real system (under Wine: the host's resolver),
// with names and addresses that never leave the machine.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "checks/network_checks.h"

namespace corvane {
namespace {

TEST(ResolveHostWin32, NamesForwardAndAddressesInReverse) {
  EXPECT_EQ(ResolveHost("localhost"), std::vector<std::string>{"127.0.0.1"});
  // Dotted text goes through inet_addr and gethostbyaddr, which answers with the address.
  EXPECT_EQ(ResolveHost("127.0.0.1"), std::vector<std::string>{"127.0.0.1"});
  EXPECT_EQ(ResolveHost("127.1"), std::vector<std::string>{"127.0.0.1"});
  EXPECT_EQ(ResolveHost("255.255.255.255"), std::vector<std::string>{});
}

TEST(ResolveHostWin32, NameResolutionOfLocalhost) {
  CheckConfig config;
  ConfigEntry entry;
  entry.text = "localhost";
  entry.value = "127.0.0.1";
  entry.name = "loopback";
  config.sections.push_back({"dns", {entry}});
  EXPECT_TRUE(CheckNameResolution(config));
  EXPECT_EQ(config.dnsLineName, "loopback");
  config.sections[0].entries[0].value = "127.0.0.2";
  EXPECT_FALSE(CheckNameResolution(config));
}

}  // namespace
}  // namespace corvane
