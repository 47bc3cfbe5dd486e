#include "device_profile.h"

#include "pattern_format.h"

namespace q270 {

RangeValues defaultRangeTable() {
    return {0, 2, 5, 10, 20, 100, 1000};
}

RangeValues rangeTableFor(std::string_view id) {
    RangeValues table = defaultRangeTable();
    if (id.substr(0, 5) != "Q270S") return table;
    const std::string_view digits = id.size() > 5 ? id.substr(5, 5) : std::string_view{};
    int n = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') break;
        n = n * 10 + (c - '0');
    }
    std::array<std::int32_t, 5> first{};
    switch (n) {
        case 6:
            first = {1, 50, 200, 500, 1000};
            break;
        case 8:
            first = {1, 2, 5, 10, 20};
            break;
        case 9:
            first = {kRangeHalfMilliVolt, 1, 2, 5, 10};
            break;
        case 10:
            first = {1, 2, 5, 10, 100};
            break;
        default:
            return table;
    }
    for (std::size_t i = 0; i < first.size(); ++i) table[i + 1] = first[i];
    return table;
}

int channelMaximumFor(std::string_view id) {
    return id.substr(0, 5) == "TV560" ? 15 : 8;
}

double fullScaleOf(const RangeValues& table, int selRange) {
    if (selRange < 1 || selRange >= static_cast<int>(table.size())) return 0.0;
    const int value = table[static_cast<std::size_t>(selRange)];
    return value == kRangeHalfMilliVolt ? 0.5 : static_cast<double>(value);
}

std::string rangeLabelText(const RangeValues& table, int selRange, char decimalSeparator) {
    if (selRange >= 1 && selRange < static_cast<int>(table.size()) &&
        table[static_cast<std::size_t>(selRange)] == kRangeHalfMilliVolt)
        return "Range " + formatPattern(0.5, " #0.0", decimalSeparator) + " mV/V";
    return "Range " + std::to_string(static_cast<long long>(fullScaleOf(table, selRange))) +
           " mV/V";
}

std::string percentLabelText(const ProgramState& state, bool minus, char decimalSeparator) {
    double signal = state.SelPercent * state.FullScale / 10.0;
    if (minus) signal = -signal;
    const std::string_view pattern =
        state.RangeTable[1] == kRangeHalfMilliVolt ? " ###0.00" : " ###0.0";
    return std::string(minus ? "-" : "+") + std::to_string(state.SelPercent * 10) +
           " % = " + formatPattern(signal, pattern, decimalSeparator) + " mV/V";
}

std::string cleanSerialIdentification(std::string_view answer) {
    std::string text;
    for (const char c : answer)
        if (c != '"') text += c;
    if (text.size() > 4) text.resize(text.size() - 2);
    return text;
}

std::string firstPointToComma(std::string text) {
    if (const auto at = text.find('.'); at != std::string::npos) text[at] = ',';
    return text;
}

}  // namespace q270
