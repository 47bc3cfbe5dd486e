#include "bench_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "control_client.h"
#include "traffic_log.h"

extern char** environ;

namespace zdx::bench {

namespace {

constexpr auto kStartTimeout = std::chrono::seconds(10);
constexpr auto kStopTimeout = std::chrono::seconds(3);

std::string executable() {
    // A developer may point the tests at another build of the bench.
    if (const char* e = std::getenv("ZDX_BENCH_EXE"); e && *e) return e;
    return ZDX_BENCH_EXECUTABLE;
}

}  // namespace

struct BenchSession::Impl {
    pid_t pid = -1;
    std::filesystem::path dir;
    std::string socket;
    std::string com[9];

    void readEnvironment(int fd);
    void stop();
};

void BenchSession::Impl::readEnvironment(int fd) {
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    std::string pending;
    int found = 0;
    while (found < 10) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            throw std::runtime_error("zdx-bench did not start in time");
        char buf[512];
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) throw std::runtime_error("zdx-bench ended before it served");
        pending.append(buf, static_cast<std::size_t>(n));
        for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            std::size_t eq = line.find('=');
            if (eq == std::string::npos) continue;
            std::string key = line.substr(0, eq), value = line.substr(eq + 1);
            if (key == "ZDXUSBCAL_BENCH") {
                socket = value;
                ++found;
            } else if (key.size() == 8 && key.rfind("ZDX_COM", 0) == 0 && key[7] >= '1' &&
                       key[7] <= '9') {
                com[key[7] - '1'] = value;
                ++found;
            }
        }
    }
}

void BenchSession::Impl::stop() {
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        pid = -1;
    }
}

BenchSession::BenchSession(const std::string& scenarioJson) : impl_(new Impl) {
    try {
        char templ[] = "/tmp/zdx-bench-XXXXXX";
        if (!::mkdtemp(templ)) throw std::runtime_error("cannot create a temporary directory");
        impl_->dir = templ;
        const auto scenario = impl_->dir / "scenario.json";
        std::ofstream(scenario) << scenarioJson;
        const std::string socket = (impl_->dir / "bench.sock").string();

        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addchdir_np(&actions, impl_->dir.c_str());
        const std::string exe = executable();
        const std::string scenarioPath = scenario.string();
        const char* argv[] = {exe.c_str(), "--scenario",   scenarioPath.c_str(),
                              "--socket",  socket.c_str(), "--with-parent",
                              nullptr};
        int rc = ::posix_spawn(&impl_->pid, exe.c_str(), &actions, nullptr,
                               const_cast<char* const*>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (rc != 0) {
            ::close(out[0]);
            impl_->pid = -1;
            throw std::runtime_error("cannot start " + exe + ": " + std::strerror(rc));
        }
        try {
            impl_->readEnvironment(out[0]);
        } catch (...) {
            ::close(out[0]);
            throw;
        }
        ::close(out[0]);
    } catch (...) {
        impl_->stop();
        if (!impl_->dir.empty()) std::filesystem::remove_all(impl_->dir);
        delete impl_;
        throw;
    }
}

BenchSession::~BenchSession() {
    impl_->stop();
    std::error_code ignored;
    std::filesystem::remove_all(impl_->dir, ignored);
    delete impl_;
}

const std::string& BenchSession::socketPath() const {
    return impl_->socket;
}

std::string BenchSession::comDevice(int n) const {
    return (n >= 1 && n <= 9) ? impl_->com[n - 1] : std::string();
}

void BenchSession::exportEnvironment() const {
    ::setenv("ZDXUSBCAL_BENCH", impl_->socket.c_str(), 1);
    for (int n = 1; n <= 9; ++n)
        ::setenv(("ZDX_COM" + std::to_string(n)).c_str(), impl_->com[n - 1].c_str(), 1);
}

std::string BenchSession::control(const std::string& command) const {
    std::string reply;
    if (!sendControl(impl_->socket, command, reply))
        throw std::runtime_error("zdx-bench control: " + reply);
    if (reply.rfind("error:", 0) == 0) throw std::runtime_error("zdx-bench: " + reply);
    return reply;
}

void BenchSession::kill() {
    if (impl_->pid > 0) {
        ::kill(impl_->pid, SIGKILL);
        int status = 0;
        ::waitpid(impl_->pid, &status, 0);
        impl_->pid = -1;
    }
}

void BenchSession::loadScenario(const std::string& scenarioJson) {
    control("load " + scenarioJson);
}

std::vector<TrafficEntry> BenchSession::traffic() const {
    std::vector<TrafficEntry> entries;
    std::istringstream lines(control("log"));
    for (std::string line; std::getline(lines, line);) {
        LogEntry e;
        if (!TrafficLog::parseEntry(line, e)) continue;
        entries.push_back({e.seconds, e.device, e.direction, e.line});
    }
    return entries;
}

std::vector<std::string> BenchSession::linesTo(const std::string& device) const {
    std::vector<std::string> lines;
    for (const auto& e : traffic())
        if (e.device == device && e.direction == "in") lines.push_back(e.line);
    return lines;
}

void BenchSession::clearTraffic() {
    control("clear");
}

void BenchSession::unplug(const std::string& device) {
    control("unplug " + device);
}

void BenchSession::replug(const std::string& device) {
    control("replug " + device);
}

void BenchSession::takeAway(const std::string& device) {
    control("takeaway " + device);
}

void BenchSession::setFault(const std::string& device, const std::string& fault) {
    control("fault " + device + " " + fault);
}

void BenchSession::setRemote(const std::string& device, bool remote) {
    control("remote " + device + (remote ? " 1" : " 0"));
}

LptRegisters BenchSession::lpt(int portNumber) const {
    unsigned data = 0, status = 0, ctrl = 0;
    std::string reply = control("lpt LPT" + std::to_string(portNumber + 1));
    if (std::sscanf(reply.c_str(), "data=%u status=%u control=%u", &data, &status, &ctrl) != 3)
        throw std::runtime_error("zdx-bench: unexpected reply " + reply);
    return {static_cast<std::uint8_t>(data), static_cast<std::uint8_t>(status),
            static_cast<std::uint8_t>(ctrl)};
}

namespace {

std::runtime_error unexpected(const std::string& reply) {
    return std::runtime_error("zdx-bench: unexpected reply " + reply);
}

// Numbers go over the control interface in the C form whatever the test
// process's locale (a Qt program sets the user's), so no locale-aware call.
double toNumber(const std::string& text, const std::string& reply) {
    double v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size()) throw unexpected(reply);
    return v;
}

std::string exactNumber(double v) {
    char text[32];
    auto [end, ec] = std::to_chars(text, text + sizeof text, v);
    return std::string(text, ec == std::errc() ? end : text);
}

}  // namespace

DividerTruth BenchSession::divider(const std::string& calibrator) const {
    const std::string reply = control("divider " + calibrator);
    DividerTruth truth;
    int resistors = 0;
    std::istringstream lines(reply);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string w; std::getline(fields, w, '\t');) f.push_back(w);
        if (f.size() == 2 && f[0] == "excitation_v") {
            truth.excitationV = toNumber(f[1], reply);
        } else if (f.size() == 2 && f[0] == "selected") {
            truth.selected = f[1] == "none" ? 0 : static_cast<int>(toNumber(f[1].substr(1), reply));
        } else if (f.size() == 4 && f[0].size() > 1 && f[0][0] == 'R') {
            const int i = static_cast<int>(toNumber(f[0].substr(1), reply)) - 97;
            if (i < 0 || i >= 20) throw unexpected(reply);
            truth.deviationsPpm[i] = toNumber(f[1], reply);
            if (f[2] != "none") truth.trimsOhm[i] = toNumber(f[2], reply);
            truth.ohms[i] = toNumber(f[3], reply);
            ++resistors;
        } else {
            throw unexpected(reply);
        }
    }
    if (resistors != 20) throw unexpected(reply);
    return truth;
}

void BenchSession::setTrim(const std::string& calibrator, int resistor, double ohms) {
    control("trim " + calibrator + " R" + std::to_string(resistor) + " " + exactNumber(ohms));
}

void BenchSession::removeTrim(const std::string& calibrator, int resistor) {
    control("trim " + calibrator + " R" + std::to_string(resistor) + " none");
}

void BenchSession::removeAllTrims(const std::string& calibrator) {
    control("trim " + calibrator + " none");
}

MeterStatus BenchSession::meter(int com) const {
    const std::string reply = control("meter COM" + std::to_string(com));
    MeterStatus m;
    int plugged = 0, remote = 0, open = 0;
    char faults[128] = {};
    if (std::sscanf(reply.c_str(),
                    "plugged=%d remote=%d port_open=%d readings=%d errors=%d faults=%127s",
                    &plugged, &remote, &open, &m.readings, &m.queuedErrors, faults) != 6)
        throw unexpected(reply);
    m.plugged = plugged != 0;
    m.remote = remote != 0;
    m.portOpen = open != 0;
    m.faults = faults;
    return m;
}

}  // namespace zdx::bench
