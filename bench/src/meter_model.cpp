#include "meter_model.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <utility>

#include "scpi_line.h"

namespace zdx::bench {

namespace {

const std::array<std::pair<MeterFault, const char*>, 4> kFaultNames{{
    {MeterFault::Silent, "silent"},
    {MeterFault::Late, "late"},
    {MeterFault::Garbage, "garbage"},
    {MeterFault::Overload, "overload"},
}};

constexpr std::string_view kNoError = "+0,\"No error\"";
constexpr std::string_view kUndefinedHeader = "-113,\"Undefined header\"";
constexpr std::string_view kParameterNotAllowed = "-108,\"Parameter not allowed\"";
constexpr std::string_view kSettingsConflict = "-221,\"Settings conflict\"";
constexpr std::string_view kOutOfRange = "-222,\"Data out of range\"";
constexpr std::string_view kIllegalParameter = "-224,\"Illegal parameter value\"";
constexpr std::string_view kQueueOverflow = "-350,\"Queue overflow\"";
constexpr std::string_view kIdentity = "BENCH,DMM,0,1.0";
constexpr std::string_view kGarbage = "+#.~%\x7f";
constexpr std::size_t kErrorQueueSize = 20;

// DC voltage ranges; a reading beyond 120 % of its range is an overload.
constexpr std::array<double, 5> kRanges = {0.1, 1.0, 10.0, 100.0, 1000.0};
constexpr double kOverrange = 1.2;

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

}  // namespace

std::optional<MeterFault> meterFaultFromName(const std::string& name) {
    for (const auto& [fault, text] : kFaultNames)
        if (name == text) return fault;
    return std::nullopt;
}

std::string meterFaultName(MeterFault fault) {
    for (const auto& [f, text] : kFaultNames)
        if (f == fault) return text;
    return "?";
}

MeterModel::MeterModel(MeterConfig config, Clock::time_point loadedAt)
    : config_(std::move(config)),
      loadedAt_(loadedAt),
      random_(config_.seed),
      remote_(config_.remote),
      busyUntil_(loadedAt) {
    if (config_.unplugAt) schedulePlug(loadedAt + *config_.unplugAt, false);
    if (config_.replugAt) schedulePlug(loadedAt + *config_.replugAt, true);
}

std::optional<MeterModel::Reply> MeterModel::handleLine(std::string_view line,
                                                        Clock::time_point now) {
    if (!pluggedAt(now)) return std::nullopt;
    // One line at a time: a line that comes during a reading waits for it.
    const Clock::time_point start = std::max(now, busyUntil_);
    Clock::time_point done = start;
    std::optional<std::string> answer = execute(std::string(line), start, done);
    busyUntil_ = done;
    if (!answer || has(MeterFault::Silent)) return std::nullopt;
    Reply reply{has(MeterFault::Garbage) ? std::string(kGarbage) : *answer, done};
    reply.bytes += "\r\n";
    if (has(MeterFault::Late)) reply.due = std::max(reply.due, now + kMeterLateDelay);
    return reply;
}

std::optional<std::string> MeterModel::execute(const std::string& line, Clock::time_point start,
                                               Clock::time_point& done) {
    const ScpiLine s = parseScpiLine(line);
    if (s.header.empty()) return std::nullopt;  // an empty line is no command
    if (scpiMatches(s.header, "MEASure:VOLTage:DC?")) return measure(s.params, start, done);
    const bool known =
        s.header == "*IDN?" || s.header == "*CLS" || scpiMatches(s.header, "SYSTem:REMote") ||
        scpiMatches(s.header, "SYSTem:LOCal") || scpiMatches(s.header, "SYSTem:ERRor?");
    if (!known) {
        queueError(kUndefinedHeader);
        return std::nullopt;
    }
    if (!s.params.empty()) {
        queueError(kParameterNotAllowed);
        return std::nullopt;
    }
    if (s.header == "*IDN?") return std::string(kIdentity);
    if (s.header == "*CLS") {
        errors_.clear();
    } else if (scpiMatches(s.header, "SYSTem:REMote")) {
        remote_ = true;
    } else if (scpiMatches(s.header, "SYSTem:LOCal")) {
        remote_ = false;
    } else {
        return popError();
    }
    return std::nullopt;
}

std::optional<std::string> MeterModel::measure(const std::vector<std::string>& params,
                                               Clock::time_point start, Clock::time_point& done) {
    // Over RS-232 the meter measures only under remote control.
    if (!remote_) {
        queueError(kSettingsConflict);
        return std::nullopt;
    }
    if (params.size() > 2) {
        queueError(kParameterNotAllowed);
        return std::nullopt;
    }
    double range = kRanges.back();  // autorange: overload only beyond the largest range
    const std::string rangeParam = params.empty() ? std::string() : upper(params[0]);
    if (rangeParam == "MIN") {
        range = kRanges.front();
    } else if (!rangeParam.empty() && rangeParam != "MAX" && rangeParam != "DEF" &&
               rangeParam != "AUTO") {
        const auto v = scpiNumber(rangeParam);
        if (!v) {
            queueError(kIllegalParameter);
            return std::nullopt;
        }
        auto it = std::find_if(kRanges.begin(), kRanges.end(),
                               [&](double r) { return std::fabs(*v) <= r; });
        if (it == kRanges.end()) {
            queueError(kOutOfRange);
            return std::nullopt;
        }
        range = *it;
    }
    if (params.size() == 2) {
        const std::string res = upper(params[1]);
        const auto v = scpiNumber(res);
        if (!(res == "MIN" || res == "MAX" || res == "DEF" || (v && *v > 0))) {
            queueError(kIllegalParameter);
            return std::nullopt;
        }
    }

    done = start + config_.readingTime;
    ++readings_;
    if (readings_ == config_.unplugAfterReadings) schedulePlug(done, false);

    // The input is sampled when the reading starts.
    double volts = input_ ? input_(start, config_.settleTime) : 0.0;
    const double seconds = std::chrono::duration<double>(start - loadedAt_).count();
    volts += config_.driftUvPerS * 1e-6 * seconds;
    if (config_.noiseUv > 0) volts += config_.noiseUv * 1e-6 * random_.gaussian();
    if (has(MeterFault::Overload) || std::fabs(volts) > kOverrange * range)
        return std::string(kOverloadReading);
    char text[32];
    std::snprintf(text, sizeof text, "%+.8E", volts);
    return std::string(text);
}

void MeterModel::queueError(std::string_view error) {
    if (errors_.size() < kErrorQueueSize)
        errors_.emplace_back(error);
    else
        errors_.back() = kQueueOverflow;
}

std::string MeterModel::popError() {
    if (errors_.empty()) return std::string(kNoError);
    std::string e = std::move(errors_.front());
    errors_.pop_front();
    return e;
}

bool MeterModel::pluggedAt(Clock::time_point t) const {
    bool plugged = config_.plugged;
    for (const PlugChange& c : plugChanges_) {
        if (c.at >= t) break;
        plugged = c.plugged;
    }
    return plugged;
}

void MeterModel::setPlugged(bool plugged, Clock::time_point now) {
    schedulePlug(now, plugged);
}

void MeterModel::schedulePlug(Clock::time_point at, bool plugged) {
    auto it = std::upper_bound(plugChanges_.begin(), plugChanges_.end(), at,
                               [](Clock::time_point t, const PlugChange& c) { return t < c.at; });
    plugChanges_.insert(it, {at, plugged});
}

}  // namespace zdx::bench
