#include "parport_map.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "config_lines.h"

namespace zdx::linuxport {

namespace {

constexpr const char* kSiteFile = "/etc/zdxusbcal/ports.conf";
constexpr const char* kEnvironment[2] = {"ZDXUSBCAL_LPT1", "ZDXUSBCAL_LPT2"};
// The kernel numbers its ports densely from 0; a machine has a few at most.
constexpr int kMaxParports = 16;

std::vector<KernelParport> kernel_parports() {
    std::vector<KernelParport> ports;
    for (int n = 0; n < kMaxParports; ++n) {
        const std::string name = "parport" + std::to_string(n);
        std::ifstream in("/proc/sys/dev/parport/" + name + "/base-addr");
        unsigned long base = 0;
        if (!(in >> base)) continue;
        std::string node = "/dev/" + name;
        if (::access(node.c_str(), F_OK) != 0) continue;
        ports.push_back({std::move(node), base});
    }
    return ports;
}

std::array<std::string, 2> site_file_nodes(std::FILE* messages) {
    const std::optional<std::string> text = config::read_file(kSiteFile);
    if (!text) return {};
    return parse_ports_file(*text, kSiteFile, messages);
}

}  // namespace

std::array<std::string, 2> parse_ports_file(std::string_view text, const char* origin,
                                            std::FILE* messages) {
    std::array<std::string, 2> nodes;
    config::for_each_entry(text, [&](std::size_t number, std::string_view line) {
        const std::size_t equals = line.find('=');
        const std::string_view key = config::trim(line.substr(0, std::min(equals, line.size())));
        const std::string_view node = equals == std::string_view::npos
                                          ? std::string_view{}
                                          : config::trim(line.substr(equals + 1));
        const int index = key == "LPT1" ? 0 : key == "LPT2" ? 1 : -1;
        if (index < 0 || node.empty() || node.front() != '/') {
            if (messages != nullptr) {
                std::fprintf(messages,
                             "zdxusbcal: %s:%zu: not \"LPT1=<node>\" or \"LPT2=<node>\"; "
                             "ignored\n",
                             origin, number);
            }
            return;
        }
        nodes[static_cast<std::size_t>(index)] = std::string(node);
    });
    return nodes;
}

std::array<std::string, 2> assign_lpt_nodes(const std::vector<KernelParport>& ports,
                                            std::array<std::string, 2> named) {
    std::array<std::string, 2> nodes = named;
    const auto taken = [&](const std::string& node) {
        return std::find(nodes.begin(), nodes.end(), node) != nodes.end();
    };
    for (std::size_t lpt = 0; lpt < 2; ++lpt) {
        if (!nodes[lpt].empty()) continue;
        for (const KernelParport& port : ports) {
            if (port.base == kLegacyBase[lpt] && !taken(port.node)) {
                nodes[lpt] = port.node;
                break;
            }
        }
    }
    for (const KernelParport& port : ports) {
        if (taken(port.node)) continue;
        const auto free = std::find(nodes.begin(), nodes.end(), std::string());
        if (free == nodes.end()) break;
        *free = port.node;
    }
    return nodes;
}

std::array<std::string, 2> lpt_nodes(std::FILE* messages) {
    // The mapping is read at every open; a faulty site file is told once.
    static bool told = false;
    std::array<std::string, 2> named = site_file_nodes(told ? nullptr : messages);
    told = true;
    for (std::size_t lpt = 0; lpt < 2; ++lpt) {
        const char* chosen = ::secure_getenv(kEnvironment[lpt]);
        if (chosen != nullptr && chosen[0] != '\0') named[lpt] = chosen;
    }
    return assign_lpt_nodes(kernel_parports(), named);
}

}  // namespace zdx::linuxport
