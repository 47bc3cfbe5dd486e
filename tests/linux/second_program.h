// Runs ppdev_second_program beside the test, in the same emulated machine
// (it inherits umockdev's preload and testbed), and reads its open's result
// within a deadline, so that a claim that waits shows as a failure, not a hang.
#pragma once

#include <sys/types.h>

#include <string>

namespace zdx::testing {

class SecondProgram {
  public:
    explicit SecondProgram(int port_number);
    ~SecondProgram();  // ends its standard input and waits for it
    SecondProgram(const SecondProgram&) = delete;
    SecondProgram& operator=(const SecondProgram&) = delete;

    // The result of its CommandLPT(0, port), or "" when none came within
    // `deadline_ms` (the program is then killed).
    std::string open_result(int deadline_ms);

  private:
    pid_t pid_ = -1;
    int to_child_ = -1, from_child_ = -1;
};

}  // namespace zdx::testing
