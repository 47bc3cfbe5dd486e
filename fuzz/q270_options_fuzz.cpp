// The Q270 program's command line: the three special modes exclude each
// other, the relay mask gives four bytes of a nonzero 32-bit mask, a filter is
// the text after its option up to the next blank, and the caption carries the
// filters as given.
#include <cstring>

#include "fuzz_support.h"
#include "options.h"

using namespace zdx::fuzz;

namespace {

std::optional<std::string> after(std::string_view line, std::string_view option) {
    const auto at = line.find(option);
    if (at == std::string_view::npos) return std::nullopt;
    const std::string_view rest = line.substr(at + option.size());
    return std::string(rest.substr(0, rest.find(' ')));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const q270::Options options = q270::parseOptions(line);
    FUZZ_CHECK(int(options.special) + int(options.loadMode) + int(options.relayClean) <= 1);
    FUZZ_CHECK(options.special == (line.find("/ZDXEinmessen") != std::string_view::npos));
    std::uint32_t mask = 0;
    for (int i = 0; i < 4; ++i) {
        FUZZ_CHECK(options.RelayBytes[i] >= 0 && options.RelayBytes[i] <= 255);
        mask |= std::uint32_t(options.RelayBytes[i]) << (8 * i);
    }
    FUZZ_CHECK(options.relayClean == (mask != 0));
    if (options.relayClean) FUZZ_CHECK(line.find("/Relais(") != std::string_view::npos);
    FUZZ_CHECK(options.DevFilter == after(line, "/DEV="));
    FUZZ_CHECK(options.IdFilter == after(line, "/ID="));

    const std::string caption = q270::captionFor(options);
    FUZZ_CHECK(caption.rfind(q270::kWindowTitle, 0) == 0);
    std::size_t expected = q270::kWindowTitle.size();
    if (options.DevFilter) expected += std::strlen("   Dev = ") + options.DevFilter->size();
    if (options.IdFilter) expected += std::strlen("   ID = ") + options.IdFilter->size();
    FUZZ_CHECK(caption.size() == expected);

    const std::int64_t relay = q270::readRelayMask(line);
    FUZZ_CHECK(relay >= -2147483648LL && relay <= 4294967295LL);
    return 0;
}
