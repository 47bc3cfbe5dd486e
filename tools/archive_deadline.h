// A last bound on the tool's wait for the archive. The server's own
// time-outs and keepalives end every wait they can see; a server that has
// stopped answering but whose host still acknowledges (a stopped process)
// would hold the tool for as long as it stays stopped. What the tool
// archives is in the spool before it waits, so giving up loses nothing.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace zdxtool {

inline constexpr int kArchiveDeadlineSeconds = 30;

// While it lives, the program ends with `status` once kArchiveDeadlineSeconds
// have passed, saying on stderr that the archive did not answer and
// `consequence`. Scoped to the archive work only, so that a slow reader of
// the tool's output is never taken for a silent server.
class ArchiveDeadline {
  public:
    ArchiveDeadline(int status, std::string consequence);
    ~ArchiveDeadline();
    ArchiveDeadline(const ArchiveDeadline&) = delete;
    ArchiveDeadline& operator=(const ArchiveDeadline&) = delete;

  private:
    std::mutex mutex_;
    std::condition_variable ended_;
    bool done_ = false;
    std::thread watch_;
};

}  // namespace zdxtool
