// The facts of an archived run (who, what, when, where), declared once for
// every writer: the tool's CSV columns and JSON keys, the report's facts, the
// history window's and the history printout's columns. A new fact is added
// here and nowhere else.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "archived_run.h"

namespace q270 {

struct RunFact {
    const char* key;          // CSV column
    const char* jsonPointer;  // where the JSON of a run holds it
    const char* label;        // for a person
    bool listed;              // a column of the history lists
    // The fact's text; none when it was not recorded.
    std::optional<std::string> (*value)(const ArchivedRun& run);
};

std::span<const RunFact> RunFacts();

// The fact's text for a person: "-" when it was not recorded or is empty.
std::string FactText(const RunFact& fact, const ArchivedRun& run);

}  // namespace q270
