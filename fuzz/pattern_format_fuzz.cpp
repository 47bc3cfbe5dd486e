// The number pattern formatter, pattern and value both fuzzed: the pattern's
// literal text stands before and after the number, a finite value is shown
// with digits (never "inf" or "nan"), within half a unit of its last decimal,
// with at least the "0" placeholders' digits and without a sign when it shows
// as zero.
#include <cmath>
#include <cstring>

#include "fuzz_support.h"
#include "pattern_format.h"

using namespace zdx::fuzz;

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    std::uint64_t bits = in.u32();
    bits |= std::uint64_t{in.u32()} << 32;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    const char separator = in.flag() ? ',' : '.';
    const std::string pattern(in.rest());
    const std::string shown = q270::formatPattern(value, pattern, separator);

    // The pattern's own parts, read independently.
    const std::size_t begin = std::min(pattern.find_first_of("0#"), pattern.size());
    std::size_t end = begin;
    while (end < pattern.size() && std::strchr("0#.", pattern[end]) != nullptr && pattern[end])
        ++end;
    const std::string prefix = pattern.substr(0, begin), suffix = pattern.substr(end);
    int integerZeros = 0, decimals = 0, decimalZeros = 0;
    bool point = false;
    for (std::size_t i = begin; i < end; ++i) {
        if (pattern[i] == '.') {
            if (point) break;
            point = true;
        } else if (!point) {
            integerZeros += pattern[i] == '0';
        } else {
            ++decimals;
            if (pattern[i] == '0') decimalZeros = decimals;
        }
    }
    FUZZ_CHECK(shown.size() >= prefix.size() + suffix.size());
    FUZZ_CHECK(shown.compare(0, prefix.size(), prefix) == 0);
    FUZZ_CHECK(shown.compare(shown.size() - suffix.size(), suffix.size(), suffix) == 0);
    if (!std::isfinite(value)) return 0;

    std::string number = shown.substr(prefix.size(), shown.size() - prefix.size() - suffix.size());
    const bool negative = !number.empty() && number[0] == '-';
    if (negative) number.erase(0, 1);
    const std::size_t at = number.find(separator);
    FUZZ_CHECK((at != std::string::npos) == point);
    const std::string integer = number.substr(0, at);
    const std::string fraction = at == std::string::npos ? "" : number.substr(at + 1);
    for (const char c : integer) FUZZ_CHECK(isDigit(c));
    for (const char c : fraction) FUZZ_CHECK(isDigit(c));
    FUZZ_CHECK(static_cast<int>(integer.size()) >= integerZeros);
    FUZZ_CHECK(static_cast<int>(fraction.size()) >= decimalZeros);
    FUZZ_CHECK(static_cast<int>(fraction.size()) <= decimals);
    const bool zero = integer.find_first_not_of('0') == std::string::npos &&
                      fraction.find_first_not_of('0') == std::string::npos;
    FUZZ_CHECK(!(negative && zero));
    FUZZ_CHECK(negative == (value < 0 && !zero));
    if (integer.size() > 1)
        FUZZ_CHECK(integer[0] != '0' || static_cast<int>(integer.size()) <= integerZeros);

    // Within half a unit of the last decimal shown (in long double, which
    // holds the difference of a double and a rounding of it exactly enough).
    const std::string plain = (integer.empty() ? "0" : integer) + "." + fraction + "0";
    const long double read = std::strtold(plain.c_str(), nullptr);
    const long double half = 0.5L * std::pow(10.0L, -decimals);
    const long double error = std::fabs(read - std::fabs(static_cast<long double>(value)));
    FUZZ_CHECK(error <= half * (1 + 1e-18L) + std::fabs(value) * 1e-18L);
    return 0;
}
