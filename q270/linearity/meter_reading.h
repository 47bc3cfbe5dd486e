// Turning a multimeter reply into volts. A reply arrives with its first "."
// already made "," and its line end still on; it is read with that decimal
// comma whatever the process locale.
#pragma once

#include <string>

namespace q270 {

// Overload: beyond what a reading can be (the meter's +9.9E+37, or beyond a
// double); Underflow: a number of a magnitude below the smallest double, which
// is no reading either and must not pass as 0 V.
enum class ReadingFault { None, Empty, NotANumber, Overload, Underflow };

struct MeterReading {
    ReadingFault fault = ReadingFault::Empty;
    double volts = 0.0;
};

// A meter shows an overload as +9.9E+37; anything this large is no voltage.
inline constexpr double kOverloadVolts = 9.0e37;

// The whole reply is converted, however long: a reply is a number in volts
// or refused, never read from part of its text.
MeterReading ParseMeterReply(const std::string& reply);

// The reply without its line end and surrounding blanks, for messages.
std::string ReplyForDisplay(const std::string& reply);

}  // namespace q270
