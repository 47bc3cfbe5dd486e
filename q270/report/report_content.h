// What a calibration report says, without drawing it: the lab's document of
// one calibration of a unit. Its as-found run (with the trim decision made on
// it) and, when the unit was trimmed and measured again, its as-left run;
// the calibration statement of each (double-precision errors, U, the verdict
// against the limit by the rule), the prediction checked against the as-left
// run, each resistor's deviation, the uncertainty budget, the method, the
// signatures and the meter's replies.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archived_run.h"
#include "meter_register.h"
#include "run_facts.h"
#include "run_figures.h"
#include "statement.h"

namespace q270 {

struct ReportOptions {
    Acceptance acceptance;
    double trimTolerance = kDefaultTrimTolerance;
    // The register's entry for the run's meter, in force when the run
    // started; none when the meter is not in the register.
    std::optional<ReferenceMeter> meter;
};

// A table of text cells: a header row and rows, with relative column widths.
struct ReportTable {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
    std::vector<double> widths;
};

// One curve of the report's plot: a point's error with its U per 10 % point.
struct ReportCurve {
    std::string label;
    std::uint32_t colour = 0;  // 0x00BBGGRR
    PerPoint<double> error{};
    PerPoint<double> U{};
};

struct ReportPlot {
    std::vector<ReportCurve> curves;
    std::optional<double> limitPpm;
};

// A heading, then its paragraphs, its table and (once) the plot, in order.
struct ReportSection {
    std::string heading;
    std::vector<std::string> paragraphs;
    std::optional<ReportTable> table;
    bool plot = false;
    bool signatures = false;
    std::vector<std::string> after;  // paragraphs below the table
    bool small = false;              // the appendix's small print
};

struct ReportContent {
    char decimalSeparator = '.';
    std::string title;   // "Linearity calibration of Q270 ..."
    std::string number;  // the report number: the as-found run's ID
    std::vector<std::pair<std::string, std::string>> summary;
    std::vector<ReportSection> sections;
    ReportPlot plot;
};

// The report of a calibration: `asFound` with its trim decision and, when
// measured, the as-left run of that decision.
ReportContent MakeReport(const ArchivedRun& asFound, const std::optional<ArchivedRun>& asLeft,
                         const ReportOptions& options, char decimalSeparator);

// Why a run's conformity statement is withheld (the meter is unknown or
// past its due date, or no limit is set); empty when it is given.
std::string WithheldBecause(const ArchivedRun& run, const ReportOptions& options);

// The statement in one line, for a window or a list: the limit and rule,
// the verdict (or why there is none) and the largest error with its U.
std::string StatementLine(const Statement& statement, const std::string& withheldBecause,
                          char decimalSeparator);

// A fixed-point number with `decimals` places and this separator.
std::string Fixed(double value, int decimals, char decimalSeparator);

}  // namespace q270
