#include "traffic_log.h"

#include <cstdlib>

namespace zdx::bench {

namespace {

// Keeps the log from eating the machine when a test leaves a bench polling
// for hours; the oldest half goes first.
constexpr std::size_t kMaxEntries = 200000;

std::string_view cutLineEnd(std::string_view raw) {
    while (!raw.empty() && (raw.back() == '\n' || raw.back() == '\r')) raw.remove_suffix(1);
    return raw;
}

}  // namespace

TrafficLog::~TrafficLog() {
    if (file_) std::fclose(file_);
}

bool TrafficLog::openFile(const std::string& path) {
    if (file_) std::fclose(file_);
    file_ = std::fopen(path.c_str(), "a");
    return file_ != nullptr;
}

std::string TrafficLog::escape(std::string_view raw) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : raw) {
        auto b = static_cast<unsigned char>(c);
        if (b == '\\') {
            out += "\\\\";
        } else if (b < 0x20 || b >= 0x7F) {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

void TrafficLog::addLine(const std::string& device, std::string_view direction,
                         std::string_view raw) {
    addText(device, direction, escape(cutLineEnd(raw)));
}

void TrafficLog::addText(const std::string& device, std::string_view direction,
                         std::string_view text) {
    if (entries_.size() >= kMaxEntries)
        entries_.erase(entries_.begin(), entries_.begin() + kMaxEntries / 2);
    LogEntry e;
    e.seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    e.device = device;
    e.direction = std::string(direction);
    e.line = std::string(text);
    if (file_) {
        std::string text = formatEntry(e);
        std::fputs(text.c_str(), file_);
        std::fflush(file_);
    }
    entries_.push_back(std::move(e));
}

std::string TrafficLog::formatEntry(const LogEntry& e) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.6f", e.seconds);
    return std::string(seconds) + '\t' + e.device + '\t' + e.direction + '\t' + e.line + '\n';
}

std::string TrafficLog::format() const {
    std::string out;
    for (const auto& e : entries_) out += formatEntry(e);
    return out;
}

bool TrafficLog::parseEntry(std::string_view text, LogEntry& entry) {
    std::string_view fields[4];
    for (int i = 0; i < 3; ++i) {
        std::size_t tab = text.find('\t');
        if (tab == std::string_view::npos) return false;
        fields[i] = text.substr(0, tab);
        text.remove_prefix(tab + 1);
    }
    fields[3] = text;
    std::string seconds(fields[0]);
    char* end = nullptr;
    entry.seconds = std::strtod(seconds.c_str(), &end);
    if (end == seconds.c_str()) return false;
    entry.device = std::string(fields[1]);
    entry.direction = std::string(fields[2]);
    entry.line = std::string(fields[3]);
    return true;
}

}  // namespace zdx::bench
