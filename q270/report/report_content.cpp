#include "report_content.h"

#include <cmath>
#include <cstdio>

namespace q270 {

namespace {

std::string trimsText(const std::array<std::int16_t, kStepCount>& sel) {
    std::string text;
    for (std::size_t i = 0; i < kStepCount; ++i) {
        if (sel[i] <= 0 || sel[i] >= kTrimChoices) continue;
        std::string caption(kTrimCaptions[std::size_t(sel[i])]);
        caption.erase(0, caption.find_first_not_of(' '));
        text += (text.empty() ? "" : ", ") + std::string("R") + std::to_string(116 - int(i)) + " " +
                caption;
    }
    return text.empty() ? "none" : text;
}

std::string reply(const std::string& text) {
    std::string shown;
    for (const char c : text)
        if (c != '\r' && c != '\n') shown += c;
    return shown;
}

ResultsData withTrims(const RunRecord& record, const std::array<std::int16_t, kStepCount>& sel) {
    ResultsData data = ToResultsData(record);
    for (std::size_t i = 0; i < kStepCount; ++i) data.ShuntSel[i + 1] = sel[i];
    return data;
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
    const RunRecord& r = run.record;
    ReportContent c;
    c.decimalSeparator = sep;
    c.title = "Linearity of Q270 " + r.calibratorSerial;
    c.facts = {
        {"Unit", r.calibratorSerial + (r.calibratorId.empty() ? "" : "  (" + r.calibratorId + ")")},
        {"Started (UTC)", r.time},
        {"Bench", run.origin.benchHost.empty() ? "-" : run.origin.benchHost},
        {"Operator", run.origin.operatorLogin.empty() ? "-" : run.origin.operatorLogin},
        {"Meter", r.meterId.value_or("not recorded")},
        {"Program", run.origin.programVersion.empty() ? "-" : run.origin.programVersion},
        {"Run ID", run.runId.empty() ? "-" : run.runId}};

    // The table and the plot as the window shows them: the untrimmed run,
    // then, with a trim decision, the decision's trimmed evaluation.
    ResultsData data = ToResultsData(r);
    c.noise = ReadingNoise(data);
    c.uLinErr = LinErrUncertainty(data, false, c.noise);
    PrepareTable(c.grid);
    for (int row = 1; row <= kStepCount; ++row) {
        const std::size_t step = std::size_t(row);
        c.grid.at(row, kColReading1).text = ReadingText(r.Mw1[step].volts, sep);
        c.grid.at(row, kColReading1).alignment = kAlignRight;
        Cell& second = c.grid.at(row, kColReading2);
        second.text = ReadingText(r.Mw2[step].volts, sep);
        second.alignment = kAlignRight;
        second.fore = ReadingsDiffer(data.Mw1[step], data.Mw2[step]) ? kCellRed : kCellBlack;
    }
    CalcResults(data, false);
    ShowResultsCells(c.grid, data, false, sep);
    c.plot.PlotScale(10, data.LinErrRef.data(), kPlotReferenceColour);
    if (run.decision) {
        ResultsData decided = withTrims(r, run.decision->ShuntSel);
        CalcResults(decided, false);
        CalcResults(decided, true);
        for (int row = 1; row <= kStepCount; ++row)
            ShowTrimChoice(c.grid, row, decided.ShuntSel[std::size_t(row)]);
        ShowResultsCells(c.grid, decided, true, sep);
        c.plot.PlotCurve(10, decided.LinErr.data(), kPlotTrimmedColour);
        c.trimmed = true;
    }

    for (int step = 1; step <= kStepCount; ++step)
        c.readingLines.push_back(
            "Step " + std::to_string(step) + "  R" + std::to_string(ResistorOfStep(step)) + "  " +
            reply(r.Mw1[std::size_t(step)].text) + "  " + reply(r.Mw2[std::size_t(step)].text));

    if (run.decision) {
        const TrimDecision& d = *run.decision;
        const TrimPrediction p = PredictTrim(withTrims(r, d.ShuntSel), c.noise);
        const auto uPred = LinErrUncertainty(withTrims(r, d.ShuntSel), true, c.noise);
        c.decisionLines.push_back("Trim resistors: " + trimsText(d.ShuntSel));
        c.decisionLines.push_back("ErrSq " + Fixed(run.errSq, 1, sep) + " -> predicted " +
                                  Fixed(d.predictedErrSq, 1, sep) + " ppm^2, improvement " +
                                  Fixed(p.improvement, 1, sep) + " +- " + Fixed(p.u, 1, sep) +
                                  (p.withinNoise ? "  within noise" : ""));
        for (int j = 10; j >= 1; --j)
            c.decisionLines.push_back(
                std::to_string(j * 10) + " %: " + Fixed(run.linErr[std::size_t(j - 1)], 1, sep) +
                " -> " + Fixed(d.predictedLinErr[std::size_t(j - 1)], 1, sep) + " +- " +
                Fixed(uPred[std::size_t(j)], 2, sep) + " ppm");
    } else {
        c.decisionLines.push_back("No trim decision recorded.");
    }

    const ArchivedRun* decidedBefore = nullptr;
    for (const ArchivedRun& e : earlier)
        if (e.decision && e.record.time <= r.time && e.runId != run.runId) decidedBefore = &e;
    if (decidedBefore) {
        const FollowUp f = CompareFollowUp(
            withTrims(decidedBefore->record, decidedBefore->decision->ShuntSel), ToResultsData(r));
        c.followUpLines.push_back("Follows the trim decision of run " + decidedBefore->runId +
                                  " (" + decidedBefore->record.time + ")");
        c.followUpLines.push_back("with the trim resistors " +
                                  trimsText(decidedBefore->decision->ShuntSel));
        for (int j = 10; j >= 1; --j) {
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
    return c;
}

}  // namespace q270
