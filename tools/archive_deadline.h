// A last bound on the tool's wait for the archive. The server's own
// time-outs and keepalives end every wait they can see; a server that has
// stopped answering but whose host still acknowledges (a stopped process)
// would hold the tool for as long as it stays stopped. What the tool
// archives is in the spool before it waits, so giving up loses nothing.
#pragma once

#include <string>

namespace zdxtool {

inline constexpr int kArchiveDeadlineSeconds = 30;

// From now on, the program ends with `status` after kArchiveDeadlineSeconds,
// saying on stderr that the archive did not answer and `consequence`. Meant
// for the archive work that ends a command; armed once per program.
void ArmArchiveDeadline(int status, const std::string& consequence);

}  // namespace zdxtool
