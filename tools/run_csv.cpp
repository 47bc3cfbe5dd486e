#include "run_csv.h"

#include <cstdio>

#include "run_facts.h"
#include "run_figures.h"

namespace zdxtool {

namespace {

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

}  // namespace

std::string ArchiveCsvHeader() {
    std::string h;
    for (const q270::RunFact& fact : q270::RunFacts()) h += std::string(fact.key) + ",";
    h += "ErrSq,LinErrMax";
    for (int j = 1; j <= q270::kPointCount; ++j) h += ",LinErr_" + std::to_string(j * 10);
    h += ",trims,decision,predicted_ErrSq";
    for (int j = 1; j <= q270::kPointCount; ++j) h += ",predicted_LinErr_" + std::to_string(j * 10);
    for (int i = 1; i <= q270::kStepCount; ++i)
        h += ",Mw1_" + std::to_string(i) + ",Mw2_" + std::to_string(i);
    return h + "\r\n";
}

std::string ArchiveCsvLine(const q270::ArchivedRun& run) {
    const q270::RunRecord& r = run.record;
    std::string line;
    for (const q270::RunFact& fact : q270::RunFacts())
        line += csvField(fact.value(run).value_or("")) + ",";
    line += number(run.errSq) + "," + number(q270::LargestLinErr(run));
    for (int j = 1; j <= q270::kPointCount; ++j) line += "," + number(run.linErr[std::size_t(j)]);
    line += "," + csvField(q270::TrimsText(r.ShuntSel));
    const q270::TrimDecision* d = run.decision ? &*run.decision : nullptr;
    line += "," + (d ? csvField(q270::TrimsText(d->ShuntSel)) : std::string()) + "," +
            (d ? number(d->predictedErrSq) : std::string());
    for (int j = 1; j <= q270::kPointCount; ++j)
        line += "," + (d ? number(d->predictedLinErr[std::size_t(j)]) : std::string());
    for (int step = 1; step <= q270::kStepCount; ++step) {
        const std::size_t i = std::size_t(step);
        line += "," + number(r.Mw1[i].volts) + "," + number(r.Mw2[i].volts);
    }
    return line + "\r\n";
}

}  // namespace zdxtool
