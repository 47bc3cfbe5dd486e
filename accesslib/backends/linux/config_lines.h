// The site's small configuration files (/etc/zdxusbcal/*.conf): one entry per
// line, "#" starts a comment, blanks around an entry do not count.
#pragma once

#include <cstddef>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

namespace zdx::config {

inline std::string_view trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// Calls entry(number, text) for every line that holds an entry; lines are
// numbered from 1 as an editor shows them.
template <typename Entry>
void for_each_entry(std::string_view text, Entry&& entry) {
    std::size_t number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        line = trim(line.substr(0, line.find('#')));
        if (!line.empty()) entry(number, line);
    }
}

// The whole file, or nothing when it cannot be read.
inline std::optional<std::string> read_file(const char* path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace zdx::config
