#include "meter_reading.h"

#include <charconv>
#include <cmath>

namespace q270 {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
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
    std::string text = ReplyForDisplay(reply);
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
    if (error == std::errc::result_out_of_range) {
        reading.fault = ReadingFault::Overload;
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
