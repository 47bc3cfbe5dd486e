#include "run_file.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "meter_reading.h"
#include "whole_file.h"

namespace q270 {

using nlohmann::json;

namespace {

// A run file is a few kilobytes; a file far larger is not one, and is not read whole.
constexpr std::uintmax_t kLargestFile = 1 << 20;
// A run file nests three levels deep; deeper input is refused before it is parsed.
constexpr int kDeepestNesting = 8;
// The reply reader cuts a line here; a longer text was never a reply.
constexpr std::size_t kLongestText = 4096;
constexpr std::size_t kLongestName = 254;

[[noreturn]] void fail(const std::string& name, const std::string& field,
                       const std::string& problem) {
    throw RunFileError(name + ": " + (field.empty() ? "" : field + ": ") + problem);
}

bool nestedTooDeep(std::string_view text) {
    int depth = 0;
    bool inString = false, escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"') inString = true;
        if (c == '[' || c == '{') {
            if (++depth > kDeepestNesting) return true;
        }
        if (c == ']' || c == '}') --depth;
    }
    return false;
}

void onlyKeys(const json& object, std::initializer_list<const char*> keys, const std::string& name,
              const std::string& where) {
    const std::set<std::string> allowed(keys.begin(), keys.end());
    for (auto it = object.begin(); it != object.end(); ++it)
        if (!allowed.count(it.key()))
            fail(name, where.empty() ? it.key() : where + "." + it.key(), "unknown field");
}

const json& member(const json& object, const char* key, const std::string& name,
                   const std::string& field) {
    const auto it = object.find(key);
    if (it == object.end()) fail(name, field, "missing");
    return *it;
}

std::string printableText(const json& value, const std::string& name, const std::string& field,
                          std::size_t longest, bool mayBeEmpty) {
    if (!value.is_string()) fail(name, field, "must be a text");
    const std::string text = value.get<std::string>();
    if (text.empty() && !mayBeEmpty) fail(name, field, "must not be empty");
    if (text.size() > longest)
        fail(name, field, "longer than " + std::to_string(longest) + " characters");
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
            fail(name, field, "holds a character that is not printable ASCII");
    return text;
}

// YYYY-MM-DDTHH:MM:SS, an optional fraction, then Z or +hh:mm / -hh:mm.
bool isIso8601(const std::string& t) {
    auto digits = [&](std::size_t at, std::size_t n, int low, int high) {
        if (at + n > t.size()) return false;
        int v = 0;
        for (std::size_t i = at; i < at + n; ++i) {
            if (t[i] < '0' || t[i] > '9') return false;
            v = v * 10 + (t[i] - '0');
        }
        return v >= low && v <= high;
    };
    // A time that never was (31 February, a leap second) is refused here, as
    // the archive would refuse it.
    if (!digits(0, 4, 0, 9999) || t.size() < 20 || t[4] != '-' || !digits(5, 2, 1, 12) ||
        t[7] != '-' || !digits(8, 2, 1, 31) || t[10] != 'T' || !digits(11, 2, 0, 23) ||
        t[13] != ':' || !digits(14, 2, 0, 59) || t[16] != ':' || !digits(17, 2, 0, 59))
        return false;
    const std::chrono::year_month_day day{std::chrono::year{std::stoi(t.substr(0, 4))},
                                          std::chrono::month{unsigned(std::stoi(t.substr(5, 2)))},
                                          std::chrono::day{unsigned(std::stoi(t.substr(8, 2)))}};
    if (!day.ok()) return false;
    std::size_t at = 19;
    if (t[at] == '.') {
        const std::size_t start = ++at;
        while (at < t.size() && t[at] >= '0' && t[at] <= '9') ++at;
        if (at == start) return false;
    }
    if (at < t.size() && t[at] == 'Z') return at + 1 == t.size();
    if (at < t.size() && (t[at] == '+' || t[at] == '-'))
        return at + 6 == t.size() && digits(at + 1, 2, 0, 23) && t[at + 3] == ':' &&
               digits(at + 4, 2, 0, 59);
    return false;
}

void checkReading(const RunReading& reading, const std::string& name, const std::string& field) {
    if (!std::isfinite(reading.volts)) fail(name, field, "not a finite number");
    if (reading.volts < kLowestReadingVolts || reading.volts > kHighestReadingVolts) {
        char range[96];
        std::snprintf(range, sizeof range, "%.9g V is no divider reading (from %g to %g V)",
                      reading.volts, kLowestReadingVolts, kHighestReadingVolts);
        fail(name, field, range);
    }
    if (reading.text.size() > kLongestText) fail(name, field + "_text", "longer than a reply");
    const MeterReading parsed = ParseMeterReply(reading.text);
    if (parsed.fault != ReadingFault::None)
        fail(name, field + "_text", "\"" + ReplyForDisplay(reading.text) + "\" is no reading");
    if (parsed.volts != reading.volts)
        fail(name, field, "does not agree with its text \"" + ReplyForDisplay(reading.text) + "\"");
}

void checkRecord(const RunRecord& record, const std::string& name) {
    for (int step = 1; step <= kStepCount; ++step) {
        const std::string where = "steps[" + std::to_string(step - 1) + "].";
        checkReading(record.Mw1[step], name, where + "Mw1");
        checkReading(record.Mw2[step], name, where + "Mw2");
        if (record.ShuntSel[step] < 0 || record.ShuntSel[step] >= kTrimChoices)
            fail(name, where + "ShuntSel", "must be a whole number from 0 to 5");
    }
    if (record.calibratorSerial.empty()) fail(name, "calibrator.serial", "must not be empty");
    if (!isIso8601(record.time)) fail(name, "time", "not an ISO 8601 time");
}

RunReading readingOf(const json& step, const char* key, const std::string& name,
                     const std::string& field) {
    const json& number = member(step, key, name, field);
    if (!number.is_number()) fail(name, field, "must be a number");
    RunReading reading;
    reading.volts = number.get<double>();
    const std::string textKey = std::string(key) + "_text";
    const json& text = member(step, textKey.c_str(), name, field + "_text");
    if (!text.is_string()) fail(name, field + "_text", "must be a text");
    reading.text = text.get<std::string>();
    return reading;
}

std::string readingText(const std::string& text) {
    // Control characters are escaped by the writer; bytes beyond ASCII are not
    // kept (a reply that held them is never a reading).
    std::string ascii;
    for (const char c : text) ascii += static_cast<unsigned char>(c) < 0x80 ? c : '?';
    return ascii;
}

}  // namespace

RunRecord ParseRunFile(std::string_view text, const std::string& name) {
    if (nestedTooDeep(text)) fail(name, "", "not a run file (nested too deeply)");
    json doc;
    try {
        doc = json::parse(text.begin(), text.end());
    } catch (const json::parse_error& error) {
        fail(name, "", "not a complete JSON document (at byte " + std::to_string(error.byte) + ")");
    } catch (const json::exception&) {
        // 1e400 and the like: beyond a double, so no reading either.
        fail(name, "", "holds a number beyond the range of numbers");
    }
    if (!doc.is_object()) fail(name, "", "not a run file (no JSON object)");
    const json& format = member(doc, "format", name, "format");
    if (!format.is_string() || format.get<std::string>() != kRunFileFormat)
        fail(name, "format", std::string("must be \"") + kRunFileFormat + "\"");
    const json& version = member(doc, "version", name, "version");
    if (!version.is_number_integer() || version.get<long long>() != kRunFileVersion)
        fail(name, "version",
             version.dump() + " is not supported (this program reads version " +
                 std::to_string(kRunFileVersion) + ")");
    onlyKeys(doc, {"format", "version", "time", "calibrator", "meter", "steps"}, name, "");

    RunRecord record;
    const json& time = member(doc, "time", name, "time");
    record.time = printableText(time, name, "time", 64, false);

    const json& calibrator = member(doc, "calibrator", name, "calibrator");
    if (!calibrator.is_object()) fail(name, "calibrator", "must be an object");
    onlyKeys(calibrator, {"serial", "id"}, name, "calibrator");
    record.calibratorSerial = printableText(member(calibrator, "serial", name, "calibrator.serial"),
                                            name, "calibrator.serial", kLongestName, false);
    record.calibratorId = printableText(member(calibrator, "id", name, "calibrator.id"), name,
                                        "calibrator.id", kLongestName, true);

    const json& meter = member(doc, "meter", name, "meter");
    if (!meter.is_object()) fail(name, "meter", "must be an object");
    onlyKeys(meter, {"id"}, name, "meter");
    const json& meterId = member(meter, "id", name, "meter.id");
    if (!meterId.is_null())
        record.meterId = printableText(meterId, name, "meter.id", kLongestName, true);

    const json& steps = member(doc, "steps", name, "steps");
    if (!steps.is_array()) fail(name, "steps", "must be an array");
    if (steps.size() != kStepCount)
        fail(name, "steps",
             "holds " + std::to_string(steps.size()) + " steps, a run has " +
                 std::to_string(kStepCount));
    for (std::size_t i = 0; i < kStepCount; ++i) {
        const std::string where = "steps[" + std::to_string(i) + "]";
        const json& step = steps[i];
        if (!step.is_object()) fail(name, where, "must be an object");
        onlyKeys(step, {"step", "Mw1", "Mw1_text", "Mw2", "Mw2_text", "ShuntSel"}, name, where);
        const json& number = member(step, "step", name, where + ".step");
        if (!number.is_number_integer() || number.get<long long>() != static_cast<long long>(i + 1))
            fail(name, where + ".step", "must be " + std::to_string(i + 1));
        record.Mw1[i + 1] = readingOf(step, "Mw1", name, where + ".Mw1");
        record.Mw2[i + 1] = readingOf(step, "Mw2", name, where + ".Mw2");
        const json& shunt = member(step, "ShuntSel", name, where + ".ShuntSel");
        if (!shunt.is_number_integer() || shunt.get<long long>() < 0 ||
            shunt.get<long long>() >= kTrimChoices)
            fail(name, where + ".ShuntSel", "must be a whole number from 0 to 5");
        record.ShuntSel[i + 1] = static_cast<std::int16_t>(shunt.get<long long>());
    }
    checkRecord(record, name);
    return record;
}

RunRecord ReadRunFile(const std::string& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error) fail(path, "", "cannot be read (" + error.message() + ")");
    if (size > kLargestFile) fail(path, "", "too large for a run file");
    std::ifstream in(path, std::ios::binary);
    if (!in) fail(path, "", "cannot be opened");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) fail(path, "", "cannot be read");
    return ParseRunFile(text, path);
}

std::string RunFileText(const RunRecord& record, const std::string& name) {
    checkRecord(record, name);
    nlohmann::ordered_json steps = nlohmann::ordered_json::array();
    for (int step = 1; step <= kStepCount; ++step) {
        steps.push_back({{"step", step},
                         {"Mw1", record.Mw1[step].volts},
                         {"Mw1_text", readingText(record.Mw1[step].text)},
                         {"Mw2", record.Mw2[step].volts},
                         {"Mw2_text", readingText(record.Mw2[step].text)},
                         {"ShuntSel", record.ShuntSel[step]}});
    }
    const nlohmann::ordered_json doc = {
        {"format", kRunFileFormat},
        {"version", kRunFileVersion},
        {"time", record.time},
        {"calibrator", {{"serial", record.calibratorSerial}, {"id", record.calibratorId}}},
        {"meter",
         {{"id", record.meterId ? nlohmann::ordered_json(*record.meterId)
                                : nlohmann::ordered_json(nullptr)}}},
        {"steps", steps}};
    return doc.dump(2, ' ', true, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

void WriteRunFile(const std::string& path, const RunRecord& record) {
    const std::string text = RunFileText(record, path);
    try {
        zdx::WriteWholeFile(QString::fromStdString(path), QByteArray::fromStdString(text));
    } catch (const std::runtime_error&) {
        fail(path, "", "cannot be written");
    }
}

RunRecord MakeRunRecord(const std::vector<std::string>& replies, const ResultsData& data) {
    if (replies.size() != 2 * kStepCount)
        throw RunFileError("the run holds " + std::to_string(replies.size()) +
                           " readings, a complete run " + std::to_string(2 * kStepCount));
    RunRecord record;
    for (int step = 1; step <= kStepCount; ++step) {
        for (int k = 0; k < 2; ++k) {
            RunReading& reading = k == 0 ? record.Mw1[step] : record.Mw2[step];
            reading.text = replies[std::size_t(2 * (step - 1) + k)];
            const MeterReading parsed = ParseMeterReply(reading.text);
            if (parsed.fault != ReadingFault::None)
                throw RunFileError("reading " + std::to_string(k + 1) + " of step " +
                                   std::to_string(step) + " is no number");
            reading.volts = parsed.volts;
        }
        record.ShuntSel[step] = data.ShuntSel[step];
    }
    return record;
}

RunRecord RecordOfRun(const ReplyRecorder& replies, const ResultsData& data,
                      const std::string& serial, const std::string& id) {
    RunRecord record = MakeRunRecord(replies.replies(), data);
    record.calibratorSerial = serial;
    record.calibratorId = id;
    record.time = replies.startedAt();
    return record;
}

ResultsData ToResultsData(const RunRecord& record) {
    ResultsData data;
    for (int step = 1; step <= kStepCount; ++step) {
        data.Mw1[step] = static_cast<float>(record.Mw1[step].volts);
        data.Mw2[step] = static_cast<float>(record.Mw2[step].volts);
        data.MwDiff[step] = data.Mw1[step] - data.Mw2[step];
        data.ShuntSel[step] = record.ShuntSel[step];
    }
    return data;
}

std::string CurrentTimeIso8601() {
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(time.hours().count()),
                  int(time.minutes().count()), int(time.seconds().count()));
    return text;
}

}  // namespace q270
