// What a report of one archived run says, without drawing it: the unit, the
// time, the bench, the operator and the meter, the results table with the
// cells the window shows, the plot, the readings as the meter sent them, the
// uncertainty of each 10 % point, the trim decision with its prediction and,
// for a run that follows a trim decision of the same unit, that prediction
// against what this run measured.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archived_run.h"
#include "plot_model.h"
#include "results_table.h"
#include "run_facts.h"
#include "run_figures.h"

namespace q270 {

struct ReportContent {
    char decimalSeparator = '.';
    std::string title;                                       // "Linearity of Q270 ..."
    std::vector<std::pair<std::string, std::string>> facts;  // label, value
    ResultsGrid grid;
    PlotModel plot;
    bool trimmed = false;  // the plot has the trimmed curve, column 9 the trimmed errors
    std::vector<std::string> readingLines;  // step, resistor, the two replies
    double noise = 0;                       // of one reading, volts
    PerPoint<double> uLinErr{};             // untrimmed
    std::vector<std::string> decisionLines;
    std::vector<std::string> followUpLines;
};

// `earlier`: the unit's runs before this one (oldest first); the last of them
// with a trim decision is the one this run follows.
ReportContent MakeReport(const ArchivedRun& run, const std::vector<ArchivedRun>& earlier,
                         char decimalSeparator);

// The unit's runs that were started before this one (oldest first), the run
// itself left out: what a report of the run looks back on.
std::vector<ArchivedRun> RunsBefore(std::vector<ArchivedRun> unitRuns, const ArchivedRun& run);

// A fixed-point number with `decimals` places and this separator.
std::string Fixed(double value, int decimals, char decimalSeparator);

}  // namespace q270
