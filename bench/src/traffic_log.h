// Every line into and out of a device, with its time, for tests and people.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace zdx::bench {

struct LogEntry {
    double seconds = 0;
    std::string device;
    std::string direction;  // "in" (program to device) or "out"
    std::string line;       // line end removed, other control bytes escaped
};

class TrafficLog {
  public:
    using Clock = std::chrono::steady_clock;

    explicit TrafficLog(Clock::time_point start = Clock::now()) : start_(start) {}
    ~TrafficLog();
    TrafficLog(const TrafficLog&) = delete;
    TrafficLog& operator=(const TrafficLog&) = delete;

    // Also appends every entry to this file (one text line per entry).
    bool openFile(const std::string& path);

    // Records raw line bytes: the line end is cut, the rest escaped.
    void addLine(const std::string& device, std::string_view direction, std::string_view raw);
    // Records a text as it is (port writes, notes).
    void addText(const std::string& device, std::string_view direction, std::string_view text);

    const std::vector<LogEntry>& entries() const { return entries_; }
    void clear() { entries_.clear(); }

    // The entries as text, one per line: seconds TAB device TAB direction TAB line.
    std::string format() const;

    static std::string escape(std::string_view raw);
    static std::string formatEntry(const LogEntry& entry);
    // Parses one line of format(); false when it is not one.
    static bool parseEntry(std::string_view text, LogEntry& entry);

  private:
    Clock::time_point start_;
    std::vector<LogEntry> entries_;
    std::FILE* file_ = nullptr;
};

}  // namespace zdx::bench
