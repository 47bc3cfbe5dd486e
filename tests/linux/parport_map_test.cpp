// Which ppdev node is LPT1 and which LPT2: the order of the legacy addresses,
// the ports left over, and the nodes a site names.
#include "parport_map.h"

#include <gtest/gtest.h>

namespace zdx::linuxport {
namespace {

using Nodes = std::array<std::string, 2>;

TEST(ParportMap, LegacyAddressesThenLeftOversInAscendingNumber) {
    EXPECT_EQ(assign_lpt_nodes({{"/dev/parport0", 0x278}, {"/dev/parport1", 0x378}}, {}),
              (Nodes{"/dev/parport1", "/dev/parport0"}));
    // Two PCIe cards: the first fills LPT1, the next LPT2.
    EXPECT_EQ(
        assign_lpt_nodes(
            {{"/dev/parport0", 0xD010}, {"/dev/parport1", 0xE000}, {"/dev/parport2", 0xF000}}, {}),
        (Nodes{"/dev/parport0", "/dev/parport1"}));
    // A card and a port at LPT1's address: the card is LPT2.
    EXPECT_EQ(assign_lpt_nodes({{"/dev/parport0", 0xD010}, {"/dev/parport1", 0x378}}, {}),
              (Nodes{"/dev/parport1", "/dev/parport0"}));
    EXPECT_EQ(assign_lpt_nodes({}, {}), (Nodes{"", ""}));
}

TEST(ParportMap, NamedNodesComeFirstAndAreNotGivenTwice) {
    const std::vector<KernelParport> ports = {{"/dev/parport0", 0x378}, {"/dev/parport1", 0xD010}};
    EXPECT_EQ(assign_lpt_nodes(ports, {"", "/dev/parport0"}),
              (Nodes{"/dev/parport1", "/dev/parport0"}));
    EXPECT_EQ(assign_lpt_nodes(ports, {"/dev/parport1", ""}),
              (Nodes{"/dev/parport1", "/dev/parport0"}));
    EXPECT_EQ(assign_lpt_nodes(ports, {"/dev/lp-bench", ""}),
              (Nodes{"/dev/lp-bench", "/dev/parport0"}));
}

TEST(ParportMap, SiteFileLinesAndMalformedOnes) {
    std::FILE* messages = std::tmpfile();
    ASSERT_NE(messages, nullptr);
    const Nodes nodes = parse_ports_file(
        "# ports of this bench\nLPT2 = /dev/parport3  # the card\n\nLPT3=/dev/parport4\n"
        "LPT1=parport0\nLPT1\n",
        "ports.conf", messages);
    EXPECT_EQ(nodes, (Nodes{"", "/dev/parport3"}));
    std::rewind(messages);
    char text[512] = {};
    const std::size_t n = std::fread(text, 1, sizeof text - 1, messages);
    std::fclose(messages);
    const std::string said(text, n);
    EXPECT_NE(said.find("ports.conf:4:"), std::string::npos);
    EXPECT_NE(said.find("ports.conf:5:"), std::string::npos);
    EXPECT_NE(said.find("ports.conf:6:"), std::string::npos);
    EXPECT_EQ(said.find("ports.conf:2:"), std::string::npos);
}

}  // namespace
}  // namespace zdx::linuxport
