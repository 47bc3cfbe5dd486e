#include "archive_deadline.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "tool_output.h"

namespace zdxtool {

void ArmArchiveDeadline(int status, const std::string& consequence) {
    static bool armed = false;
    if (armed) return;
    armed = true;
    std::thread([status, consequence] {
        std::this_thread::sleep_for(std::chrono::seconds(kArchiveDeadlineSeconds));
        Complain("the archive did not answer within " + std::to_string(kArchiveDeadlineSeconds) +
                 " s: " + consequence);
        std::fflush(stdout);
        std::_Exit(status);
    }).detach();
}

}  // namespace zdxtool
