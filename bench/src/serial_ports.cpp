#include "serial_ports.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "traffic_log.h"

namespace zdx::bench {

namespace {

constexpr std::size_t kMaxLineIn = 4096;

speed_t speedCode(int baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

std::string comName(int index) {
    return "COM" + std::to_string(index + 1);
}

}  // namespace

SerialPorts::SerialPorts(std::mutex& lock, TrafficLog& log) : lock_(lock), log_(log) {}

SerialPorts::~SerialPorts() {
    stop();
    for (Port& p : ports_) {
        closeTerminal(p);
        if (!p.link.empty()) ::unlink(p.link.c_str());
    }
    if (!folder_.empty()) ::rmdir(folder_.c_str());
    for (int fd : wakePipe_)
        if (fd >= 0) ::close(fd);
    if (inotify_ >= 0) ::close(inotify_);
}

bool SerialPorts::start(const std::string& folder, std::string& error) {
    if (::pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = folder + ": " + std::strerror(errno);
        return false;
    }
    folder_ = folder;
    for (int i = 0; i < kComPorts; ++i) {
        Port& p = ports_[i];
        if (!openTerminal(p, error)) return false;
        p.link = folder + "/" + comName(i);
        ::unlink(p.link.c_str());  // left by a bench that was killed
        if (::symlink(p.terminal.c_str(), p.link.c_str()) != 0) {
            error = p.link + ": " + std::strerror(errno);
            p.link.clear();
            return false;
        }
    }
    watchTerminals();
    thread_ = std::thread([this] { run(); });
    return true;
}

bool SerialPorts::openTerminal(Port& p, std::string& error) {
    p.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (p.master < 0 || ::grantpt(p.master) != 0 || ::unlockpt(p.master) != 0) {
        error = std::string("pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    const char* name = ::ptsname(p.master);
    if (!name) {
        error = "ptsname failed";
        return false;
    }
    p.terminal = name;
    p.keepOpen = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (p.keepOpen < 0) {
        error = p.terminal + ": " + std::strerror(errno);
        return false;
    }
    // Raw from the start: no echo, no CR/LF translation before the
    // program sets its own line settings.
    termios t{};
    if (::tcgetattr(p.keepOpen, &t) == 0) {
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, B9600);
        ::cfsetospeed(&t, B9600);
        ::tcsetattr(p.keepOpen, TCSANOW, &t);
    }
    ::fcntl(p.master, F_SETFL, ::fcntl(p.master, F_GETFL) | O_NONBLOCK);
    return true;
}

// Closing the master side hangs up every descriptor of the terminal and
// removes its node, as the kernel does when a serial adapter goes.
void SerialPorts::closeTerminal(Port& p) {
    if (p.watch >= 0 && inotify_ >= 0) ::inotify_rm_watch(inotify_, p.watch);
    p.watch = -1;
    p.openers = 0;
    if (p.master >= 0) ::close(p.master);
    if (p.keepOpen >= 0) ::close(p.keepOpen);
    p.master = p.keepOpen = -1;
}

void SerialPorts::takeAway(int com) {
    if (com < 1 || com > kComPorts || away(com)) return;
    Port& p = ports_[com - 1];
    closeTerminal(p);
    ::unlink(p.link.c_str());
    p.away = true;
    p.lineIn.clear();
    p.answers.clear();
    wake();
}

bool SerialPorts::giveBack(int com, std::string& error) {
    if (com < 1 || com > kComPorts || !away(com)) return true;
    Port& p = ports_[com - 1];
    if (!openTerminal(p, error)) {
        closeTerminal(p);
        return false;
    }
    if (::symlink(p.terminal.c_str(), p.link.c_str()) != 0) {
        error = p.link + ": " + std::strerror(errno);
        closeTerminal(p);
        return false;
    }
    if (inotify_ >= 0 && !watch(p)) openersKnown_ = false;
    p.away = false;
    wake();
    return true;
}

bool SerialPorts::away(int com) const {
    return com >= 1 && com <= kComPorts && ports_[com - 1].away;
}

void SerialPorts::stop() {
    if (!thread_.joinable()) return;
    stopping_ = true;
    wake();
    thread_.join();
}

std::string SerialPorts::path(int com) const {
    return (com >= 1 && com <= kComPorts) ? ports_[com - 1].link : std::string();
}

void SerialPorts::setDevice(int com, SerialDevice device) {
    if (com < 1 || com > kComPorts) return;
    Port& p = ports_[com - 1];
    p.device = std::move(device);
    p.lineIn.clear();
    p.answers.clear();
    wake();
}

SerialDevice* SerialPorts::device(int com) {
    if (com < 1 || com > kComPorts) return nullptr;
    SerialDevice& d = ports_[com - 1].device;
    return (d.model || d.meter) ? &d : nullptr;
}

bool SerialPorts::terminalOpen(int com) const {
    if (com < 1 || com > kComPorts) return false;
    return !openersKnown_ || ports_[com - 1].openers > 0;
}

// A pseudo-terminal carries no modem lines, so a meter cannot see the DTR
// line of a program that opened its port. The kernel does report every open
// and last close of the terminal, though: a program that holds the port open
// stands for an asserted DTR. Opened after `keepOpen`, the watches count
// only other openers.
void SerialPorts::watchTerminals() {
    inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ < 0) return;
    for (Port& p : ports_) {
        if (!watch(p)) {
            ::close(inotify_);
            inotify_ = -1;
            return;
        }
    }
    openersKnown_ = true;
}

bool SerialPorts::watch(Port& p) {
    p.watch = ::inotify_add_watch(inotify_, p.terminal.c_str(), IN_OPEN | IN_CLOSE);
    p.openers = 0;
    return p.watch >= 0;
}

void SerialPorts::countOpeners() {
    alignas(inotify_event) char buf[4096];
    for (;;) {
        ssize_t n = ::read(inotify_, buf, sizeof buf);
        if (n <= 0) return;
        std::lock_guard<std::mutex> guard(lock_);
        for (char* at = buf; at < buf + n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(at);
            at += sizeof(inotify_event) + e->len;
            if (e->mask & IN_Q_OVERFLOW) openersKnown_ = false;  // counts lost: assume open
            for (Port& p : ports_) {
                if (p.watch != e->wd) continue;
                if (e->mask & IN_OPEN) ++p.openers;
                if ((e->mask & IN_CLOSE) && p.openers > 0) --p.openers;
            }
        }
    }
}

void SerialPorts::wake() {
    if (wakePipe_[1] >= 0) {
        char c = 1;
        [[maybe_unused]] ssize_t n = ::write(wakePipe_[1], &c, 1);
    }
}

void SerialPorts::run() {
    pollfd fds[kComPorts + 2];
    while (!stopping_) {
        int timeout = -1;
        {
            // A port taken away or given back changes its descriptor under the lock.
            std::lock_guard<std::mutex> guard(lock_);
            timeout = flushDue(Clock::now());
            for (int i = 0; i < kComPorts; ++i) fds[i] = {ports_[i].master, POLLIN, 0};
        }
        fds[kComPorts] = {wakePipe_[0], POLLIN, 0};
        fds[kComPorts + 1] = {inotify_, POLLIN, 0};  // a negative descriptor is skipped
        int n = ::poll(fds, kComPorts + 2, timeout);
        if (n < 0 && errno != EINTR) break;
        if (n <= 0) continue;
        if (fds[kComPorts].revents & POLLIN) {
            char drain[64];
            while (::read(wakePipe_[0], drain, sizeof drain) > 0) {
            }
        }
        if (fds[kComPorts + 1].revents & POLLIN) countOpeners();
        for (int i = 0; i < kComPorts; ++i)
            if (fds[i].revents & POLLIN) receive(i);
    }
}

void SerialPorts::receive(int index) {
    Port& p = ports_[index];
    char buf[512];
    std::lock_guard<std::mutex> guard(lock_);
    if (p.master < 0) return;
    ssize_t n = ::read(p.master, buf, sizeof buf);
    if (n <= 0) return;
    for (ssize_t i = 0; i < n; ++i) {
        if (buf[i] != '\n') {
            if (p.lineIn.size() < kMaxLineIn) p.lineIn.push_back(buf[i]);
            continue;
        }
        std::string line = std::move(p.lineIn);
        p.lineIn.clear();
        if (!line.empty() && line.back() == '\r') line.pop_back();
        handleLine(index, line);
    }
    flushDue(Clock::now());
}

void SerialPorts::handleLine(int index, const std::string& line) {
    Port& p = ports_[index];
    log_.addLine(comName(index), "in", line);
    if (!p.device.model && !p.device.meter) return;  // nothing on this port: nobody answers
    termios t{};
    if (::tcgetattr(p.master, &t) == 0 && ::cfgetispeed(&t) != speedCode(p.device.baud)) {
        log_.addText(comName(index), "note",
                     "line speed differs from the device's: not understood");
        return;
    }
    if (p.device.meter) {
        handleMeterLine(index, line);
        return;
    }
    ShapedAnswer shaped = shapeAnswer(p.device.faults, p.device.model->handleLine(line));
    if (shaped.bytes.empty()) return;
    p.answers.push_back({Clock::now() + shaped.delay, std::move(shaped.bytes)});
}

void SerialPorts::handleMeterLine(int index, const std::string& line) {
    Port& p = ports_[index];
    const auto now = Clock::now();
    if (!p.device.meter->pluggedAt(now)) {
        log_.addText(comName(index), "note", "meter unplugged: line not received");
        return;
    }
    if (auto reply = p.device.meter->handleLine(line, now))
        p.answers.push_back({reply->due, std::move(reply->bytes)});
}

// A meter sends only while its cable is on and the program holds the port.
bool SerialPorts::deliverable(const Port& p, Clock::time_point due) const {
    if (!p.device.meter) return true;
    return p.device.meter->pluggedAt(due) && (!openersKnown_ || p.openers > 0);
}

// Answers are logged when they go out, so the log shows how long each took.
int SerialPorts::flushDue(Clock::time_point now) {
    int next = -1;
    for (int i = 0; i < kComPorts; ++i) {
        Port& p = ports_[i];
        while (!p.answers.empty() && p.answers.front().due <= now) {
            const Pending& a = p.answers.front();
            if (deliverable(p, a.due)) {
                [[maybe_unused]] ssize_t n = ::write(p.master, a.bytes.data(), a.bytes.size());
                log_.addLine(comName(i), "out", a.bytes);
            } else {
                log_.addLine(comName(i), "note",
                             "reply not sent (meter unplugged or port closed): " + a.bytes);
            }
            p.answers.pop_front();
        }
        if (!p.answers.empty()) {
            auto ms = std::chrono::ceil<std::chrono::milliseconds>(p.answers.front().due - now);
            int wait = static_cast<int>(ms.count());
            if (next < 0 || wait < next) next = wait;
        }
    }
    return next;
}

}  // namespace zdx::bench
