// The USB vendor/product IDs that are calibrators. Real units carry their
// maker's IDs, which a site enters once in its configuration file (the same
// file from which zdx-calibrator-rules writes their udev rule); the built-in
// pair is only what the virtual bench's and the test suites' emulated
// calibrators carry, not IDs registered to the calibrators.
//
//   file  /etc/zdxusbcal/usb-ids.conf, or the file ZDXUSBCAL_USB_IDS_FILE
//         names: one "vvvv:pppp" pair (hexadecimal) per line; "#" starts a
//         comment; blank lines are ignored.
//   env   ZDXUSBCAL_USB_IDS: pairs separated by commas or blanks.
// A malformed entry is reported on standard error and ignored.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

namespace zdx::linuxusb {

struct UsbId {
    std::uint16_t vendor;
    std::uint16_t product;
    bool operator==(const UsbId&) const = default;
};

// The built-in pair of the emulated calibrators: 1209:0270 (Q270) and
// 1209:0610 (Q610).
const std::vector<UsbId>& project_ids();

// Parses one "vvvv:pppp" pair (an optional "0x" before each half).
bool parse_id(std::string_view text, UsbId& id);

// Parses a configuration file's text; each malformed line is reported on
// `messages` with `origin` and its line number, and skipped.
std::vector<UsbId> parse_id_file(std::string_view text, const char* origin, std::FILE* messages);

// Parses the environment variable's value the same way.
std::vector<UsbId> parse_id_list(std::string_view text, const char* origin, std::FILE* messages);

// The complete list of this process: built-in, file and environment, read
// from the configuration once, when the setup library is bound.
std::vector<UsbId> load_calibrator_ids(std::FILE* messages);

bool is_calibrator(const std::vector<UsbId>& ids, std::uint16_t vendor, std::uint16_t product);

}  // namespace zdx::linuxusb
