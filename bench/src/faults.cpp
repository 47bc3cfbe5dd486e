#include "faults.h"

#include <array>
#include <utility>

namespace zdx::bench {

namespace {

const std::array<std::pair<Fault, const char*>, 14> kNames{{
    {Fault::Silent, "silent"},
    {Fault::Late, "late"},
    {Fault::Garbage, "garbage"},
    {Fault::Overlong, "overlong"},
    {Fault::NoLineFeed, "no_lf"},
    {Fault::OddDescriptor, "odd_descriptor"},
    {Fault::MismatchedDescriptor, "mismatched_descriptor"},
    {Fault::HeaderForm, "header_form"},
    {Fault::RefuseStrings, "refuse_strings"},
    {Fault::RefuseRequests, "refuse_requests"},
    {Fault::Unopenable, "unopenable"},
    {Fault::RefuseCommandPipe, "refuse_command_pipe"},
    {Fault::SlowWrite, "slow_write"},
    {Fault::ShortWrite, "short_write"},
}};

// Long enough to exceed the longest answer any command may bring back.
constexpr std::size_t kOverlongBytes = 200;

}  // namespace

std::optional<Fault> faultFromName(const std::string& name) {
    for (const auto& [fault, text] : kNames)
        if (name == text) return fault;
    return std::nullopt;
}

std::string faultName(Fault fault) {
    for (const auto& [f, text] : kNames)
        if (f == fault) return text;
    return "?";
}

std::vector<std::string> allFaultNames() {
    std::vector<std::string> names;
    for (const auto& entry : kNames) names.emplace_back(entry.second);
    return names;
}

ShapedAnswer shapeAnswer(const std::set<Fault>& faults, const std::optional<std::string>& answer) {
    ShapedAnswer shaped;
    if (!answer || faults.count(Fault::Silent)) return shaped;
    shaped.bytes = *answer;
    if (faults.count(Fault::Garbage)) shaped.bytes = "#\x7f~%\x01\r\n";
    if (faults.count(Fault::Overlong)) {
        std::string body(kOverlongBytes, '0');
        shaped.bytes = body + "\r\n";
    }
    if (faults.count(Fault::NoLineFeed)) {
        while (!shaped.bytes.empty() && shaped.bytes.back() == '\n') shaped.bytes.pop_back();
    }
    if (faults.count(Fault::Late)) shaped.delay = kLateAnswerDelay;
    return shaped;
}

}  // namespace zdx::bench
