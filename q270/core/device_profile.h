// What the identification of a Q270 tells about its front panel: number of
// channels and the full-scale values of its ranges; and the labels that show
// the selected range and signal.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "program_state.h"

namespace q270 {

using RangeValues = std::array<std::int32_t, 7>;

// 2, 5, 10, 20, 100, 1000 mV/V for range numbers 1..6 (index 0 carries no range).
RangeValues defaultRangeTable();

// The range table of a device ID: "Q270S" followed by 6, 8, 9 or 10 in the
// ID's characters 6 to 10 replaces ranges 1..5; any other ID keeps the default.
RangeValues rangeTableFor(std::string_view id);

// Highest channel number of a device ID: 15 for "TV560" devices, else 8.
int channelMaximumFor(std::string_view id);

// Full scale of SelRange (0.5 for the 555 entry, 0 for a range number outside the table).
double fullScaleOf(const RangeValues& table, int selRange);

// "Range 20 mV/V", or "Range  0.5 mV/V" for the 555 entry.
std::string rangeLabelText(const RangeValues& table, int selRange, char decimalSeparator = '.');

// "+50 % =  1.0 mV/V": sign, per cent, signal with one decimal (two when the
// table has a 0.5 mV/V range 1).
std::string percentLabelText(const ProgramState& state, bool minus, char decimalSeparator);

// Serial identification answers: double quotes removed, then an answer longer
// than 4 characters loses its last two (the line end).
std::string cleanSerialIdentification(std::string_view answer);

// The first "." becomes "," (serial answers use the decimal comma).
std::string firstPointToComma(std::string text);

}  // namespace q270
