#include "options.h"

namespace q270 {

namespace {

constexpr std::int64_t kMaskMin = -2147483648LL;
constexpr std::int64_t kMaskMax = 4294967295LL;

std::optional<std::string> valueAfter(std::string_view line, std::string_view option) {
    const auto at = line.find(option);
    if (at == std::string_view::npos) return std::nullopt;
    const std::string_view rest = line.substr(at + option.size());
    return std::string(rest.substr(0, rest.find(' ')));
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::int64_t readRelayMask(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        if (isBlank(text[i])) continue;
        if (text[i] < '0' || text[i] > '9') break;
        magnitude = magnitude * 10 + (text[i] - '0');
        // Stop accumulating once no 32-bit mask can be meant; the value is refused below.
        if (magnitude > kMaskMax + 1) return 0;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    return value < kMaskMin || value > kMaskMax ? 0 : value;
}

Options parseOptions(std::string_view line) {
    Options options;
    constexpr std::string_view kRelay = "/Relais(";
    if (line.find("/ZDXEinmessen") != std::string_view::npos) {
        options.special = true;
    } else if (line.find("/Load") != std::string_view::npos) {
        options.loadMode = true;
    } else if (const auto at = line.find(kRelay); at != std::string_view::npos) {
        const auto mask =
            static_cast<std::uint32_t>(readRelayMask(line.substr(at + kRelay.size())));
        if (mask != 0) {
            options.relayClean = true;
            for (int i = 0; i < 4; ++i)
                options.RelayBytes[i] = static_cast<std::int16_t>((mask >> (8 * i)) & 0xFF);
        }
    }
    options.DevFilter = valueAfter(line, "/DEV=");
    options.IdFilter = valueAfter(line, "/ID=");
    return options;
}

std::string captionFor(const Options& options) {
    std::string caption(kWindowTitle);
    if (options.DevFilter) caption += "   Dev = " + *options.DevFilter;
    if (options.IdFilter) caption += "   ID = " + *options.IdFilter;
    return caption;
}

}  // namespace q270
