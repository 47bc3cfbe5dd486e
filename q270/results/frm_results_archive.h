// What frmResults keeps for the archive: which run it has archived, and the
// archiving in progress, which runs on a thread of its own so that a server
// that does not answer does not hold the window.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace q270 {

struct ResultsArchiving {
    ~ResultsArchiving() {
        if (worker.joinable()) worker.join();
    }
    // Waits for the archiving in progress, if any.
    void wait() {
        if (worker.joinable()) worker.join();
    }

    int archivedAtRun = -1;  // the reply recorder's run count of the run archived last
    std::string runId;       // its run ID
    std::thread worker;
};

}  // namespace q270
