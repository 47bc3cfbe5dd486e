// The bench's wire-frame reader and request decoding: from any byte stream the
// frames read are exactly the stream's length-prefixed bodies, in order, none
// beyond the largest body the format allows; every request handled gets a reply
// that begins with its status, and a successful one carries its results.
#include <sys/socket.h>
#include <unistd.h>

#include "bench.h"
#include "bench_socket_io.h"
#include "bench_wire.h"
#include "fuzz_support.h"
#include "server.h"

using namespace zdx::fuzz;
namespace wire = zdx::benchwire;

namespace {

// The stream goes through a socket in one piece; larger inputs are cut.
constexpr std::size_t kLargestStream = 100 * 1024;
// A read of an empty answer pipe is held a while: a few requests per input
// keep every input well under a second.
constexpr int kRequestsPerInput = 8;

zdx::bench::Bench& bench() {
    static zdx::bench::Bench* b = [] {
        auto* made = new zdx::bench::Bench;
        std::string error;
        made->load(zdx::bench::defaultScenarioJson(), error);
        return made;
    }();
    return *b;
}

void checkReply(std::uint8_t op, const std::string& reply) {
    wire::Reader in(reply);
    std::uint32_t status = 1, value = 0;
    FUZZ_CHECK(in.u32(status));
    if (status != 0) return;
    switch (static_cast<wire::Op>(op)) {
        case wire::Op::GetClassDevs: {
            FUZZ_CHECK(in.u32(value));
            for (std::uint32_t i = 0; i < value; ++i) {
                std::uint32_t length = 0;
                FUZZ_CHECK(in.u32(length));
                FUZZ_CHECK(in.remaining() >= length);
                wire::Reader after(
                    std::string_view(reply).substr(reply.size() - in.remaining() + length));
                in = after;
            }
            FUZZ_CHECK(in.remaining() == 0);
            break;
        }
        case wire::Op::Open:
        case wire::Op::Write:
        case wire::Op::OsFamily:
            FUZZ_CHECK(in.u32(value));
            break;
        case wire::Op::PortIn:
            FUZZ_CHECK(in.remaining() == 1);
            break;
        default:
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string stream(reinterpret_cast<const char*>(data), std::min(size, kLargestStream));
    int pair[2];
    FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) == 0);
    const int buffer = 4 * static_cast<int>(kLargestStream);
    ::setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    ::setsockopt(pair[0], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    FUZZ_CHECK(wire::send_all(pair[1], stream.data(), stream.size()));
    ::shutdown(pair[1], SHUT_WR);

    zdx::bench::FrameReader reader(pair[0]);
    std::size_t at = 0;
    int handled = 0;
    static zdx::bench::ClientId client = 0;
    ++client;
    std::string body;
    while (reader.next(body)) {
        FUZZ_CHECK(stream.size() >= at + 4);
        wire::Reader length(std::string_view(stream).substr(at, 4));
        std::uint32_t n = 0;
        FUZZ_CHECK(length.u32(n) && n == body.size() && n <= wire::kMaxBody);
        FUZZ_CHECK(stream.compare(at + 4, n, body) == 0);
        at += 4 + n;
        // Control commands are the tests' own door into the bench (loading
        // files, stopping it); they are not requests of the library.
        if (body.empty() || static_cast<wire::Op>(body[0]) == wire::Op::Control) continue;
        if (handled++ < kRequestsPerInput)
            checkReply(static_cast<std::uint8_t>(body[0]), bench().handle(client, body));
    }
    // What is left is no complete frame, or one longer than the format allows.
    if (stream.size() >= at + 4) {
        wire::Reader length(std::string_view(stream).substr(at, 4));
        std::uint32_t n = 0;
        length.u32(n);
        FUZZ_CHECK(n > wire::kMaxBody || stream.size() < at + 4 + n);
    }
    bench().dropClient(client);
    ::close(pair[0]);
    ::close(pair[1]);
    return 0;
}
