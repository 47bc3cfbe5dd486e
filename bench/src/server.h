// Serves a bench on a Unix-domain socket: one thread per connected client,
// each reading request frames and writing reply frames.
#pragma once

#include <atomic>
#include <list>
#include <mutex>
#include <string>
#include <thread>

namespace zdx::bench {

class Bench;

class Server {
  public:
    explicit Server(Bench& bench) : bench_(bench) {}
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and listens; false with a message on failure.
    bool listen(const std::string& path, std::string& error);
    // Serves until requestStop() (from any thread or a signal handler's wake-up).
    void run();
    void requestStop();

  private:
    struct Client {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> done{false};
    };

    void serve(Client& client, std::uint64_t id);
    void reapFinished();

    Bench& bench_;
    std::string path_;
    int listenFd_ = -1;
    int wakePipe_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::mutex clientsLock_;
    std::list<Client> clients_;
};

// Frame helpers of the wire format (u32 length + body).
bool readFrame(int fd, std::string& body);

// Reads frames from one stream, taking whatever the socket has in one call:
// a request usually costs a single receive.
class FrameReader {
  public:
    explicit FrameReader(int fd) : fd_(fd) {}
    // The next frame's body; false at end of stream, on error or on a frame
    // longer than the wire format allows.
    bool next(std::string& body);

  private:
    int fd_;
    std::string pending_;
};
bool writeFrame(int fd, const std::string& body);

}  // namespace zdx::bench
