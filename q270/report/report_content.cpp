#include "report_content.h"

#include "calibration.h"

#include <cctype>
#include <cmath>
#include <cstdio>

namespace q270 {

namespace {

constexpr std::uint32_t kAsFoundColour = 0x000000C0;  // red
constexpr std::uint32_t kAsLeftColour = 0x00A00000;   // blue
constexpr std::uint32_t kPredictedColour = 0x00008000;

std::string reply(const std::string& text) {
    std::string shown;
    for (const char c : text)
        if (c != '\r' && c != '\n') shown += c;
    return shown;
}

std::string date(const std::string& utc) {
    return utc.substr(0, 10);
}

std::string verdictWords(Verdict v) {
    switch (v) {
        case Verdict::Pass:
            return "PASS: every point within the limit";
        case Verdict::ConditionalPass:
            return "CONDITIONAL PASS: within the limit, but not by its expanded uncertainty";
        case Verdict::ConditionalFail:
            return "CONDITIONAL FAIL: beyond the limit, but within its expanded uncertainty";
        case Verdict::Fail:
            return "FAIL: beyond the limit";
    }
    return "FAIL";
}

std::string ruleWords(DecisionRule rule) {
    switch (rule) {
        case DecisionRule::Simple:
            return "simple acceptance (|error| <= limit)";
        case DecisionRule::Guarded:
            return "guarded acceptance (|error| <= limit - U)";
        case DecisionRule::NonBinary:
            return "non-binary statement (pass, conditional pass, conditional fail, fail at "
                   "limit - U, limit, limit + U)";
    }
    return "";
}

// The trims of a decision by resistor and value, "R114 = 750 kOhm, R98 = 301 kOhm".
std::string trimsWords(const PerStep<std::int16_t>& sel) {
    std::string text;
    for (int step = 1; step <= kStepCount; ++step) {
        const int choice = sel[std::size_t(step)];
        if (choice <= 0 || choice >= kTrimChoices) continue;
        char value[32];
        std::snprintf(value, sizeof value, "%g kOhm", kTrimResistance[std::size_t(choice)] / 1000);
        text += (text.empty() ? "" : ", ") + std::string("R") +
                std::to_string(ResistorOfStep(step)) + " = " + value;
    }
    return text.empty() ? "none" : text;
}

class Writer {
  public:
    Writer(const ArchivedRun& found, const std::optional<ArchivedRun>& left,
           const ReportOptions& options, char sep)
        : found_(found),
          left_(left),
          options_(options),
          sep_(sep),
          foundStatement_(MakeStatement(found.record, AcceptanceOf(found, options))) {
        // Each run is judged by the limit and rule kept with it.
        options_.acceptance = AcceptanceOf(found, options);
        if (FitsTrims(found)) {
            predicted_ = MakeStatement(found.record, options_.acceptance, found.decision->ShuntSel,
                                       options.trimTolerance);
            if (left) {
                leftStatement_ = MakeStatement(left->record, AcceptanceOf(*left, options));
                check_ = CheckPrediction(*leftStatement_, *predicted_);
            }
        } else {
            // Left as found: one run is both.
            leftStatement_ = foundStatement_;
        }
        k_ = foundStatement_.k;
        if (leftStatement_) k_ = std::max(k_, leftStatement_->k);
        withheld_ = WithheldBecause(found, options_);
        if (left && withheld_.empty()) {
            ReportOptions leftOptions = options;
            leftOptions.acceptance = AcceptanceOf(*left, options);
            withheld_ = WithheldBecause(*left, leftOptions);
        }
    }

    ReportContent make() {
        c_.decimalSeparator = sep_;
        c_.title = "Linearity calibration of Q270 " + found_.record.calibratorSerial;
        c_.number = found_.runId.empty() ? "(not archived)" : found_.runId;
        summary();
        results();
        deviations();
        plot();
        budget();
        method();
        signatures();
        appendix();
        return c_;
    }

  private:
    std::string ppm(double v, int decimals = 2) const { return Fixed(v, decimals, sep_); }
    std::string uLabel() const { return "U (k = " + Fixed(k_, 2, sep_) + ")"; }

    void summary() {
        auto& s = c_.summary;
        const RunRecord& r = found_.record;
        s.emplace_back("Unit", r.calibratorSerial +
                                   (r.calibratorId.empty() ? "" : "  (" + r.calibratorId + ")"));
        s.emplace_back("As found", r.time + "  run " + c_.number);
        if (!FitsTrims(found_))
            s.emplace_back("As left", "as found: no trim resistors fitted");
        else if (left_)
            s.emplace_back("As left", left_->record.time + "  run " + left_->runId);
        else
            s.emplace_back("As left", "not measured yet (trims decided: " +
                                          trimsWords(found_.decision->ShuntSel) + ")");
        const auto orDash = [](const std::string& text) { return text.empty() ? "-" : text; };
        s.emplace_back("Bench", orDash(found_.origin.benchHost));
        s.emplace_back("Operator", orDash(found_.origin.operatorLogin));
        s.emplace_back("Reference meter", meterWords());
        const Acceptance& a = options_.acceptance;
        s.emplace_back("Limit and rule", a.limitPpm
                                             ? "|error| <= " + ppm(*a.limitPpm) +
                                                   " ppm at each 10 % point, " + ruleWords(a.rule)
                                             : "no limit set");
        s.emplace_back("Verdict as found", verdictText(foundStatement_));
        s.emplace_back("Verdict as left",
                       leftStatement_ ? verdictText(*leftStatement_) : "not measured yet");
        s.emplace_back("As found", figuresText(foundStatement_));
        if (leftStatement_ && FitsTrims(found_))
            s.emplace_back("As left", figuresText(*leftStatement_));
        if (check_)
            s.emplace_back("Prediction", check_->allAgree
                                             ? "the as-left errors agree with the prediction at "
                                               "every point"
                                             : "the as-left errors do NOT agree with the "
                                               "prediction at every point (see the results)");
    }

    std::string meterWords() const {
        const auto& id = found_.record.meterId;
        if (!id) return "not recorded for this run";
        if (!options_.meter) return *id + " (not in the meter register: no certificate on record)";
        const ReferenceMeter& m = *options_.meter;
        return m.id + ", " + m.model + " serial " + m.serial + ", certificate " + m.certificate +
               ", calibrated " + m.calibrated + ", due " + m.due;
    }

    std::string verdictText(const Statement& s) const {
        if (!withheld_.empty()) return "no conformity statement: " + withheld_;
        return s.verdict ? verdictWords(*s.verdict) : "no conformity statement";
    }

    std::string figuresText(const Statement& s) const {
        const PointStatement& p = s.points[std::size_t(s.largestPoint)];
        return "ErrSq " + ppm(s.errSq, 1) + " ppm^2; largest error " + ppm(p.linErr) + " ppm at " +
               std::to_string(s.largestPoint * 10) + " %, " + uLabel() + " = " + ppm(p.U) + " ppm";
    }

    void results() {
        ReportSection sec;
        sec.heading = "Results at the 10 % points";
        sec.paragraphs.push_back(
            "Errors in ppm of the divider ratio at each 10 % point; " + uLabel() +
            " is the expanded uncertainty of the error beside it. The 100 % point is the "
            "reference of the ratio and is not judged.");
        ReportTable t;
        t.header = {"Point",  "As found",      uLabel(), "As left",
                    uLabel(), "Predicted (U)", "Limit",  "Verdict"};
        t.widths = {0.8, 1, 1.1, 1, 1.1, 1.2, 0.8, 1.6};
        const Statement* final = leftStatement_ ? &*leftStatement_ : &foundStatement_;
        for (int j = 1; j <= kPointCount; ++j) {
            const std::size_t i = std::size_t(j);
            const PointStatement& f = foundStatement_.points[i];
            std::vector<std::string> row = {std::to_string(j * 10) + " %"};
            if (j == kPointCount) {
                row.insert(row.end(), {"0 (reference)", "", "", "", "", "", ""});
                t.rows.push_back(row);
                continue;
            }
            row.push_back(ppm(f.linErr));
            row.push_back(ppm(f.U));
            const bool measuredLeft = leftStatement_ && FitsTrims(found_);
            row.push_back(measuredLeft ? ppm(leftStatement_->points[i].linErr) : "");
            row.push_back(measuredLeft ? ppm(leftStatement_->points[i].U) : "");
            std::string predicted;
            if (predicted_) {
                predicted =
                    ppm(predicted_->points[i].linErr) + " (" + ppm(predicted_->points[i].U) + ")";
                if (check_ && !check_->agrees[i]) predicted += " !";
            }
            row.push_back(predicted);
            row.push_back(options_.acceptance.limitPpm ? ppm(*options_.acceptance.limitPpm) : "-");
            row.push_back(withheld_.empty() && final->points[i].verdict
                              ? VerdictName(*final->points[i].verdict)
                              : "-");
            t.rows.push_back(row);
        }
        sec.table = t;
        if (predicted_)
            sec.after.push_back(
                "Predicted: with its " + uLabel() + " in brackets, the errors the trim decision (" +
                trimsWords(found_.decision->ShuntSel) +
                ") predicts from the as-found readings, with the trim resistors' tolerance of " +
                ppm(options_.trimTolerance * 100, 1) + " % in their U." +
                (check_ ? std::string(" An as-left error agrees with its prediction when they "
                                      "differ by no more than k sqrt(u_left^2 + u_predicted^2); "
                                      "\"!\" marks a point where they do not.")
                        : std::string()));
        if (!withheld_.empty()) sec.after.push_back("No conformity statement: " + withheld_ + ".");
        c_.sections.push_back(sec);
    }

    void deviations() {
        ReportSection sec;
        sec.heading = "Deviation of each divider resistor";
        sec.paragraphs.push_back(
            "Each resistor's share of the divider against a twentieth of the total, ppm.");
        ReportTable t;
        const bool withLeft = leftStatement_ && FitsTrims(found_);
        t.header = {"Resistor", "As found", "As left", "Resistor", "As found", "As left"};
        t.widths = {1, 1, 1, 1, 1, 1};
        for (int row = 1; row <= kStepCount / 2; ++row) {
            std::vector<std::string> cells;
            for (const int step : {row, row + kStepCount / 2}) {
                const std::size_t i = std::size_t(step);
                cells.push_back("R" + std::to_string(ResistorOfStep(step)));
                cells.push_back(ppm(foundStatement_.devR[i], 1));
                cells.push_back(withLeft ? ppm(leftStatement_->devR[i], 1) : "");
            }
            t.rows.push_back(cells);
        }
        sec.table = t;
        // The decision shown is the one in force; an amended one says so.
        const DecisionInForce inForce = CurrentDecision(found_);
        std::string amended;
        if (inForce.amended)
            amended = " (decision amended " + inForce.amendedAt + " by " + inForce.amendedBy +
                      "; the archive keeps the earlier decisions)";
        sec.after.push_back(
            "Trim resistors " + std::string(left_ ? "fitted" : "decided") + ": " +
            (inForce.decision ? trimsWords(inForce.decision->ShuntSel) : std::string("none")) +
            amended);
        c_.sections.push_back(sec);
    }

    void plot() {
        ReportSection sec;
        sec.heading = "Errors at the 10 % points";
        sec.plot = true;
        const auto curve = [](const std::string& label, std::uint32_t colour, const Statement& s) {
            ReportCurve c{label, colour, {}, {}};
            for (int j = 1; j <= kPointCount; ++j) {
                c.error[std::size_t(j)] = s.points[std::size_t(j)].linErr;
                c.U[std::size_t(j)] = s.points[std::size_t(j)].U;
            }
            return c;
        };
        c_.plot.curves.push_back(curve("as found", kAsFoundColour, foundStatement_));
        if (predicted_) c_.plot.curves.push_back(curve("predicted", kPredictedColour, *predicted_));
        if (leftStatement_ && FitsTrims(found_))
            c_.plot.curves.push_back(curve("as left", kAsLeftColour, *leftStatement_));
        c_.plot.limitPpm = options_.acceptance.limitPpm;
        c_.sections.push_back(sec);
    }

    void budget() {
        ReportSection sec;
        sec.heading = "Uncertainty budget (as found)";
        sec.paragraphs.push_back(
            "Standard uncertainties in ppm per 10 % point. Reading noise: Type A, normal, from "
            "the two readings of each step pooled over the twenty steps (20 degrees of freedom), "
            "sigma = " +
            Fixed(foundStatement_.noise * 1e6, 3, sep_) +
            " uV per reading. Resolution: rectangular, from the last digit of the meter's "
            "replies (" +
            Fixed(foundStatement_.resolution * 1e9, 3, sep_) +
            " nV). Combined u, effective degrees of freedom by Welch-Satterthwaite, k from "
            "Student's t for 95.45 %, U = k u.");
        ReportTable t;
        t.header = {"Point", "noise", "resolution", "trims", "u", "nu_eff", "k", "U"};
        t.widths = {0.8, 1, 1, 1, 1, 1, 0.8, 1};
        for (int j = 1; j < kPointCount; ++j) {
            const PointStatement& p = foundStatement_.points[std::size_t(j)];
            const PointStatement* pr = predicted_ ? &predicted_->points[std::size_t(j)] : nullptr;
            t.rows.push_back({std::to_string(j * 10) + " %", ppm(p.budget.typeA, 3),
                              ppm(p.budget.resolution, 4),
                              pr ? ppm(pr->budget.trims, 3) + " (pred.)" : "-", ppm(p.budget.u, 3),
                              std::isfinite(p.budget.nuEff) ? ppm(p.budget.nuEff, 0) : "inf",
                              ppm(foundStatement_.k, 2), ppm(p.U, 3)});
        }
        sec.table = t;
        sec.after.push_back(
            "Not in the budget: a constant offset and a linear drift of the meter or the "
            "excitation, which the symmetric down-and-up sweep cancels to the first order, and "
            "the meter's gain error, which cancels in every ratio.");
        c_.sections.push_back(sec);
    }

    void method() {
        ReportSection sec;
        sec.heading = "Method";
        sec.paragraphs.push_back(
            "The divider of twenty nominally equal resistors (R116 to R97) is set step by step "
            "to each resistor, down and up through the 10 % segments, and the reference meter "
            "reads the voltage across it twice (MEAS:VOLT:DC? 1,1E-6). The error at each 10 % "
            "point is the difference between the nominal ratio and the measured share of the "
            "resistors below the point, in ppm, computed in double precision from the second "
            "readings as the meter sent them; ErrSq is the sum of their squares. A trim "
            "decision places trim resistors across chosen resistors; its prediction is the "
            "same evaluation with each trimmed resistor's factor R/(R + 120 Ohm).");
        c_.sections.push_back(sec);
    }

    void signatures() {
        ReportSection sec;
        sec.heading = "Signatures";
        sec.signatures = true;
        c_.sections.push_back(sec);
    }

    void appendix() {
        const auto replies = [this](const char* which, const ArchivedRun& run) {
            ReportSection sec;
            sec.heading = std::string("Appendix: the meter's replies (") + which + ", run " +
                          (run.runId.empty() ? std::string("not archived") : run.runId) + ")";
            sec.small = true;
            ReportTable t;
            t.header = {"Step", "Resistor", "First reading", "Second reading"};
            t.widths = {0.6, 0.8, 2, 2};
            for (int step = 1; step <= kStepCount; ++step)
                t.rows.push_back({std::to_string(step), "R" + std::to_string(ResistorOfStep(step)),
                                  reply(run.record.Mw1[std::size_t(step)].text),
                                  reply(run.record.Mw2[std::size_t(step)].text)});
            sec.table = t;
            c_.sections.push_back(sec);
        };
        replies("as found", found_);
        if (left_ && FitsTrims(found_)) replies("as left", *left_);
    }

    const ArchivedRun& found_;
    const std::optional<ArchivedRun>& left_;
    ReportOptions options_;
    const char sep_;
    const Statement foundStatement_;
    std::optional<Statement> predicted_, leftStatement_;
    std::optional<PredictionCheck> check_;
    double k_ = 0;
    std::string withheld_;
    ReportContent c_;
};

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

std::string WithheldBecause(const ArchivedRun& run, const ReportOptions& options) {
    const auto& id = run.record.meterId;
    if (!id) return "no reference meter was recorded for the run";
    if (!options.meter || options.meter->id != *id)
        return "the reference meter " + *id + " is not in the meter register";
    if (!options.meter->due.empty() && date(run.record.time) > options.meter->due)
        return "the reference meter " + *id + " was past its calibration due date (" +
               options.meter->due + ") when the run started";
    if (!options.acceptance.limitPpm) return "no limit is set (settings Acceptance/LinErrLimit)";
    return {};
}

std::string StatementLine(const Statement& s, const std::string& withheldBecause, char sep) {
    const PointStatement& p = s.points[std::size_t(s.largestPoint)];
    const std::string largest = "largest error " + Fixed(p.linErr, 2, sep) + " ppm at " +
                                std::to_string(s.largestPoint * 10) +
                                " %, U (k = " + Fixed(s.k, 2, sep) + ") = " + Fixed(p.U, 2, sep) +
                                " ppm";
    const Acceptance& a = s.acceptance;
    const std::string limit =
        a.limitPpm ? "Limit " + Fixed(*a.limitPpm, 2, sep) + " ppm, " + RuleName(a.rule) + ": "
                   : std::string();
    if (!withheldBecause.empty()) return limit + "no verdict (" + withheldBecause + "); " + largest;
    if (!s.verdict) return "No limit set; " + largest;
    std::string verdict = VerdictName(*s.verdict);
    for (char& c : verdict) c = char(std::toupper(static_cast<unsigned char>(c)));
    return limit + verdict + "; " + largest;
}

ReportContent MakeReport(const ArchivedRun& asFound, const std::optional<ArchivedRun>& asLeft,
                         const ReportOptions& options, char sep) {
    return Writer(asFound, asLeft, options, sep).make();
}

}  // namespace q270
