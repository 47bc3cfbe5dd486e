// The bench's scenario reader: any text is a scenario or refused with a
// message, never read with a number cast out of its range; an accepted
// scenario places its serial devices on COM1..COM9 only, where it said.
#include <nlohmann/json.hpp>

#include "fuzz_support.h"
#include "scenario.h"

using namespace zdx::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    zdx::bench::Scenario scenario;
    std::string error;
    if (!zdx::bench::parseScenario(text, scenario, error)) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    const auto doc = nlohmann::json::parse(text);
    if (doc.contains("serial")) {
        for (const auto& entry : doc.at("serial")) {
            const auto& com = entry.at("com");
            FUZZ_CHECK(com.is_number_integer());
            const auto n = com.get<std::int64_t>();
            FUZZ_CHECK(n >= 1 && n <= zdx::bench::kComPorts);
            const auto& placed = scenario.serial[static_cast<std::size_t>(n - 1)];
            FUZZ_CHECK(placed.model != nullptr || placed.meter != nullptr);
        }
    }
    if (doc.contains("os_family") && doc.at("os_family").is_number())
        FUZZ_CHECK(doc.at("os_family").get<std::uint64_t>() == scenario.osFamily);
    for (const auto& device : scenario.usb) FUZZ_CHECK(device != nullptr);
    return 0;
}
