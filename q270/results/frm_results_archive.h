// What frmResults keeps for the archive: which run it has archived, and the
// archiving in progress, which runs on a thread of its own so that a server
// that does not answer does not hold the window.
#pragma once

#include <functional>
#include <string>
#include <thread>

namespace q270 {

struct ResultsArchiving {
    ~ResultsArchiving() {
        if (worker.joinable()) worker.join();
    }
    // Waits for the archive work in progress, if any.
    void wait() {
        if (worker.joinable()) worker.join();
    }
    // Runs the job on a thread of its own once the work queued before it has
    // ended: a history read sees the run archived just before. Each thread
    // is joined by the one after it, the last by wait().
    void then(std::function<void()> job) {
        worker = std::thread([previous = std::move(worker), job = std::move(job)]() mutable {
            if (previous.joinable()) previous.join();
            job();
        });
    }

    int archivedAtRun = -1;       // the reply recorder's run count of the run archived last
    std::string runId;            // its run ID
    bool historyPending = false;  // "Verlauf..." is reading the archive
    std::thread worker;
};

}  // namespace q270
