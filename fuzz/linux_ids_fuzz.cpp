// The Linux backend's ID lists (the configuration file and the environment
// variable): every entry is either one vendor:product pair, which reads back
// the same when written out again, or reported once and skipped.
#include <cstdio>

#include "calibrator_ids.h"
#include "fuzz_support.h"

using namespace zdx::fuzz;
using zdx::linuxusb::UsbId;

namespace {

std::string_view trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// The entries a text holds, split independently of the parser.
std::vector<std::string_view> entries(std::string_view text, bool file) {
    std::vector<std::string_view> found;
    const char* separators = file ? "\n" : ", \t";
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find_first_of(separators, start), text.size());
        std::string_view entry = text.substr(start, end - start);
        if (file) entry = trim(entry.substr(0, entry.find('#')));
        if (!entry.empty()) found.push_back(entry);
        start = end + 1;
    }
    return found;
}

std::size_t lines(const char* text, std::size_t size) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < size; ++i) n += text[i] == '\n';
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const bool file = in.flag();
    const std::string_view text = in.rest();
    char* report = nullptr;
    std::size_t reportSize = 0;
    std::FILE* messages = open_memstream(&report, &reportSize);
    FUZZ_CHECK(messages != nullptr);
    const std::vector<UsbId> ids = file ? zdx::linuxusb::parse_id_file(text, "fuzz.conf", messages)
                                        : zdx::linuxusb::parse_id_list(text, "FUZZ_IDS", messages);
    std::fclose(messages);
    const std::size_t reported = lines(report, reportSize);
    std::free(report);
    FUZZ_CHECK(ids.size() + reported == entries(text, file).size());
    for (const UsbId& id : ids) {
        char written[16];
        std::snprintf(written, sizeof written, "%04x:%04X", id.vendor, id.product);
        UsbId back{};
        FUZZ_CHECK(zdx::linuxusb::parse_id(written, back) && back == id);
        FUZZ_CHECK(zdx::linuxusb::is_calibrator(ids, id.vendor, id.product));
    }
    return 0;
}
