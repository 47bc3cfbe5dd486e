// Which ppdev node is LPT1 and which LPT2.
//
// The kernel lists its parallel ports as /proc/sys/dev/parport/parport<n>
// (base-addr: the base address), reached as /dev/parport<n>. Each of LPT1 and
// LPT2 is, in this order of precedence:
//   1. the node that ZDXUSBCAL_LPT1 / ZDXUSBCAL_LPT2 names (a user's choice),
//   2. the node that the site's /etc/zdxusbcal/ports.conf names
//      ("LPT1=/dev/parport2"; "#" starts a comment),
//   3. the port at the legacy base address (0x378 for LPT1, 0x278 for LPT2),
//   4. the ports left over (a PCIe card's, at any address) in ascending <n>:
//      the first one left fills LPT1 if it is still free, the next one LPT2.
// Only ports that have a ppdev node take part in 3 and 4; no node is given
// twice. A node named in 1 or 2 is used as it is.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace zdx::linuxport {

inline constexpr std::uint16_t kLegacyBase[2] = {0x378, 0x278};

struct KernelParport {
    std::string node;        // /dev/parport<n>
    unsigned long base = 0;  // from base-addr
};

// The nodes a site file names for LPT1 and LPT2 ("" where it names none);
// malformed lines are reported on `messages` and skipped.
std::array<std::string, 2> parse_ports_file(std::string_view text, const char* origin,
                                            std::FILE* messages);

// The mapping of rules 3 and 4 over `ports` (ascending <n>), after the
// choices in `named` ("" = none) are taken.
std::array<std::string, 2> assign_lpt_nodes(const std::vector<KernelParport>& ports,
                                            std::array<std::string, 2> named);

// The whole mapping of this moment, read from the environment, the site file,
// /proc and /dev; the site file's faults go to `messages` the first time only.
std::array<std::string, 2> lpt_nodes(std::FILE* messages);

}  // namespace zdx::linuxport
