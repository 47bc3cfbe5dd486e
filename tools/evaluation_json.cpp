#include "evaluation_json.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "commands.h"

namespace zdxtool {

using json = nlohmann::ordered_json;

json FloatValue(float value) {
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text - 1, value);
    if (error != std::errc()) return static_cast<double>(value);
    *end = '\0';
    return std::strtod(text, nullptr);
}

json EvaluationJson(const q270::ResultsData& data, const std::array<double, 11>* uLinErr) {
    json devR = json::array(), devRS = json::array(), linErr = json::array();
    for (int i = 1; i <= 20; ++i) devR.push_back(FloatValue(data.DevR[std::size_t(i)]));
    for (int i = 1; i <= 10; ++i) devRS.push_back(FloatValue(data.DevRS[std::size_t(i)]));
    for (int j = 1; j <= 10; ++j) linErr.push_back(FloatValue(data.LinErr[std::size_t(j)]));
    json doc = {{"DevR", devR}, {"DevRS", devRS}, {"LinErr", linErr}};
    if (uLinErr) {
        json u = json::array();
        // To a thousandth of a ppm: the estimate itself is good to some per cent.
        for (int j = 1; j <= 10; ++j)
            u.push_back(std::round((*uLinErr)[std::size_t(j)] * 1000) / 1000);
        doc["u_LinErr"] = u;
    }
    doc.update(json{{"SumDown", FloatValue(data.SumDown)},
                    {"SumUp", FloatValue(data.SumUp)},
                    {"DevDown", data.DevDown},
                    {"DevUp", data.DevUp},
                    {"ErrSq", data.ErrSq}});
    return doc;
}

bool EvaluationFinite(const q270::ResultsData& data) {
    bool finite = std::isfinite(data.SumDown) && std::isfinite(data.SumUp) &&
                  std::isfinite(data.DevDown) && std::isfinite(data.DevUp) &&
                  std::isfinite(data.ErrSq);
    for (int i = 1; i <= 20; ++i) finite = finite && std::isfinite(data.DevR[std::size_t(i)]);
    for (int i = 1; i <= 10; ++i) finite = finite && std::isfinite(data.DevRS[std::size_t(i)]);
    for (int j = 1; j <= 10; ++j) finite = finite && std::isfinite(data.LinErr[std::size_t(j)]);
    return finite;
}

json RunHeader(const std::string& path, const q270::RunRecord& record) {
    json shunts = json::array();
    for (int step = 1; step <= q270::kStepCount; ++step) shunts.push_back(record.ShuntSel[step]);
    return {{"file", path},
            {"time", record.time},
            {"calibrator", {{"serial", record.calibratorSerial}, {"id", record.calibratorId}}},
            {"meter", {{"id", record.meterId ? json(*record.meterId) : json(nullptr)}}},
            {"ShuntSel", shunts}};
}

}  // namespace zdxtool
