#include "spool.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

namespace q270 {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr const char* kSpoolFormat = "zdx-q270-spool";
constexpr int kSpoolVersion = 1;
constexpr std::uintmax_t kLargestSpoolFile = 1 << 20;

std::string textOf(const json& doc, const char* key, const std::string& name) {
    const auto it = doc.find(key);
    if (it == doc.end() || !it->is_string())
        throw RunFileError(name + ": " + key + ": missing or not a text");
    return it->get<std::string>();
}

// A run ID names a file: letters, digits and '-' only.
bool plainId(const std::string& id) {
    return !id.empty() && id.size() <= 64 && std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               c == '-';
    });
}

void syncFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
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
    const json doc = {{"format", kSpoolFormat},
                      {"version", kSpoolVersion},
                      {"run_id", run.runId},
                      {"bench_host", run.origin.benchHost},
                      {"operator", run.origin.operatorLogin},
                      {"program_version", run.origin.programVersion},
                      {"decision", decision},
                      {"run", json::parse(RunFileText(run.record, "run " + run.runId))}};
    return doc.dump(2, ' ', true, json::error_handler_t::replace) + "\n";
}

ArchivedRun ParseSpoolText(const std::string& text, const std::string& name) {
    json doc;
    try {
        doc = json::parse(text);
    } catch (const json::exception&) {
        throw RunFileError(name + ": not a complete JSON document");
    }
    if (!doc.is_object() || doc.value("format", "") != kSpoolFormat)
        throw RunFileError(name + ": not a spool file");
    if (!doc["version"].is_number_integer() || doc["version"].get<int>() != kSpoolVersion)
        throw RunFileError(name + ": version: not supported");
    const std::string runId = textOf(doc, "run_id", name);
    if (!plainId(runId)) throw RunFileError(name + ": run_id: not a run ID");
    const RunOrigin origin{textOf(doc, "bench_host", name), textOf(doc, "operator", name),
                           textOf(doc, "program_version", name)};
    if (!doc.contains("run")) throw RunFileError(name + ": run: missing");
    const RunRecord record = ParseRunFile(doc["run"].dump(), name + ": run");
    std::optional<PerStep<std::int16_t>> decision;
    const auto made = doc.find("decision");
    if (made != doc.end() && !made->is_null()) {
        const auto sel = made->is_object() ? made->find("ShuntSel") : made->end();
        if (sel == made->end() || !sel->is_array() || sel->size() != kStepCount)
            throw RunFileError(name + ": decision.ShuntSel: not twenty trim choices");
        PerStep<std::int16_t> choices{};
        for (int step = 1; step <= kStepCount; ++step) {
            const json& choice = (*sel)[std::size_t(step - 1)];
            // The range is checked on the stored number, before it is narrowed.
            if (!choice.is_number_integer() || choice.get<std::int64_t>() < 0 ||
                choice.get<std::int64_t>() >= kTrimChoices)
                throw RunFileError(name + ": decision.ShuntSel: not a trim choice");
            choices[std::size_t(step)] = static_cast<std::int16_t>(choice.get<std::int64_t>());
        }
        decision = choices;
    }
    return MakeArchivedRun(record, origin, runId, decision);
}

void Spool::keep(const ArchivedRun& run) const {
    if (!plainId(run.runId)) throw RunFileError("run " + run.runId + ": not a run ID");
    const std::string text = SpoolText(run);
    std::error_code error;
    fs::create_directories(folder_, error);
    const std::string path = folder_ + "/" + run.runId + ".json";
    const std::string part = path + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            fs::remove(part, error);
            throw RunFileError(folder_ + ": run " + run.runId + " cannot be kept in the spool");
        }
    }
    // On disk before it counts as kept: the archive never had it.
    syncFile(part);
    fs::rename(part, path, error);
    if (error) {
        fs::remove(part, error);
        throw RunFileError(folder_ + ": run " + run.runId + " cannot be kept in the spool");
    }
    syncFile(folder_);
}

std::vector<std::string> Spool::files() const {
    std::vector<std::pair<fs::file_time_type, std::string>> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder_, error)) {
        const fs::path& p = entry.path();
        if (entry.is_regular_file(error) && p.extension() == ".json")
            found.emplace_back(entry.last_write_time(error), p.string());
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> paths;
    for (auto& [time, path] : found) paths.push_back(std::move(path));
    return paths;
}

ArchivedRun Spool::read(const std::string& path) const {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error || size > kLargestSpoolFile) throw RunFileError(path + ": cannot be read");
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) throw RunFileError(path + ": cannot be read");
    return ParseSpoolText(text, path);
}

void Spool::setAside(const std::string& path) const {
    std::error_code error;
    fs::rename(path, path + ".refused", error);
}

void Spool::remove(const std::string& path) const {
    std::error_code error;
    fs::remove(path, error);
}

}  // namespace q270
