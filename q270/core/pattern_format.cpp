#include "pattern_format.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace q270 {

namespace {

bool isPlaceholder(char c) {
    return c == '0' || c == '#' || c == '.';
}

struct Pattern {
    std::string_view prefix;
    std::string_view suffix;
    int integerZeros = 0;   // digits always shown before the separator
    int decimalZeros = 0;   // digits always shown after it
    int decimalDigits = 0;  // all decimal placeholders
    bool hasSeparator = false;
};

Pattern parse(std::string_view pattern) {
    Pattern p;
    std::size_t begin = 0;
    while (begin < pattern.size() && pattern[begin] != '0' && pattern[begin] != '#') ++begin;
    std::size_t end = begin;
    while (end < pattern.size() && isPlaceholder(pattern[end])) ++end;
    p.prefix = pattern.substr(0, begin);
    p.suffix = pattern.substr(end);
    for (std::size_t i = begin; i < end; ++i) {
        const char c = pattern[i];
        if (c == '.') {
            if (p.hasSeparator) break;  // a second separator ends the number part
            p.hasSeparator = true;
        } else if (!p.hasSeparator) {
            if (c == '0') ++p.integerZeros;
        } else {
            ++p.decimalDigits;
            // A "0" after "#" decimals still forces every digit up to it.
            if (c == '0') p.decimalZeros = p.decimalDigits;
        }
    }
    return p;
}

std::string fixedDigits(double magnitude, int decimals) {
    // Adding half a unit of the last place and truncating rounds halves away from zero.
    const double scale = std::pow(10.0, decimals);
    const double rounded = std::floor(magnitude * scale + 0.5) / scale;
    const int needed = std::snprintf(nullptr, 0, "%.*f", decimals, rounded);
    std::vector<char> text(static_cast<std::size_t>(needed) + 1);
    std::snprintf(text.data(), text.size(), "%.*f", decimals, rounded);
    return std::string(text.data());
}

}  // namespace

std::string formatPattern(double value, std::string_view pattern, char decimalSeparator) {
    const Pattern p = parse(pattern);
    if (!std::isfinite(value)) {
        return std::string(p.prefix) +
               (std::isnan(value) ? "NaN"
                : value < 0       ? "-Inf"
                                  : "Inf") +
               std::string(p.suffix);
    }
    const std::string digits = fixedDigits(std::fabs(value), p.decimalDigits);
    const auto point = digits.find('.');
    std::string integer = digits.substr(0, point);
    std::string fraction = point == std::string::npos ? "" : digits.substr(point + 1);

    const bool isZero = integer.find_first_not_of('0') == std::string::npos &&
                        fraction.find_first_not_of('0') == std::string::npos;
    const auto firstSignificant = integer.find_first_not_of('0');
    integer = firstSignificant == std::string::npos ? "" : integer.substr(firstSignificant);
    if (static_cast<int>(integer.size()) < p.integerZeros)
        integer.insert(0, static_cast<std::size_t>(p.integerZeros) - integer.size(), '0');
    while (static_cast<int>(fraction.size()) > p.decimalZeros && fraction.back() == '0')
        fraction.pop_back();

    std::string out(p.prefix);
    if (value < 0 && !isZero) out += '-';
    out += integer;
    if (p.hasSeparator) out += decimalSeparator;
    out += fraction;
    out += p.suffix;
    return out;
}

std::string formatStr(long long value) {
    return value < 0 ? std::to_string(value) : " " + std::to_string(value);
}

}  // namespace q270
