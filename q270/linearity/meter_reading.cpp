#include "meter_reading.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace q270 {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

// For a number that from_chars found out of range: whether its magnitude is
// below one (an underflow) rather than above. `number` has the form
// [-]digits[.digits][e[sign]digits], as from_chars accepted it.
bool magnitudeBelowOne(std::string_view number) {
    std::size_t i = number.empty() || number[0] != '-' ? 0 : 1;
    long long leadingZeros = 0, integerDigits = 0;
    bool significant = false, inFraction = false;
    for (; i < number.size() && number[i] != 'e' && number[i] != 'E'; ++i) {
        const char c = number[i];
        if (c == '.') {
            inFraction = true;
        } else if (!significant && c == '0') {
            if (inFraction) ++leadingZeros;
        } else {
            significant = true;
            if (!inFraction) ++integerDigits;
        }
    }
    long long exponent = 0;
    bool negative = false;
    if (i < number.size()) {
        ++i;
        if (i < number.size() && (number[i] == '-' || number[i] == '+'))
            negative = number[i++] == '-';
        // Far beyond any double's exponent either way: the sign alone decides.
        for (; i < number.size() && exponent < 1'000'000'000; ++i)
            exponent = exponent * 10 + (number[i] - '0');
    }
    const long long place = integerDigits > 0 ? integerDigits - 1 : -(leadingZeros + 1);
    return place + (negative ? -exponent : exponent) < 0;
}

}  // namespace

std::string ReplyForDisplay(const std::string& reply) {
    std::size_t begin = 0, end = reply.size();
    while (begin < end && isBlank(reply[begin])) ++begin;
    while (end > begin && isBlank(reply[end - 1])) --end;
    std::string shown;
    for (std::size_t i = begin; i < end && shown.size() < 40; ++i) {
        const unsigned char c = static_cast<unsigned char>(reply[i]);
        shown += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    return shown;
}

MeterReading ParseMeterReply(const std::string& reply) {
    MeterReading reading;
    std::string text(trimmed(reply));
    if (text.empty()) return reading;
    reading.fault = ReadingFault::NotANumber;
    // One decimal comma at most: the reply's first "." became it.
    const std::size_t comma = text.find(',');
    if (comma != std::string::npos) {
        if (text.find(',', comma + 1) != std::string::npos) return reading;
        text[comma] = '.';
    }
    // from_chars takes no "+"; a sign after it is no number either.
    std::size_t start = 0;
    if (text[0] == '+') {
        start = 1;
        if (text.size() > 1 && (text[1] == '+' || text[1] == '-')) return reading;
    }
    double value = 0.0;
    const char* first = text.data() + start;
    const char* last = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(first, last, value, std::chars_format::general);
    if (error == std::errc::result_out_of_range && ptr == last) {
        reading.fault = magnitudeBelowOne(std::string_view(first, std::size_t(last - first)))
                            ? ReadingFault::Underflow
                            : ReadingFault::Overload;
        return reading;
    }
    if (error != std::errc() || ptr != last || !std::isfinite(value)) return reading;
    if (std::fabs(value) >= kOverloadVolts) {
        reading.fault = ReadingFault::Overload;
        return reading;
    }
    reading.fault = ReadingFault::None;
    reading.volts = value;
    return reading;
}

}  // namespace q270
