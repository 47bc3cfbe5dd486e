#include "search_decision.h"

#include <cmath>

#include "trim_search.h"

namespace q270 {

std::optional<PerStep<std::int16_t>> SearchDecision(const RunRecord& record, int count) {
    ResultsData data = ToResultsData(record);
    CalcResults(data, false);
    if (!std::isfinite(data.ErrSq)) return std::nullopt;
    // As the window's optimisation: every step starts without a trim resistor.
    data.ShuntSel.fill(0);
    TrimSearch search(data, count);
    search.run();
    if (!search.found()) return std::nullopt;
    PlaceBest(data, search.bestSel(), count);
    return data.ShuntSel;
}

}  // namespace q270
