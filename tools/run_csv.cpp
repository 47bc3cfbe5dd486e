#include "run_csv.h"

#include <charconv>

#include "run_facts.h"
#include "run_figures.h"

namespace zdxtool {

std::string CsvText(const std::string& text) {
    std::string cell = text;
    if (!cell.empty() && std::string_view("=+-@\t\r").find(cell.front()) != std::string_view::npos)
        cell.insert(cell.begin(), '\'');
    if (cell.find_first_of(",\"\r\n") == std::string::npos) return cell;
    std::string quoted = "\"";
    for (const char c : cell) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string CsvNumber(double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

std::string ArchiveCsvHeader() {
    std::string h;
    for (const q270::RunFact& fact : q270::RunFacts()) h += std::string(fact.key) + ",";
    h += "as_left_of,limit_ppm,rule,ErrSq,LinErrMax,u_LinErrMax,reading_noise_V";
    for (int j = 1; j <= q270::kPointCount; ++j) h += ",LinErr_" + std::to_string(j * 10);
    for (int j = 1; j <= q270::kPointCount; ++j) h += ",u_LinErr_" + std::to_string(j * 10);
    h += ",verdict,statement_withheld,prediction_agrees,k";
    for (int j = 1; j <= q270::kPointCount; ++j) h += ",U_LinErr_" + std::to_string(j * 10);
    for (int j = 1; j <= q270::kPointCount; ++j) h += ",verdict_" + std::to_string(j * 10);
    h += ",decision_amended,amended_at,amended_by,predicted_ErrSq";
    for (int j = 1; j <= q270::kPointCount; ++j) h += ",predicted_LinErr_" + std::to_string(j * 10);
    for (int step = 1; step <= q270::kStepCount; ++step)
        h += ",ShuntSel_R" + std::to_string(q270::ResistorOfStep(step));
    for (int i = 1; i <= q270::kStepCount; ++i)
        h += ",Mw1_" + std::to_string(i) + ",Mw2_" + std::to_string(i);
    return h + "\r\n";
}

std::string ArchiveCsvLine(const q270::ArchivedRun& run, const q270::RunVerdict& verdict) {
    const q270::RunRecord& r = run.record;
    const q270::RunUncertainty u = q270::UncertaintyOf(run);
    std::string line;
    for (const q270::RunFact& fact : q270::RunFacts())
        line += CsvText(fact.value(run).value_or("")) + ",";
    line += CsvText(run.asLeftOf.value_or("")) + ",";
    const auto& acceptance = run.acceptance;
    line += (acceptance && acceptance->limitPpm ? CsvNumber(*acceptance->limitPpm) : "") + ",";
    line += (acceptance ? CsvText(q270::RuleName(acceptance->rule)) : "") + ",";
    line += CsvNumber(run.errSq) + "," + CsvNumber(q270::LargestLinErr(run)) + "," +
            CsvNumber(u.atLargest) + "," + CsvNumber(u.noise);
    for (int j = 1; j <= q270::kPointCount; ++j)
        line += "," + CsvNumber(run.linErr[std::size_t(j)]);
    for (int j = 1; j <= q270::kPointCount; ++j) line += "," + CsvNumber(u.linErr[std::size_t(j)]);
    // The statement: U per point with k, a verdict per point only where one is given.
    const q270::Statement& st = verdict.statement;
    const bool judged = verdict.withheldBecause.empty();
    line += "," + CsvText(verdict.verdict ? q270::VerdictName(*verdict.verdict) : "") + "," +
            CsvText(verdict.withheldBecause) + "," +
            (verdict.predictionAgrees ? (*verdict.predictionAgrees ? "true" : "false") : "") + "," +
            CsvNumber(st.k);
    for (int j = 1; j <= q270::kPointCount; ++j)
        line += "," + CsvNumber(st.points[std::size_t(j)].U);
    for (int j = 1; j <= q270::kPointCount; ++j) {
        const auto& v = st.points[std::size_t(j)].verdict;
        line += "," + (judged && v ? CsvText(q270::VerdictName(*v)) : std::string());
    }
    // The decision in force: the latest amendment's, else the one archived.
    const q270::DecisionInForce inForce = q270::CurrentDecision(run);
    const q270::TrimDecision* d = inForce.decision ? &*inForce.decision : nullptr;
    line += std::string(",") + (inForce.amended ? "true" : "false") + "," +
            CsvText(inForce.amendedAt) + "," + CsvText(inForce.amendedBy) + "," +
            (d ? CsvNumber(d->predictedErrSq) : std::string());
    for (int j = 1; j <= q270::kPointCount; ++j)
        line += "," + (d ? CsvNumber(d->predictedLinErr[std::size_t(j)]) : std::string());
    for (int step = 1; step <= q270::kStepCount; ++step)
        line += "," + (d ? std::to_string(d->ShuntSel[std::size_t(step)]) : std::string());
    for (int step = 1; step <= q270::kStepCount; ++step) {
        const std::size_t i = std::size_t(step);
        line += "," + CsvNumber(r.Mw1[i].volts) + "," + CsvNumber(r.Mw2[i].volts);
    }
    return line + "\r\n";
}

}  // namespace zdxtool
