// zdx-bench: plays the calibrators, the USB driver, the serial and parallel
// ports and the port I/O driver, so the workstation runs with nothing plugged in.
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "bench.h"
#include "control_client.h"
#include "scenario.h"
#include "server.h"

namespace {

void usage() {
    std::fprintf(stderr,
                 "usage: zdx-bench [--scenario FILE] [--socket PATH] [--log FILE] [--with-parent]\n"
                 "       zdx-bench --control SOCKET COMMAND [ARGS...]\n"
                 "commands: load FILE|JSON, unplug DEV, replug DEV, takeaway COMn,\n"
                 "          fault DEV NAME|none, remote DEV 0|1, condition DEV 0..8,\n"
                 "          log, clear, stats, lpt LPT1|LPT2,\n"
                 "          trim DEV Rk OHMS|none, trim DEV none, divider DEV, meter COMn,\n"
                 "          devices, env, ping, stop\n");
}

bool readFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

int runControl(int argc, char** argv) {
    if (argc < 4) {
        usage();
        return 2;
    }
    std::string command = argv[3];
    if (command == "load" && argc == 5 && argv[4][0] != '{') {
        std::string json;
        if (!readFile(argv[4], json)) {
            std::fprintf(stderr, "zdx-bench: cannot read %s\n", argv[4]);
            return 1;
        }
        command += " " + json;
    } else {
        for (int i = 4; i < argc; ++i) command += std::string(" ") + argv[i];
    }
    std::string reply;
    if (!zdx::bench::sendControl(argv[2], command, reply)) {
        std::fprintf(stderr, "zdx-bench: %s\n", reply.c_str());
        return 1;
    }
    std::fputs(reply.c_str(), stdout);
    if (!reply.empty() && reply.back() != '\n') std::fputc('\n', stdout);
    return reply.rfind("error:", 0) == 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--control") == 0) return runControl(argc, argv);

    std::string scenarioPath, socketPath, logPath;
    bool withParent = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--with-parent")
            withParent = true;
        else if (i + 1 < argc && a == "--scenario")
            scenarioPath = argv[++i];
        else if (i + 1 < argc && a == "--socket")
            socketPath = argv[++i];
        else if (i + 1 < argc && a == "--log")
            logPath = argv[++i];
        else {
            usage();
            return 2;
        }
    }
    if (socketPath.empty()) socketPath = "/tmp/zdx-bench-" + std::to_string(::getpid()) + ".sock";

    std::string scenario = zdx::bench::defaultScenarioJson();
    if (!scenarioPath.empty() && !readFile(scenarioPath, scenario)) {
        std::fprintf(stderr, "zdx-bench: cannot read %s\n", scenarioPath.c_str());
        return 1;
    }

    // Signals are taken by one thread with sigwait, so every other thread
    // (the serial ports, the clients) must start with them blocked.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    // A test that is killed must not leave its bench behind: end with the parent.
    if (withParent) {
        const pid_t parent = ::getppid();
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) return 0;
    }

    zdx::bench::Bench bench;
    std::string error;
    if (!logPath.empty() && !bench.openLogFile(logPath)) {
        std::fprintf(stderr, "zdx-bench: cannot write %s\n", logPath.c_str());
        return 1;
    }
    if (!bench.load(scenario, error)) {
        std::fprintf(stderr, "zdx-bench: scenario: %s\n", error.c_str());
        return 1;
    }
    // The COM ports' stable names live beside the socket, so a test's
    // temporary folder takes them along.
    std::string comFolder = socketPath;
    if (comFolder.size() > 5 && comFolder.ends_with(".sock"))
        comFolder.resize(comFolder.size() - 5);
    comFolder += "-com";
    if (!bench.start(comFolder, error)) {
        std::fprintf(stderr, "zdx-bench: %s\n", error.c_str());
        return 1;
    }
    zdx::bench::Server server(bench);
    if (!server.listen(socketPath, error)) {
        std::fprintf(stderr, "zdx-bench: %s\n", error.c_str());
        return 1;
    }
    bench.setSocketPath(socketPath);
    bench.setStopHandler([&server] { server.requestStop(); });

    std::thread signals([&server, stopSignals] {
        int sig = 0;
        sigwait(&stopSignals, &sig);
        server.requestStop();
    });
    signals.detach();

    std::fputs(bench.environment().c_str(), stdout);
    std::fflush(stdout);
    server.run();
    bench.stop();
    return 0;
}
