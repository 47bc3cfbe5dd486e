// A precision bench multimeter on RS-232 as its SCPI lines see it: remote and
// local operation, an error queue, DC voltage readings that take their time,
// seeded noise and drift, and the faults of a failing instrument or cable.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "seeded_random.h"

namespace zdx::bench {

enum class MeterFault {
    Silent,    // takes every line, answers none
    Late,      // every answer comes after the program's 1.5 s read time-out
    Garbage,   // every answer is bytes that are no number
    Overload,  // every reading is the overload value
};

std::optional<MeterFault> meterFaultFromName(const std::string& name);
std::string meterFaultName(MeterFault fault);

struct MeterConfig {
    std::string calibrator;  // serial number of the Q270 whose output it reads; "": open input
    std::chrono::milliseconds readingTime{300};
    std::chrono::milliseconds settleTime{50};
    double noiseUv = 0;  // standard deviation of the reading noise
    double driftUvPerS = 0;
    std::uint64_t seed = 1;
    std::set<MeterFault> faults;
    bool remote = false;
    bool plugged = true;
    int unplugAfterReadings = -1;  // the cable comes off after this many readings; -1: never
    std::optional<std::chrono::milliseconds> unplugAt, replugAt;  // after loading
};

// How long a late answer is held back from the line that asked for it.
inline constexpr std::chrono::milliseconds kMeterLateDelay{2000};
// What an overloaded input reads.
inline constexpr std::string_view kOverloadReading = "+9.90000000E+37";

class MeterModel {
  public:
    using Clock = std::chrono::steady_clock;
    // The voltage at the input terminals at a time, as an instrument sees it
    // that needs `settle` before a switched output shows.
    using Input = std::function<double(Clock::time_point t, Clock::duration settle)>;

    struct Reply {
        std::string bytes;  // CR LF included
        Clock::time_point due;
    };

    MeterModel(MeterConfig config, Clock::time_point loadedAt);

    const MeterConfig& config() const { return config_; }
    void setInput(Input input) { input_ = std::move(input); }

    // Takes one line (without its line end) that arrived at `now`. Returns
    // the reply and when it is on the line, or nothing for a line that gets
    // none. A line that reaches an unplugged meter is not received at all.
    std::optional<Reply> handleLine(std::string_view line, Clock::time_point now);

    bool remote() const { return remote_; }
    void setRemote(bool remote) { remote_ = remote; }
    // Whether the cable is on at `t`; a change takes effect just after its time.
    bool pluggedAt(Clock::time_point t) const;
    void setPlugged(bool plugged, Clock::time_point now);
    void setFault(MeterFault fault) { config_.faults.insert(fault); }
    void clearFaults() { config_.faults.clear(); }
    const std::set<MeterFault>& faults() const { return config_.faults; }

    int readings() const { return readings_; }
    std::size_t queuedErrors() const { return errors_.size(); }

  private:
    struct PlugChange {
        Clock::time_point at;
        bool plugged = true;
    };

    std::optional<std::string> execute(const std::string& line, Clock::time_point start,
                                       Clock::time_point& done);
    std::optional<std::string> measure(const std::vector<std::string>& params,
                                       Clock::time_point start, Clock::time_point& done);
    void queueError(std::string_view error);
    std::string popError();
    void schedulePlug(Clock::time_point at, bool plugged);
    bool has(MeterFault f) const { return config_.faults.count(f) != 0; }

    MeterConfig config_;
    Clock::time_point loadedAt_;
    Input input_;
    SeededRandom random_;
    bool remote_;
    std::deque<std::string> errors_;
    Clock::time_point busyUntil_;  // the end of the reading in progress
    int readings_ = 0;
    std::vector<PlugChange> plugChanges_;  // by time
};

}  // namespace zdx::bench
