// The command-line options of the Q270 program.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace q270 {

inline constexpr std::string_view kWindowTitle = "ZDX Calibration System for Q270, V1.18, 01/2015";

struct Options {
    bool special = false;     // "/ZDXEinmessen": the "Spez" button is shown
    bool loadMode = false;    // "/Load": the special button is the load toggle
    bool relayClean = false;  // "/Relais(" with a nonzero mask: "Clean Relais" is shown
    std::array<std::int16_t, 4> RelayBytes{};  // least significant byte first
    std::optional<std::string> DevFilter;
    std::optional<std::string> IdFilter;
};

// Searches the whole command line for each option (case-sensitive substrings).
Options parseOptions(std::string_view commandLine);

// The window caption: the title, then "   Dev = " and "   ID = " parts as given.
std::string captionFor(const Options& options);

// Reads a signed decimal integer the way the relay option does: blanks are
// skipped, reading stops at the first character that cannot continue the
// number, no number gives 0. Numbers beyond what a 32-bit mask can hold
// (below -2^31 or above 2^32 - 1) also give 0.
std::int64_t readRelayMask(std::string_view text);

}  // namespace q270
