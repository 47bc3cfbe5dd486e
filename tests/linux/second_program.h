// Runs linux_second_program beside the test, in the same emulated machine (it
// inherits umockdev's preload and testbed), and reads the result it prints
// within a deadline, so that a call that waits shows as a failure, not a hang.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace zdx::testing {

class SecondProgram {
  public:
    // The program's arguments (see second_program_main.cpp).
    explicit SecondProgram(const std::vector<std::string>& arguments);
    ~SecondProgram();  // ends its standard input and waits for it
    SecondProgram(const SecondProgram&) = delete;
    SecondProgram& operator=(const SecondProgram&) = delete;

    // The result it prints, or "" when none came within `deadline_ms` (the
    // program is then killed).
    std::string result(int deadline_ms);
    // Waits until the program has ended.
    void wait();

  private:
    pid_t pid_ = -1;
    int to_child_ = -1, from_child_ = -1;
};

}  // namespace zdx::testing
