// CalCommand through the platform seam, the device's answer fuzzed (bytes in
// any pieces, at any time, NULs and line feeds anywhere, none at all), its
// pipes refused, its writes refused or cut short, and the command and device
// selector fuzzed. The result is a documented code; the caller's buffer is
// written only within its command and NUL; a successful answer is shorter than
// the command and follows the command that reached the device whole; both
// pipes are closed.
#include <cstring>

#include "constants.h"
#include "fake_platform.h"
#include "fuzz_support.h"
#include "library.h"

using namespace zdx::fuzz;

namespace {

constexpr char kGuard = '\xA5';
constexpr std::size_t kGuards = 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    zdx::testing::FakePlatform fake;
    fake.setup_present = in.byte() != 0xFF;
    fake.idle_read_ms = 1 + in.byte() % 60;
    zdx::testing::FakeDevice& device = fake.add_device("Q270S9-00417");
    fake.add_device("Q610-00123");
    const std::uint8_t faults = in.byte();
    device.write_refused = (faults & 0x01) != 0;
    device.write_short = (faults & 0x02) != 0;
    device.write_ms = (faults & 0x04) != 0 ? in.byte() : 0;
    if (faults & 0x08) device.refused_pipes.insert("PIPE00");
    if (faults & 0x10) device.refused_pipes.insert("PIPE01");
    for (int chunks = in.byte() % 6; chunks > 0; --chunks) {
        zdx::testing::Chunk chunk{in.text(120), in.byte()};
        device.answer.push_back(chunk);
    }

    zdx::Library library(fake.ops());
    const std::uint8_t selector = in.byte() % 4;
    const char* serial = selector == 0   ? "Q270S9-00417"
                         : selector == 1 ? nullptr
                         : selector == 2 ? "Q270S9"
                                         : "nobody";
    const int function = selector == 3 && in.flag() ? static_cast<int>(in.byte() % 8) - 2 : 0;
    const std::string command = in.text(110);
    std::vector<char> buffer(command.begin(), command.end());
    buffer.push_back('\0');
    const std::size_t given = buffer.size();
    buffer.insert(buffer.end(), kGuards, kGuard);
    int value = -77;
    const int result = library.cal_command(function, serial, buffer.data(), &value);
    for (std::size_t i = given; i < buffer.size(); ++i) FUZZ_CHECK(buffer[i] == kGuard);
    FUZZ_CHECK(fake.handles_open() == 0 || function != 0);
    if (function != 0) return 0;

    FUZZ_CHECK(result == zdx::kOk || result == zdx::kCmdRefused ||
               result == zdx::kCmdNoAnswerPipe || result == zdx::kCmdNoCommandPipe ||
               result == zdx::kCmdWriteFailed || result == zdx::kCmdNoAnswer);
    const std::size_t length = std::strlen(command.c_str());
    if (length > zdx::kMaxCommandChars) FUZZ_CHECK(result == zdx::kCmdRefused);
    if (result == zdx::kOk) {
        FUZZ_CHECK(value >= 1 && static_cast<std::size_t>(value) < length);
        FUZZ_CHECK(buffer[static_cast<std::size_t>(value)] == '\0');
        if (selector <= 1) FUZZ_CHECK(device.written == command.substr(0, length) + "\n");
    }
    return 0;
}
