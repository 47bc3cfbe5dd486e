// Evaluations and run-file headers as the tool prints them.
#pragma once

#include <array>
#include <nlohmann/json.hpp>
#include <string>

#include "evaluation.h"
#include "run_file.h"

namespace zdxtool {

// A float as the shortest decimal that reads back as the same float, so
// "12.3" rather than the 12.300000190734863 of its double.
nlohmann::ordered_json FloatValue(float value);

// DevR (steps 1..20), DevRS (segments 1..10), LinErr (10 % points 1..10),
// SumDown, SumUp, DevDown, DevUp, ErrSq of an evaluated ResultsData; given
// the uncertainty of each 10 % point, u_LinErr beside LinErr.
nlohmann::ordered_json EvaluationJson(const q270::ResultsData& data,
                                      const std::array<double, 11>* uLinErr = nullptr);

// Whether every figure of an evaluation is a finite number.
bool EvaluationFinite(const q270::ResultsData& data);

// The file, the calibrator, the meter and the time of a run.
nlohmann::ordered_json RunHeader(const std::string& path, const q270::RunRecord& record);

}  // namespace zdxtool
