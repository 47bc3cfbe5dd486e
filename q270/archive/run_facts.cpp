#include "run_facts.h"

#include <array>

namespace q270 {

namespace {

using Text = std::optional<std::string>;

constexpr std::array kFacts = {
    RunFact{"run_id", "/run_id", "Run ID", false,
            [](const ArchivedRun& r) -> Text { return r.runId; }},
    RunFact{"serial", "/calibrator/serial", "Unit", false,
            [](const ArchivedRun& r) -> Text { return r.record.calibratorSerial; }},
    RunFact{"calibrator_id", "/calibrator/id", "Calibrator", false,
            [](const ArchivedRun& r) -> Text { return r.record.calibratorId; }},
    RunFact{"time", "/time", "Started (UTC)", true,
            [](const ArchivedRun& r) -> Text { return r.record.time; }},
    RunFact{"bench_host", "/bench_host", "Bench", true,
            [](const ArchivedRun& r) -> Text { return r.origin.benchHost; }},
    RunFact{"operator", "/operator", "Operator", false,
            [](const ArchivedRun& r) -> Text { return r.origin.operatorLogin; }},
    RunFact{"meter_id", "/meter/id", "Meter", true,
            [](const ArchivedRun& r) -> Text { return r.record.meterId; }},
    RunFact{"program_version", "/program_version", "Program", false,
            [](const ArchivedRun& r) -> Text { return r.origin.programVersion; }},
};

}  // namespace

std::span<const RunFact> RunFacts() {
    return kFacts;
}

std::string FactText(const RunFact& fact, const ArchivedRun& run) {
    const Text text = fact.value(run);
    return text && !text->empty() ? *text : "-";
}

}  // namespace q270
