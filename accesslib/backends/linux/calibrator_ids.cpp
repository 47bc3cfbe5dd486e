#include "calibrator_ids.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>

#include "config_lines.h"

namespace zdx::linuxusb {

namespace {

constexpr const char* kDefaultIdFile = "/etc/zdxusbcal/usb-ids.conf";

bool parse_hex16(std::string_view text, std::uint16_t& value) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 4) return false;
    unsigned result = 0;
    for (char c : text) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        result = result * 16 + digit;
    }
    value = static_cast<std::uint16_t>(result);
    return true;
}

void report(std::FILE* messages, const char* origin, std::size_t line, std::string_view text) {
    if (messages == nullptr) return;
    // One line per entry: what is not printable in it is shown as "?".
    std::string shown(text.substr(0, 80));
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
    std::fprintf(messages,
                 "zdxusbcal: %s:%zu: not a vendor:product ID pair (vvvv:pppp): \"%s\"; ignored\n",
                 origin, line, shown.c_str());
}

}  // namespace

const std::vector<UsbId>& project_ids() {
    // The emulated Q270 and Q610 (bench and tests); real units' IDs come
    // from the site's file.
    static const std::vector<UsbId> ids = {{0x1209, 0x0270}, {0x1209, 0x0610}};
    return ids;
}

bool parse_id(std::string_view text, UsbId& id) {
    text = config::trim(text);
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return false;
    return parse_hex16(config::trim(text.substr(0, colon)), id.vendor) &&
           parse_hex16(config::trim(text.substr(colon + 1)), id.product);
}

std::vector<UsbId> parse_id_file(std::string_view text, const char* origin, std::FILE* messages) {
    std::vector<UsbId> ids;
    config::for_each_entry(text, [&](std::size_t number, std::string_view line) {
        UsbId id{};
        if (parse_id(line, id)) {
            ids.push_back(id);
        } else {
            report(messages, origin, number, line);
        }
    });
    return ids;
}

std::vector<UsbId> parse_id_list(std::string_view text, const char* origin, std::FILE* messages) {
    std::vector<UsbId> ids;
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find_first_of(", \t");
        const std::string_view entry = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (entry.empty()) continue;
        ++number;
        UsbId id{};
        if (parse_id(entry, id)) {
            ids.push_back(id);
        } else {
            report(messages, origin, number, entry);
        }
    }
    return ids;
}

std::vector<UsbId> load_calibrator_ids(std::FILE* messages) {
    std::vector<UsbId> ids = project_ids();
    const char* named = ::secure_getenv("ZDXUSBCAL_USB_IDS_FILE");
    const char* file = named != nullptr && named[0] != '\0' ? named : kDefaultIdFile;
    if (const std::optional<std::string> text = config::read_file(file)) {
        const auto added = parse_id_file(*text, file, messages);
        ids.insert(ids.end(), added.begin(), added.end());
    } else if (named != nullptr && named[0] != '\0' && messages != nullptr) {
        // Only a file the site named is missed; the default one is optional.
        std::fprintf(messages, "zdxusbcal: %s: cannot be read; no IDs added from it\n", file);
    }
    if (const char* list = ::secure_getenv("ZDXUSBCAL_USB_IDS")) {
        const auto added = parse_id_list(list, "ZDXUSBCAL_USB_IDS", messages);
        ids.insert(ids.end(), added.begin(), added.end());
    }
    return ids;
}

bool is_calibrator(const std::vector<UsbId>& ids, std::uint16_t vendor, std::uint16_t product) {
    return std::find(ids.begin(), ids.end(), UsbId{vendor, product}) != ids.end();
}

}  // namespace zdx::linuxusb
