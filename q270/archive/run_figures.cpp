#include "run_figures.h"

#include <cmath>

namespace q270 {

namespace {

constexpr std::array<const char*, kTrimChoices> kTrimShort = {"",     "2.0M", "1.0M",
                                                              "750k", "499k", "301k"};

}  // namespace

std::string TrimsText(const PerStep<std::int16_t>& shuntSel) {
    std::string text;
    for (int step = 1; step <= kStepCount; ++step) {
        const int choice = shuntSel[std::size_t(step)];
        if (choice <= 0 || choice >= kTrimChoices) continue;
        if (!text.empty()) text += ' ';
        text += "R" + std::to_string(ResistorOfStep(step)) + "=" + kTrimShort[std::size_t(choice)];
    }
    return text.empty() ? "-" : text;
}

std::optional<PerStep<std::int16_t>> DecisionOf(const RunRecord& record) {
    for (int step = 1; step <= kStepCount; ++step)
        if (record.ShuntSel[std::size_t(step)] != 0) return record.ShuntSel;
    return std::nullopt;
}

const PerStep<std::int16_t>& TrimsOf(const ArchivedRun& run) {
    if (!run.amendments.empty()) return run.amendments.back().decision.ShuntSel;
    return run.decision ? run.decision->ShuntSel : run.record.ShuntSel;
}

ResultsData ReadingsWithTrims(const RunRecord& record, const PerStep<std::int16_t>& shuntSel) {
    ResultsData data = ToResultsData(record);
    for (int step = 1; step <= kStepCount; ++step)
        data.ShuntSel[std::size_t(step)] = shuntSel[std::size_t(step)];
    return data;
}

int LargestPoint(const ArchivedRun& run) {
    int largest = 1;
    for (int j = 2; j <= kPointCount; ++j)
        if (std::fabs(run.linErr[std::size_t(j)]) > std::fabs(run.linErr[std::size_t(largest)]))
            largest = j;
    return largest;
}

RunUncertainty UncertaintyOf(const ArchivedRun& run) {
    const ResultsData readings = ToResultsData(run.record);
    RunUncertainty u;
    u.noise = ReadingNoise(readings);
    u.linErr = LinErrUncertainty(readings, false, u.noise);
    u.atLargest = u.linErr[std::size_t(LargestPoint(run))];
    if (const auto decision = CurrentDecision(run).decision)
        u.prediction = PredictTrim(ReadingsWithTrims(run.record, decision->ShuntSel), u.noise);
    return u;
}

}  // namespace q270
