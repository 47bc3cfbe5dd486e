#include "statement_json.h"

#include <cmath>

namespace zdxtool {

using json = nlohmann::ordered_json;

namespace {

json verdictJson(const std::optional<q270::Verdict>& verdict) {
    return verdict ? json(q270::VerdictName(*verdict)) : json(nullptr);
}

}  // namespace

json StatementJson(const q270::Statement& s) {
    json points = json::array();
    for (int j = 1; j <= q270::kPointCount; ++j) {
        const q270::PointStatement& p = s.points[std::size_t(j)];
        points.push_back(
            {{"percent", j * 10},
             {"LinErr", p.linErr},
             {"u", p.budget.u},
             {"U", p.U},
             {"verdict", verdictJson(p.verdict)},
             {"budget",
              {{"type_A", p.budget.typeA},
               {"resolution", p.budget.resolution},
               {"trims", p.budget.trims},
               {"nu_eff", std::isfinite(p.budget.nuEff) ? json(p.budget.nuEff) : json(nullptr)}}}});
    }
    const auto& a = s.acceptance;
    return {{"k", std::round(s.k * 1000) / 1000},
            {"nu_eff", std::isfinite(s.nuEff) ? json(s.nuEff) : json(nullptr)},
            {"rule", q270::RuleName(a.rule)},
            {"limit_ppm", a.limitPpm ? json(*a.limitPpm) : json(nullptr)},
            {"verdict", verdictJson(s.verdict)},
            {"ErrSq", s.errSq},
            {"reading_noise_uV", std::round(s.noise * 1e9) / 1000},
            {"resolution_V", s.resolution},
            {"points", points}};
}

}  // namespace zdxtool
