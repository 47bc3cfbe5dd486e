#include "spool.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>

#include "whole_file.h"

namespace q270 {

namespace fs = std::filesystem;
using nlohmann::json;
using Kind = SpoolFileError::Kind;

namespace {

constexpr const char* kSpoolFormat = "zdx-q270-spool";
// Version 2 added "as_left_of" and "acceptance"; a version 1 file has neither.
constexpr std::int64_t kSpoolVersion = 2;
constexpr std::uintmax_t kLargestSpoolFile = 1 << 20;
// A spool file nests four deep (file, run, steps, step); anything much
// deeper is no spool file, and is refused before the parser recurses into it.
constexpr int kDeepestNesting = 16;

[[noreturn]] void refuse(const std::string& name, const std::string& why) {
    throw SpoolFileError(Kind::Refused, name + ": " + why);
}

bool nestedTooDeeply(const std::string& text) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            if (++depth > kDeepestNesting) return true;
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return false;
}

std::string textOf(const json& doc, const char* key, const std::string& name) {
    const auto it = doc.find(key);
    if (it == doc.end() || !it->is_string())
        refuse(name, std::string(key) + ": missing or not a text");
    return it->get<std::string>();
}

std::optional<std::string> optionalTextOf(const json& doc, const char* key,
                                          const std::string& name) {
    const auto it = doc.find(key);
    if (it == doc.end() || it->is_null()) return std::nullopt;
    if (!it->is_string()) refuse(name, std::string(key) + ": not a text");
    return it->get<std::string>();
}

// The version, checked as the stored number before it is narrowed.
void checkVersion(const json& doc, const std::string& name) {
    const auto it = doc.find("version");
    if (it == doc.end() || !it->is_number_integer()) refuse(name, "version: not a whole number");
    if (it->is_number_unsigned() &&
        it->get<std::uint64_t>() > std::uint64_t(std::numeric_limits<std::int64_t>::max()))
        throw SpoolFileError(Kind::Newer, name + ": version " + it->dump() +
                                              ": written by a newer program, left for it");
    const std::int64_t version = it->get<std::int64_t>();
    if (version > kSpoolVersion)
        throw SpoolFileError(Kind::Newer, name + ": version " + std::to_string(version) +
                                              ": written by a newer program, left for it");
    if (version < 1) refuse(name, "version: not supported");
}

std::optional<PerStep<std::int16_t>> decisionOf(const json& doc, const std::string& name) {
    const auto made = doc.find("decision");
    if (made == doc.end() || made->is_null()) return std::nullopt;
    if (!made->is_object()) refuse(name, "decision: not an object");
    const auto sel = made->find("ShuntSel");
    if (sel == made->end() || !sel->is_array() || sel->size() != std::size_t(kStepCount))
        refuse(name, "decision.ShuntSel: not twenty trim choices");
    PerStep<std::int16_t> choices{};
    for (int step = 1; step <= kStepCount; ++step) {
        const json& choice = (*sel)[std::size_t(step - 1)];
        // The range is checked on the stored number, before it is narrowed.
        if (!choice.is_number_integer() || choice.get<std::int64_t>() < 0 ||
            choice.get<std::int64_t>() >= kTrimChoices ||
            (choice.is_number_unsigned() && choice.get<std::uint64_t>() >= kTrimChoices))
            refuse(name, "decision.ShuntSel: not a trim choice");
        choices[std::size_t(step)] = static_cast<std::int16_t>(choice.get<std::int64_t>());
    }
    return choices;
}

std::optional<Acceptance> acceptanceOf(const json& doc, const std::string& name) {
    const auto it = doc.find("acceptance");
    if (it == doc.end() || it->is_null()) return std::nullopt;
    if (!it->is_object()) refuse(name, "acceptance: not an object");
    Acceptance acceptance;
    const auto rule = it->find("rule");
    if (rule == it->end() || !rule->is_string()) refuse(name, "acceptance.rule: not a text");
    const auto named = RuleNamed(rule->get<std::string>());
    if (!named) refuse(name, "acceptance.rule: not simple, guarded or non-binary");
    acceptance.rule = *named;
    const auto limit = it->find("limit_ppm");
    if (limit != it->end() && !limit->is_null()) {
        if (!limit->is_number()) refuse(name, "acceptance.limit_ppm: not a number");
        acceptance.limitPpm = limit->get<double>();
    }
    return acceptance;
}

ArchivedRun runOf(const json& doc, const std::string& name) {
    if (!doc.is_object()) refuse(name, "not a spool file");
    const auto format = doc.find("format");
    if (format == doc.end() || !format->is_string() || format->get<std::string>() != kSpoolFormat)
        refuse(name, "not a spool file");
    checkVersion(doc, name);
    const std::string runId = textOf(doc, "run_id", name);
    if (!IsRunId(runId)) refuse(name, "run_id: not a run ID");
    const RunOrigin origin{textOf(doc, "bench_host", name), textOf(doc, "operator", name),
                           textOf(doc, "program_version", name)};
    const auto record = doc.find("run");
    if (record == doc.end()) refuse(name, "run: missing");
    const auto decision = decisionOf(doc, name);
    const auto asLeftOf = optionalTextOf(doc, "as_left_of", name);
    const auto acceptance = acceptanceOf(doc, name);
    try {
        ArchivedRun run =
            MakeArchivedRun(ParseRunFile(record->dump(), name + ": run"), origin, runId, decision);
        run.asLeftOf = asLeftOf;
        run.acceptance = acceptance;
        if (const std::string problem = ArchivedRunProblem(run); !problem.empty())
            refuse(name, problem);
        return run;
    } catch (const SpoolFileError&) {
        throw;
    } catch (const RunFileError& error) {
        const std::string what = error.what();
        throw SpoolFileError(Kind::Refused, what.rfind(name, 0) == 0 ? what : name + ": " + what);
    }
}

}  // namespace

std::string SpoolText(const ArchivedRun& run) {
    json decision = nullptr;
    if (run.decision) {
        json steps = json::array();  // steps 1..20
        for (int step = 1; step <= kStepCount; ++step)
            steps.push_back(run.decision->ShuntSel[std::size_t(step)]);
        decision = {{"ShuntSel", steps}};
    }
    json acceptance = nullptr;
    if (run.acceptance)
        acceptance = {{"limit_ppm",
                       run.acceptance->limitPpm ? json(*run.acceptance->limitPpm) : json(nullptr)},
                      {"rule", RuleName(run.acceptance->rule)}};
    const json doc = {{"format", kSpoolFormat},
                      {"version", kSpoolVersion},
                      {"run_id", run.runId},
                      {"bench_host", run.origin.benchHost},
                      {"operator", run.origin.operatorLogin},
                      {"program_version", run.origin.programVersion},
                      {"decision", decision},
                      {"as_left_of", run.asLeftOf ? json(*run.asLeftOf) : json(nullptr)},
                      {"acceptance", acceptance},
                      {"run", json::parse(RunFileText(run.record, "run " + run.runId))}};
    return doc.dump(2, ' ', true, json::error_handler_t::replace) + "\n";
}

ArchivedRun ParseSpoolText(const std::string& text, const std::string& name) {
    if (nestedTooDeeply(text)) refuse(name, "nested too deeply for a spool file");
    const json doc = json::parse(text, nullptr, false);
    if (doc.is_discarded()) refuse(name, "not a complete JSON document");
    try {
        return runOf(doc, name);
    } catch (const json::exception& error) {
        // Every access above is checked; this is the last line, not the plan.
        refuse(name, std::string("not a spool file (") + error.what() + ")");
    }
}

std::string Spool::keep(const ArchivedRun& run) const {
    const std::string refused = folder_ + ": run " + run.runId + " cannot be kept in the spool";
    if (!IsRunId(run.runId)) throw RunFileError(refused + " (not a run ID)");
    const QString folder = QString::fromStdString(folder_);
    const QString path =
        folder + QLatin1Char('/') + QString::fromStdString(run.runId) + QStringLiteral(".json");
    try {
        if (!QDir().mkpath(folder)) throw std::runtime_error("the folder cannot be made");
        zdx::WriteWholeFile(path, QByteArray::fromStdString(SpoolText(run)));
    } catch (const std::exception& error) {
        throw RunFileError(refused + " (" + error.what() + ")");
    }
    // The rename into the folder on disk too: only then does the file
    // survive a power cut, and the archive never had the run.
    if (!zdx::SyncFolder(folder)) throw RunFileError(refused + " (the folder cannot be synced)");
    return path.toStdString();
}

std::vector<std::string> Spool::files() const {
    std::vector<std::pair<fs::file_time_type, std::string>> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder_, error)) {
        const fs::path& p = entry.path();
        std::error_code entryError;
        if (entry.is_regular_file(entryError) && p.extension() == ".json")
            found.emplace_back(entry.last_write_time(entryError), p.string());
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> paths;
    for (auto& [time, path] : found) paths.push_back(std::move(path));
    return paths;
}

std::vector<std::string> Spool::setAsideFiles() const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder_, error)) {
        const fs::path& p = entry.path();
        if (p.extension() == ".refused" || p.extension() == ".conflict")
            names.push_back(p.filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

ArchivedRun Spool::read(const std::string& path) const {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error) throw SpoolFileError(Kind::Unreadable, path + ": cannot be read now");
    if (size > kLargestSpoolFile) refuse(path, "larger than any spool file");
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        throw SpoolFileError(Kind::Unreadable, path + ": cannot be read now (" +
                                                   file.errorString().toStdString() + ")");
    const QByteArray bytes = file.read(qint64(kLargestSpoolFile) + 1);
    if (file.error() != QFileDevice::NoError)
        throw SpoolFileError(Kind::Unreadable, path + ": cannot be read now (" +
                                                   file.errorString().toStdString() + ")");
    return ParseSpoolText(bytes.toStdString(), path);
}

bool Spool::setAside(const std::string& path, const std::string& suffix) const {
    std::error_code error;
    fs::rename(path, path + suffix, error);
    return !error;
}

bool Spool::remove(const std::string& path) const {
    std::error_code error;
    fs::remove(path, error);
    return !fs::exists(path, error) && !error;
}

}  // namespace q270
