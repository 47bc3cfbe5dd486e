// The digest of what the archive keeps of a run and of each amendment: the
// SHA-256 of a canonical text of its content, stored beside it. A row changed
// behind the program's back no longer gives its stored digest. The time it
// was archived is no part of the content.
#pragma once

#include <string>

#include "archived_run.h"

namespace q270 {

// "sha256:" and 64 hexadecimal digits.
std::string RunDigest(const ArchivedRun& run);
std::string AmendmentDigest(const std::string& runId, const Amendment& amendment);

}  // namespace q270
