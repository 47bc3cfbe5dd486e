#include "server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "../../accesslib/backends/bench/bench_socket_io.h"
#include "../../accesslib/backends/bench/bench_wire.h"
#include "bench.h"

namespace zdx::bench {

bool readFrame(int fd, std::string& body) {
    unsigned char len[4];
    if (!benchwire::recv_all(fd, len, 4)) return false;
    std::uint32_t n = len[0] | (len[1] << 8) | (len[2] << 16) | (std::uint32_t(len[3]) << 24);
    if (n > benchwire::kMaxBody) return false;
    body.resize(n);
    return n == 0 || benchwire::recv_all(fd, body.data(), n);
}

bool FrameReader::next(std::string& body) {
    for (;;) {
        if (pending_.size() >= 4) {
            const auto* p = reinterpret_cast<const unsigned char*>(pending_.data());
            std::uint32_t n = p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
            if (n > benchwire::kMaxBody) return false;
            if (pending_.size() >= 4 + std::size_t{n}) {
                body.assign(pending_, 4, n);
                pending_.erase(0, 4 + std::size_t{n});
                return true;
            }
        }
        char chunk[16384];
        ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        pending_.append(chunk, static_cast<std::size_t>(got));
    }
}

bool writeFrame(int fd, const std::string& body) {
    std::string frame;
    frame.reserve(body.size() + 4);
    benchwire::put_u32(frame, static_cast<std::uint32_t>(body.size()));
    frame += body;
    return benchwire::send_all(fd, frame.data(), frame.size());
}

Server::~Server() {
    requestStop();
    {
        std::lock_guard<std::mutex> guard(clientsLock_);
        for (Client& c : clients_) ::shutdown(c.fd, SHUT_RDWR);
    }
    for (Client& c : clients_) {
        if (c.thread.joinable()) c.thread.join();
        ::close(c.fd);
    }
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        ::unlink(path_.c_str());
    }
    for (int fd : wakePipe_)
        if (fd >= 0) ::close(fd);
}

bool Server::listen(const std::string& path, std::string& error) {
    sockaddr_un addr{};
    if (path.size() >= sizeof addr.sun_path) {
        error = "socket path too long: " + path;
        return false;
    }
    if (::pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    ::unlink(path.c_str());  // a socket file left by a bench that was killed
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 16) != 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    path_ = path;
    return true;
}

void Server::requestStop() {
    stopping_ = true;
    if (wakePipe_[1] >= 0) {
        char c = 1;
        [[maybe_unused]] ssize_t n = ::write(wakePipe_[1], &c, 1);
    }
}

void Server::run() {
    std::uint64_t nextClient = 1;
    while (!stopping_) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        int n = ::poll(fds, 2, 1000);
        if (n < 0 && errno != EINTR) break;
        reapFinished();
        if (n <= 0 || !(fds[0].revents & POLLIN)) continue;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::lock_guard<std::mutex> guard(clientsLock_);
        Client& c = clients_.emplace_back();
        c.fd = fd;
        std::uint64_t id = nextClient++;
        c.thread = std::thread([this, &c, id] { serve(c, id); });
    }
}

void Server::serve(Client& client, std::uint64_t id) {
    std::string request;
    FrameReader reader(client.fd);
    while (reader.next(request)) {
        if (!writeFrame(client.fd, bench_.handle(id, request))) break;
    }
    bench_.dropClient(id);
    client.done = true;
}

void Server::reapFinished() {
    std::lock_guard<std::mutex> guard(clientsLock_);
    for (auto it = clients_.begin(); it != clients_.end();) {
        if (!it->done) {
            ++it;
            continue;
        }
        it->thread.join();
        ::close(it->fd);
        it = clients_.erase(it);
    }
}

}  // namespace zdx::bench
