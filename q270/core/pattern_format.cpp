#include "pattern_format.h"

#include <algorithm>
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

// The exact decimal expansion of `magnitude` (finite, >= 0) cut after
// `digits` (>= 1) decimals: printf shows a double's exact value when asked for as
// many decimals as its lowest bit has, so nothing is rounded here.
std::string truncatedExpansion(double magnitude, int digits) {
    int exponent = 0;
    std::frexp(magnitude, &exponent);
    // The lowest bit of a double of this exponent is 2^(exponent - 53): that
    // many decimals, at most 1074 (the smallest subnormal), are exact.
    const int exact = std::clamp(53 - exponent, 0, 1074);
    const int shown = std::max(digits, exact);
    const int needed = std::snprintf(nullptr, 0, "%.*f", shown, magnitude);
    std::vector<char> text(static_cast<std::size_t>(needed) + 1);
    std::snprintf(text.data(), text.size(), "%.*f", shown, magnitude);
    std::string expansion(text.data());
    if (digits < shown) expansion.resize(expansion.size() - std::size_t(shown - digits));
    return expansion;
}

// `magnitude` with `decimals` decimals, rounded half away from zero on its
// exact value: the first dropped digit decides. No scaling, so no value
// overflows and none is nudged across a half.
std::string fixedDigits(double magnitude, int decimals) {
    std::string digits = truncatedExpansion(magnitude, decimals + 1);
    const bool roundUp = digits.back() >= '5';
    digits.pop_back();
    if (!digits.empty() && digits.back() == '.') digits.pop_back();
    if (roundUp) {
        std::size_t i = digits.size();
        while (i > 0) {
            --i;
            if (digits[i] == '.') continue;
            if (digits[i] != '9') {
                ++digits[i];
                return digits;
            }
            digits[i] = '0';
        }
        digits.insert(0, 1, '1');
    }
    return digits;
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
