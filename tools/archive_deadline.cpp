#include "archive_deadline.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "tool_output.h"

namespace zdxtool {

ArchiveDeadline::ArchiveDeadline(int status, std::string consequence) {
    watch_ = std::thread([this, status, consequence = std::move(consequence)] {
        std::unique_lock lock(mutex_);
        if (ended_.wait_for(lock, std::chrono::seconds(kArchiveDeadlineSeconds),
                            [this] { return done_; }))
            return;
        Complain("the archive did not answer within " + std::to_string(kArchiveDeadlineSeconds) +
                 " s: " + consequence);
        std::fflush(stdout);
        std::_Exit(status);
    });
}

ArchiveDeadline::~ArchiveDeadline() {
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    ended_.notify_one();
    watch_.join();
}

}  // namespace zdxtool
