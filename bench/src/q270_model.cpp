#include "q270_model.h"

#include <charconv>

#include "linearity_steps.h"

namespace zdx::bench {

namespace {

const std::string kRefused = answerLine("?");

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

}  // namespace

bool parseIntList(std::string_view text, int* out, int count) {
    for (int i = 0; i < count; ++i) {
        std::size_t comma = text.find(',');
        bool last = i == count - 1;
        if (last != (comma == std::string_view::npos)) return false;
        std::string_view field = trimBlanks(last ? text : text.substr(0, comma));
        if (field.empty()) return false;
        auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), out[i]);
        if (ec != std::errc() || end != field.data() + field.size()) return false;
        if (!last) text.remove_prefix(comma + 1);
    }
    return true;
}

Q270Model::Q270Model(Q270Config config, DividerConfig divider)
    : config_(std::move(config)), remote_(config_.remote), divider_(divider) {}

std::optional<std::string> Q270Model::handleLine(std::string_view line) {
    if (line == "SNR?0") return answerLine(config_.id);
    if (line == "SNR?1") return answerLine("\"" + config_.serial + "\"");
    if (line == "DCL") {
        remote_ = false;
        return answerLine("0");
    }
    if (startsWith(line, "K1A")) return settingA(line.substr(3));
    if (startsWith(line, "K1B")) return settingB(line.substr(3));
    if (startsWith(line, "K1T ")) return relays(line.substr(4));
    if (startsWith(line, "K1Y ")) return step(line.substr(4));
    return kRefused;
}

// A line the unit takes puts it into remote operation; a pending condition
// (bell, overload, ...) is reported instead of the plain "0".
std::string Q270Model::accepted() {
    remote_ = true;
    if (config_.condition >= 1 && config_.condition <= 8)
        return answerLine(std::to_string(config_.condition));
    return answerLine("0");
}

std::optional<std::string> Q270Model::settingA(std::string_view fields) {
    int v[4];
    if (!parseIntList(fields, v, 4)) return kRefused;
    const int mode = v[0], percent = v[1], range = v[2], channel = v[3];
    // Mode 128 with range 6 asks whether the unit has a sixth range.
    if (mode == 128 && range == 6) return config_.probeAccepted ? accepted() : kRefused;
    bool valid = (mode >= 0 && mode <= 5) || mode == 128;
    valid = valid && percent >= 0 && percent <= 10 && channel >= 0 && channel <= 15;
    valid = valid && range >= 1 && range <= (config_.probeAccepted ? 6 : 5);
    if (!valid) return kRefused;
    settings_.mode = mode;
    settings_.percent = percent;
    settings_.range = range;
    settings_.channel = channel;
    return accepted();
}

std::optional<std::string> Q270Model::settingB(std::string_view fields) {
    int v[4];
    if (!parseIntList(fields, v, 4)) return kRefused;
    if (v[0] < 0 || v[0] > 1 || v[3] < 0 || v[3] > 1 || v[1] < 0 || v[2] < 0) return kRefused;
    settings_.ready = v[0];
    settings_.beepFreq = v[1];
    settings_.beepLen = v[2];
    settings_.load = v[3];
    return accepted();
}

std::optional<std::string> Q270Model::relays(std::string_view fields) {
    int v[4];
    if (!parseIntList(fields, v, 4)) return kRefused;
    std::uint32_t mask = 0;
    for (int b : v) {
        if (b < 0 || b > 255) return kRefused;
        mask = (mask << 8) | static_cast<std::uint32_t>(b);
    }
    relays_ = mask;
    return accepted();
}

std::optional<std::string> Q270Model::step(std::string_view fields) {
    std::array<int, 4> v{};
    if (!parseIntList(fields, v.data(), 4)) return kRefused;
    steps_.push_back(v);
    const int number = linearityStep(v);
    output_.select(number ? stepResistor(number) : 0, Clock::now());
    return accepted();
}

}  // namespace zdx::bench
