#include "second_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

extern char** environ;

namespace zdx::testing {

SecondProgram::SecondProgram(const std::vector<std::string>& arguments) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
        throw std::runtime_error("no pipes for the second program");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<char*> argv{const_cast<char*>(ZDX_SECOND_PROGRAM)};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const int spawned =
        ::posix_spawn(&pid_, ZDX_SECOND_PROGRAM, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    to_child_ = in[1];
    from_child_ = out[0];
    if (spawned != 0) {
        pid_ = -1;
        throw std::runtime_error("the second program cannot be started");
    }
}

SecondProgram::~SecondProgram() {
    wait();
    if (from_child_ >= 0) ::close(from_child_);
}

void SecondProgram::wait() {
    if (to_child_ >= 0) ::close(to_child_);
    to_child_ = -1;
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::string SecondProgram::result(int deadline_ms) {
    std::string line;
    pollfd ready{from_child_, POLLIN, 0};
    while (line.empty() || line.back() != '\n') {
        if (::poll(&ready, 1, deadline_ms) <= 0) {
            ::kill(pid_, SIGKILL);
            return "";
        }
        char byte = 0;
        if (::read(from_child_, &byte, 1) != 1) return "";
        line += byte;
    }
    line.pop_back();
    return line;
}

}  // namespace zdx::testing
