// Client of the virtual bench. One stream connection per process, made when
// the setup library is bound or, for a program that only uses the parallel
// ports, at its first request; each seam operation is one request and one
// reply (see bench_wire.h). A bench that goes away makes every operation fail
// from then on; nothing here throws or raises SIGPIPE.
#include "bench_backend.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "bench_socket_io.h"
#include "bench_wire.h"

namespace zdx {

namespace {

using benchwire::Op;

// A bench that holds a reply this long is hung; the connection is given up.
constexpr int kReplyTimeoutSeconds = 5;

struct BenchConnection {
    std::mutex lock;
    int fd = -1;
    bool attempted = false;  // a connection was tried once: no second try at a request
};

BenchConnection& connection() {
    static BenchConnection c;
    return c;
}

void bench_disconnect(BenchConnection& c) {
    if (c.fd >= 0) ::close(c.fd);
    c.fd = -1;
}

bool bench_connect_locked(BenchConnection& c);

// Sends one request and takes its reply. Returns false when the bench cannot
// be reached or refused the operation; `payload` then is empty.
bool bench_call(const std::string& request, std::string& payload) {
    payload.clear();
    BenchConnection& c = connection();
    std::lock_guard<std::mutex> guard(c.lock);
    // The OS family and the ports are asked before any setup binding.
    if (c.fd < 0 && !c.attempted) bench_connect_locked(c);
    if (c.fd < 0) return false;
    try {
        std::string frame;
        frame.reserve(request.size() + 4);
        benchwire::put_u32(frame, static_cast<std::uint32_t>(request.size()));
        frame += request;
        if (!benchwire::send_all(c.fd, frame.data(), frame.size())) {
            bench_disconnect(c);
            return false;
        }
        // The reply usually arrives whole: take it with one receive.
        char head[4096];
        std::size_t got = 0;
        while (got < 4) {
            ssize_t n = ::recv(c.fd, head + got, sizeof head - got, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                bench_disconnect(c);
                return false;
            }
            got += static_cast<std::size_t>(n);
        }
        std::uint32_t length = 0;
        benchwire::Reader(std::string_view(head, 4)).u32(length);
        // Replies strictly alternate with requests: more than one reply's
        // worth of bytes, or an absurd length, means the stream is broken.
        if (length < 4 || length > benchwire::kMaxBody || got > 4 + std::size_t{length}) {
            bench_disconnect(c);
            return false;
        }
        std::string body(head + 4, got - 4);
        body.resize(length);
        if (got - 4 < length &&
            !benchwire::recv_all(c.fd, body.data() + (got - 4), length - (got - 4))) {
            bench_disconnect(c);
            return false;
        }
        benchwire::Reader r(body);
        std::uint32_t status = 1;
        r.u32(status);
        if (status != 0) return false;
        payload.assign(r.rest());
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

std::string bench_request(Op op) {
    std::string r;
    benchwire::put_u8(r, static_cast<std::uint8_t>(op));
    return r;
}

bool bench_call_u32(const std::string& request, std::uint32_t& value) {
    std::string payload;
    if (!bench_call(request, payload)) return false;
    benchwire::Reader r(payload);
    return r.u32(value);
}

// Connects to the bench named by ZDXUSBCAL_BENCH; the caller holds c.lock.
bool bench_connect_locked(BenchConnection& c) {
    c.attempted = true;
    bench_disconnect(c);
    const char* path = std::getenv("ZDXUSBCAL_BENCH");
    sockaddr_un addr{};
    if (path == nullptr || std::strlen(path) >= sizeof addr.sun_path) return false;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path, std::strlen(path) + 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return false;
    }
    timeval timeout{kReplyTimeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    c.fd = fd;
    return true;
}

bool bench_bind_setup() {
    BenchConnection& c = connection();
    std::lock_guard<std::mutex> guard(c.lock);
    // A connection made earlier for the parallel ports is kept: the bench
    // drops a connection's handles with it, and the port I/O driver handle
    // must live on.
    if (c.fd >= 0) return true;
    return bench_connect_locked(c);
}

// The interface set: a snapshot of the present devices' paths, taken in one
// request and enumerated here, as the setup library's sets are snapshots too.
struct BenchDeviceSet {
    std::vector<std::string> paths;
};

DeviceInfoSet bench_get_class_devs(const std::uint8_t* guid) {
    try {
        std::string req = bench_request(Op::GetClassDevs);
        req.append(reinterpret_cast<const char*>(guid), 16);
        std::string payload;
        if (!bench_call(req, payload)) return nullptr;
        benchwire::Reader r(payload);
        std::uint32_t count = 0;
        if (!r.u32(count)) return nullptr;
        auto set = std::make_unique<BenchDeviceSet>();
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint32_t length = 0;
            if (!r.u32(length) || length > r.remaining()) return nullptr;
            std::string_view rest = r.rest();
            set->paths.emplace_back(rest.substr(0, length));
            r = benchwire::Reader(rest.substr(length));
        }
        return set.release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

const BenchDeviceSet* as_set(DeviceInfoSet set) {
    return static_cast<BenchDeviceSet*>(set);
}

std::uint32_t bench_enum_interface(DeviceInfoSet set, const std::uint8_t*, std::uint32_t index) {
    constexpr std::uint32_t kErrorInvalidHandle = 6;
    if (set == nullptr) return kErrorInvalidHandle;
    return index < as_set(set)->paths.size() ? 0 : kErrorNoMoreItems;
}

bool bench_interface_path(DeviceInfoSet set, const std::uint8_t*, std::uint32_t index, char* path,
                          std::size_t capacity, std::size_t* required) {
    if (set == nullptr || index >= as_set(set)->paths.size()) return false;
    const std::string& text = as_set(set)->paths[index];
    if (required != nullptr) *required = text.size() + 1;
    if (path == nullptr || capacity < text.size() + 1) return false;
    std::memcpy(path, text.data(), text.size());
    path[text.size()] = '\0';
    return true;
}

void bench_destroy_set(DeviceInfoSet set) {
    delete static_cast<BenchDeviceSet*>(set);
}

PlatformHandle bench_open(const char* path, OpenMode mode) {
    try {
        std::string req = bench_request(Op::Open);
        benchwire::put_u8(req, mode == OpenMode::ReadOnlyShared ? 1 : 0);
        req += path;
        std::uint32_t handle = 0;
        if (!bench_call_u32(req, handle)) return kInvalidHandle;
        return static_cast<PlatformHandle>(handle);
    } catch (const std::bad_alloc&) {
        return kInvalidHandle;
    }
}

bool bench_device_control(PlatformHandle handle, std::uint32_t code, const void* in,
                          std::uint32_t in_size, void* out, std::uint32_t out_size,
                          std::uint32_t* returned) {
    if (returned != nullptr) *returned = 0;
    try {
        std::string req = bench_request(Op::DeviceControl);
        benchwire::put_u32(req, static_cast<std::uint32_t>(handle));
        benchwire::put_u32(req, code);
        benchwire::put_u32(req, out == nullptr ? 0 : out_size);
        if (in != nullptr) req.append(static_cast<const char*>(in), in_size);
        std::string answer;
        if (!bench_call(req, answer)) return false;
        // Never more than the caller's area, whatever the bench says.
        std::size_t n = out == nullptr ? 0 : std::min<std::size_t>(answer.size(), out_size);
        if (n > 0) std::memcpy(out, answer.data(), n);
        if (returned != nullptr) *returned = static_cast<std::uint32_t>(n);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool bench_read(PlatformHandle handle, void* buffer, std::uint32_t size, std::uint32_t* got) {
    if (got != nullptr) *got = 0;
    try {
        std::string req = bench_request(Op::Read);
        benchwire::put_u32(req, static_cast<std::uint32_t>(handle));
        benchwire::put_u32(req, size);
        std::string bytes;
        if (!bench_call(req, bytes)) return false;
        std::size_t n = std::min<std::size_t>(bytes.size(), size);
        if (n > 0) std::memcpy(buffer, bytes.data(), n);
        if (got != nullptr) *got = static_cast<std::uint32_t>(n);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool bench_write(PlatformHandle handle, const void* data, std::uint32_t size,
                 std::uint32_t* written) {
    if (written != nullptr) *written = 0;
    try {
        std::string req = bench_request(Op::Write);
        benchwire::put_u32(req, static_cast<std::uint32_t>(handle));
        req.append(static_cast<const char*>(data), size);
        std::uint32_t n = 0;
        if (!bench_call_u32(req, n)) return false;
        if (written != nullptr) *written = std::min(n, size);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

int bench_close(PlatformHandle handle) {
    try {
        std::string req = bench_request(Op::Close);
        benchwire::put_u32(req, static_cast<std::uint32_t>(handle));
        std::string ignored;
        return bench_call(req, ignored) ? 1 : 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

std::uint32_t bench_clock_ms() {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count());
}

std::uint32_t bench_os_family() {
    try {
        std::uint32_t family = 0;
        // Unreachable bench: report a family outside NT, where no driver is used.
        if (!bench_call_u32(bench_request(Op::OsFamily), family)) return 1;
        return family;
    } catch (const std::bad_alloc&) {
        return 1;
    }
}

std::uint8_t bench_port_in(std::uint16_t address) {
    try {
        std::string req = bench_request(Op::PortIn);
        benchwire::put_u16(req, address);
        std::string payload;
        // A port nobody answers reads as the floating bus.
        if (!bench_call(req, payload) || payload.empty()) return 0xFF;
        return static_cast<std::uint8_t>(payload[0]);
    } catch (const std::bad_alloc&) {
        return 0xFF;
    }
}

void bench_port_out(std::uint16_t address, std::uint8_t value) {
    try {
        std::string req = bench_request(Op::PortOut);
        benchwire::put_u16(req, address);
        benchwire::put_u8(req, value);
        std::string ignored;
        bench_call(req, ignored);
    } catch (const std::bad_alloc&) {
    }
}

const PlatformOps kBenchOps = {
    .name = "bench",
    .bind_setup = bench_bind_setup,
    .get_class_devs = bench_get_class_devs,
    .enum_interface = bench_enum_interface,
    .interface_path = bench_interface_path,
    .destroy_set = bench_destroy_set,
    .open = bench_open,
    .device_control = bench_device_control,
    .read = bench_read,
    .write = bench_write,
    .close = bench_close,
    .clock_ms = bench_clock_ms,
    .os_family = bench_os_family,
    .port_in = bench_port_in,
    .port_out = bench_port_out,
};

}  // namespace

const PlatformOps& bench_platform() {
    return kBenchOps;
}

}  // namespace zdx
