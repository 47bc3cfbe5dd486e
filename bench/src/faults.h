// Faults a device can be given, by scenario or by control command.
#pragma once

#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zdx::bench {

// Answer faults change what comes back to a line; descriptor, open and write
// faults change how a USB device meets the driver's requests.
enum class Fault {
    Silent,                // never answers
    Late,                  // answers after the library's read time-out
    Garbage,               // answers bytes that mean nothing
    Overlong,              // answers far more than any command line is long
    NoLineFeed,            // answers without the closing line feed
    OddDescriptor,         // strings 4..6: odd length byte, odd byte count
    MismatchedDescriptor,  // strings 4..6: length byte disagrees with bytes returned
    HeaderForm,            // every string descriptor behind a 12-byte header
    RefuseStrings,         // strings 4..6: request refused
    RefuseRequests,        // every device-control request refused
    Unopenable,            // the device path (and its pipes) cannot be opened
    RefuseCommandPipe,     // only the command pipe cannot be opened
    SlowWrite,             // a command pipe write returns after the library's time-out
    ShortWrite,            // a command pipe write takes all but the last byte
};

std::optional<Fault> faultFromName(const std::string& name);
std::string faultName(Fault fault);
std::vector<std::string> allFaultNames();

// How long a late answer is held back: past the 100 ms the library waits.
inline constexpr std::chrono::milliseconds kLateAnswerDelay{180};

// How long a slow write holds the call: past the 40 ms the library allows.
inline constexpr std::chrono::milliseconds kSlowWriteDelay{60};

struct ShapedAnswer {
    std::string bytes;  // empty: nothing is sent
    std::chrono::milliseconds delay{0};
};

// What a device with these faults actually sends for the answer it meant.
ShapedAnswer shapeAnswer(const std::set<Fault>& faults, const std::optional<std::string>& answer);

}  // namespace zdx::bench
