#include "report_content.h"

#include <cmath>
#include <cstdio>

namespace q270 {

namespace {

std::string reply(const std::string& text) {
    std::string shown;
    for (const char c : text)
        if (c != '\r' && c != '\n') shown += c;
    return shown;
}

void addFacts(ReportContent& c, const ArchivedRun& run) {
    for (const RunFact& fact : RunFacts()) c.facts.emplace_back(fact.label, FactText(fact, run));
}

// The table and the plot as the window shows them: the untrimmed run, then,
// with a trim decision, the decision's trimmed evaluation.
void addTableAndPlot(ReportContent& c, const ArchivedRun& run) {
    const RunRecord& r = run.record;
    const char sep = c.decimalSeparator;
    ResultsData data = ToResultsData(r);
    PrepareTable(c.grid);
    for (int step = 1; step <= kStepCount; ++step) {
        const std::size_t i = std::size_t(step);
        c.grid.at(step, kColReading1).text = ReadingText(r.Mw1[i].volts, sep);
        c.grid.at(step, kColReading1).alignment = kAlignRight;
        Cell& second = c.grid.at(step, kColReading2);
        second.text = ReadingText(r.Mw2[i].volts, sep);
        second.alignment = kAlignRight;
        second.fore = ReadingsDiffer(data.Mw1[i], data.Mw2[i]) ? kCellRed : kCellBlack;
    }
    CalcResults(data, false);
    ShowResultsCells(c.grid, data, false, sep);
    c.plot.PlotScale(10, data.LinErrRef.data(), kPlotReferenceColour);
    if (!run.decision) return;
    ResultsData decided = ReadingsWithTrims(r, run.decision->ShuntSel);
    CalcResults(decided, false);
    CalcResults(decided, true);
    for (int step = 1; step <= kStepCount; ++step)
        ShowTrimChoice(c.grid, step, decided.ShuntSel[std::size_t(step)]);
    ShowResultsCells(c.grid, decided, true, sep);
    c.plot.PlotCurve(10, decided.LinErr.data(), kPlotTrimmedColour);
    c.trimmed = true;
}

void addDecision(ReportContent& c, const ArchivedRun& run, const RunUncertainty& u) {
    const char sep = c.decimalSeparator;
    if (!run.decision) {
        c.decisionLines.push_back("No trim decision recorded.");
        return;
    }
    const TrimDecision& d = *run.decision;
    const TrimPrediction& p = u.prediction;
    const auto uPred = LinErrUncertainty(ReadingsWithTrims(run.record, d.ShuntSel), true, u.noise);
    c.decisionLines.push_back("Trim resistors: " + TrimsText(d.ShuntSel));
    c.decisionLines.push_back("ErrSq " + Fixed(run.errSq, 1, sep) + " -> predicted " +
                              Fixed(d.predictedErrSq, 1, sep) + " ppm^2, improvement " +
                              Fixed(p.improvement, 1, sep) + " +- " + Fixed(p.u, 1, sep) +
                              (p.withinNoise ? "  within noise" : ""));
    for (int j = kPointCount; j >= 1; --j) {
        const std::size_t point = std::size_t(j);
        c.decisionLines.push_back(std::to_string(j * 10) +
                                  " %: " + Fixed(run.linErr[point], 1, sep) + " -> " +
                                  Fixed(d.predictedLinErr[point], 1, sep) + " +- " +
                                  Fixed(uPred[point], 2, sep) + " ppm");
    }
}

// The prediction of the last trim decision before this run against what this
// run measured.
void addFollowUp(ReportContent& c, const ArchivedRun& run,
                 const std::vector<ArchivedRun>& earlier) {
    const char sep = c.decimalSeparator;
    const ArchivedRun* decidedBefore = nullptr;
    for (const ArchivedRun& e : earlier)
        if (e.decision && e.record.time <= run.record.time && e.runId != run.runId)
            decidedBefore = &e;
    if (!decidedBefore) return;
    const PerStep<std::int16_t>& trims = decidedBefore->decision->ShuntSel;
    const FollowUp f =
        CompareFollowUp(ReadingsWithTrims(decidedBefore->record, trims), ToResultsData(run.record));
    c.followUpLines.push_back("Follows the trim decision of run " + decidedBefore->runId + " (" +
                              decidedBefore->record.time + ")");
    c.followUpLines.push_back("with the trim resistors " + TrimsText(trims));
    for (int j = kPointCount; j >= 1; --j) {
        const FollowUpPoint& p = f.points[std::size_t(j)];
        c.followUpLines.push_back(std::to_string(j * 10) + " %: predicted " +
                                  Fixed(p.predicted, 1, sep) + ", measured " +
                                  Fixed(p.measured, 1, sep) + " +- " + Fixed(2 * p.u, 2, sep) +
                                  " ppm" + (p.agrees ? "" : "  DISAGREES"));
    }
    c.followUpLines.push_back(f.agrees ? "The measured errors agree with the prediction "
                                         "within their uncertainty."
                                       : "The measured errors do not agree with the "
                                         "prediction within their uncertainty.");
}

}  // namespace

std::string Fixed(double value, int decimals, char decimalSeparator) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string s = text;
    // -0.0 reads as 0.0.
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
    for (char& c : s)
        if (c == '.') c = decimalSeparator;
    return s;
}

ReportContent MakeReport(const ArchivedRun& run, const std::vector<ArchivedRun>& earlier,
                         char sep) {
    ReportContent c;
    c.decimalSeparator = sep;
    c.title = "Linearity of Q270 " + run.record.calibratorSerial;
    addFacts(c, run);
    addTableAndPlot(c, run);
    for (int step = 1; step <= kStepCount; ++step) {
        const std::size_t i = std::size_t(step);
        c.readingLines.push_back(
            "Step " + std::to_string(step) + "  R" + std::to_string(ResistorOfStep(step)) + "  " +
            reply(run.record.Mw1[i].text) + "  " + reply(run.record.Mw2[i].text));
    }
    const RunUncertainty u = UncertaintyOf(run);
    c.noise = u.noise;
    c.uLinErr = u.linErr;
    addDecision(c, run, u);
    addFollowUp(c, run, earlier);
    return c;
}

std::vector<ArchivedRun> RunsBefore(std::vector<ArchivedRun> unitRuns, const ArchivedRun& run) {
    std::vector<ArchivedRun> earlier;
    for (ArchivedRun& e : unitRuns)
        if (e.record.time < run.record.time && e.runId != run.runId)
            earlier.push_back(std::move(e));
    return earlier;
}

}  // namespace q270
