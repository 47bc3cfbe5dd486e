// CalCommand function 0, the pipe table beneath it, and the dispatch.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "constants.h"
#include "fake_platform.h"
#include "guard_page.h"
#include "library.h"

namespace zdx::testing {
namespace {

constexpr char kGuard = '\xA5';

class CommandExchangeTest : public ::testing::Test {
  protected:
    CommandExchangeTest() {
        q610 = &fake.add_device("A123");
        fake.add_device("B456");
    }

    // Runs one exchange with the command in a buffer of exactly its length
    // plus NUL, followed by guard bytes.
    int exchange(const std::string& command, const char* serial = "A123") {
        buffer.assign(command.begin(), command.end());
        buffer.push_back('\0');
        buffer.insert(buffer.end(), 8, kGuard);
        value = -77;
        return library.cal_command(0, serial, buffer.data(), &value);
    }
    std::string answer() const { return std::string(buffer.data()); }
    bool guards_intact() const {
        for (std::size_t i = buffer.size() - 8; i < buffer.size(); ++i) {
            if (buffer[i] != kGuard) return false;
        }
        return true;
    }
    // The pipes closed, in order, by path suffix.
    std::vector<std::string> closed_pipes() const {
        std::vector<std::string> pipes;
        for (const std::string& path : fake.closed) {
            if (path.size() > 6 && path.compare(path.size() - 6, 4, "PIPE") == 0) {
                pipes.push_back(path.substr(path.size() - 6));
            }
        }
        return pipes;
    }

    FakePlatform fake;
    Library library{fake.ops()};
    FakeDevice* q610 = nullptr;
    std::vector<char> buffer;
    int value = 0;
};

TEST_F(CommandExchangeTest, ShortAnswerIsReturnedWithItsLineFeed) {
    q610->answer = {{"OK\n", 5}};
    ASSERT_EQ(exchange("PAP 4"), kOk);
    EXPECT_EQ(q610->written, "PAP 4\n");
    EXPECT_EQ(value, 3);
    EXPECT_EQ(answer(), "OK\n");
    EXPECT_TRUE(guards_intact());
    EXPECT_EQ(closed_pipes(), (std::vector<std::string>{"PIPE00", "PIPE01"}));
    EXPECT_EQ(fake.handles_open(), 0u);
}

TEST_F(CommandExchangeTest, AnswerNotShorterThanCommandIsDropped) {
    q610->answer = {{"ABCD\n", 5}};
    EXPECT_EQ(exchange("PAP 4"), kCmdNoAnswer);
    EXPECT_EQ(value, 5);
    EXPECT_EQ(answer(), "");
    EXPECT_TRUE(guards_intact());

    // Without a line feed the read stops at the command length + 10.
    q610->answer = {{std::string(40, 'x'), 5}};
    EXPECT_EQ(exchange("PAP 4"), kCmdNoAnswer);
    EXPECT_EQ(value, 15);
    EXPECT_TRUE(guards_intact());
}

TEST_F(CommandExchangeTest, AnswerSplitOverReadsAndBytesCountedNotText) {
    q610->answer = {{"A\0", 10}, {"B\n", 10}};
    q610->answer.front().bytes = std::string("A\0", 2);
    ASSERT_EQ(exchange("K1A00000"), kOk);
    EXPECT_EQ(value, 4);
    EXPECT_EQ(std::memcmp(buffer.data(), "A\0B\n", 5), 0);
    EXPECT_TRUE(guards_intact());
}

TEST_F(CommandExchangeTest, SilenceAndPartialAnswerAtTimeOut) {
    EXPECT_EQ(exchange("PAP 4"), kCmdNoAnswer);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(answer(), "");

    q610->answer = {{"OK", 20}};
    ASSERT_EQ(exchange("PAP 4"), kOk);
    EXPECT_EQ(value, 2);
    EXPECT_EQ(answer(), "OK");

    // Bytes that arrive after 100 ms are discarded.
    q610->answer = {{"O", 20}, {"K\n", 90}};
    ASSERT_EQ(exchange("PAP 4"), kOk);
    EXPECT_EQ(answer(), "O");
}

TEST_F(CommandExchangeTest, TimeOutsSurviveTheClockWrap) {
    fake.clock = 0xFFFFFFF0u;
    q610->answer = {{"OK", 50}, {"\n", 49}};
    ASSERT_EQ(exchange("PAP 4"), kOk);
    EXPECT_EQ(answer(), "OK\n");

    fake.clock = 0xFFFFFFC0u;
    q610->answer = {{"OK\n", 101}};
    EXPECT_EQ(exchange("PAP 4"), kCmdNoAnswer);
    EXPECT_EQ(value, 0);

    fake.clock = 0xFFFFFFF0u;
    q610->write_ms = 41;
    EXPECT_EQ(exchange("PAP 4"), kCmdWriteFailed);
    q610->write_ms = 40;
    q610->answer = {{"OK\n", 1}};
    EXPECT_EQ(exchange("PAP 4"), kOk);
}

TEST_F(CommandExchangeTest, CommandLengthLimit) {
    const std::string longest(90, 'K');
    ASSERT_EQ(exchange(longest), kCmdNoAnswer);
    EXPECT_EQ(q610->written, longest + "\n");

    q610->written.clear();
    EXPECT_EQ(exchange(longest + "K"), kCmdRefused);
    EXPECT_EQ(q610->written, "");
    EXPECT_EQ(value, -77);
    EXPECT_EQ(answer(), longest + "K");
}

TEST_F(CommandExchangeTest, EmptyCommandSendsLoneLineFeedAndReadsNothing) {
    q610->answer = {{"X\n", 1}};
    EXPECT_EQ(exchange(""), kCmdNoAnswer);
    EXPECT_EQ(q610->written, "\n");
    EXPECT_EQ(value, 0);
    EXPECT_EQ(fake.reads, 0);
}

TEST_F(CommandExchangeTest, DeviceSelectionBySerial) {
    EXPECT_EQ(exchange("PAP 4", "A12"), kCmdNoAnswerPipe);
    EXPECT_EQ(exchange("PAP 4", "Z999"), kCmdNoAnswerPipe);
    EXPECT_EQ(answer(), "PAP 4");
    EXPECT_EQ(value, -77);

    fake.devices[1].answer = {{"B\n", 1}};
    ASSERT_EQ(exchange("PAP 4", "B456"), kOk);
    EXPECT_EQ(fake.devices[1].written, "PAP 4\n");

    q610->answer = {{"A\n", 1}};
    ASSERT_EQ(exchange("PAP 4", nullptr), kOk);
    EXPECT_EQ(answer(), "A\n");

    // Enumeration errors other than "no more items" are stepped over.
    fake.enum_errors[0] = 5;
    fake.devices[1].answer = {{"B\n", 1}};
    EXPECT_EQ(exchange("PAP 4", "B456"), kOk);

    fake.devices.clear();
    EXPECT_EQ(exchange("PAP 4"), kCmdNoAnswerPipe);
}

// The serial argument ends at the last readable byte: the search reads it to
// its NUL and never more than 255 bytes, so nothing past the page is touched.
TEST_F(CommandExchangeTest, SerialIsReadWithinItsBoundAtAPageEnd) {
    GuardPage page;
    q610->answer = {{"A\n", 1}};
    ASSERT_EQ(exchange("PAP 4", page.place(std::string_view("A123", 5))), kOk);
    EXPECT_EQ(answer(), "A\n");

    const std::string longest(126, 'L');
    fake.devices[1].serial = longest;
    fake.devices[1].answer = {{"L\n", 1}};
    EXPECT_EQ(exchange("PAP 4", page.place(std::string_view(longest.c_str(), 127))), kOk);
    EXPECT_EQ(exchange("PAP 4", page.place(std::string(254, 'L') + '\0')), kCmdNoAnswerPipe);

    // 255 bytes without a NUL, beginning with a serial that exists: no device.
    fake.opened.clear();
    q610->written.clear();
    EXPECT_EQ(exchange("PAP 4", page.place(longest + std::string(129, 'L'))), kCmdNoAnswerPipe);
    EXPECT_EQ(exchange("PAP 4", page.place(std::string(255, 'A'))), kCmdNoAnswerPipe);
    EXPECT_EQ(answer(), "PAP 4");
    EXPECT_EQ(value, -77);
    for (const std::string& path : fake.opened) EXPECT_EQ(path.find("PIPE"), std::string::npos);
    EXPECT_EQ(fake.handles_open(), 0u);
}

TEST_F(CommandExchangeTest, FailuresCloseTheAnswerPipeFirst) {
    q610->refused_pipes = {"PIPE01"};
    EXPECT_EQ(exchange("PAP 4"), kCmdNoCommandPipe);
    EXPECT_EQ(closed_pipes(), std::vector<std::string>{"PIPE00"});
    EXPECT_EQ(answer(), "PAP 4");

    q610->refused_pipes.clear();
    fake.closed.clear();
    q610->write_refused = true;
    EXPECT_EQ(exchange("PAP 4"), kCmdWriteFailed);
    EXPECT_EQ(closed_pipes(), (std::vector<std::string>{"PIPE00", "PIPE01"}));
    EXPECT_EQ(value, -77);

    q610->write_refused = false;
    q610->write_short = true;
    EXPECT_EQ(exchange("PAP 4"), kCmdWriteFailed);
    EXPECT_EQ(fake.handles_open(), 0u);
}

TEST_F(CommandExchangeTest, MissingSetupLibraryEndsInWriteFailure) {
    fake.setup_present = false;
    EXPECT_EQ(exchange("PAP 4"), kCmdWriteFailed);
    EXPECT_EQ(exchange("PAP 4"), kCmdWriteFailed);
    EXPECT_EQ(fake.bind_attempts, 1);
    EXPECT_EQ(answer(), "PAP 4");
    EXPECT_EQ(value, -77);
}

TEST_F(CommandExchangeTest, PipePathTooLongFailsTheOpen) {
    q610->path = std::string(248, 'p');
    q610->answer = {{"OK\n", 1}};
    EXPECT_EQ(exchange("PAP 4"), kOk);

    q610->path = std::string(249, 'p');
    fake.opened.clear();
    EXPECT_EQ(exchange("PAP 4"), kCmdNoAnswerPipe);
    for (const std::string& path : fake.opened) EXPECT_EQ(path.find("PIPE"), std::string::npos);
}

TEST_F(CommandExchangeTest, DispatchAndNullArguments) {
    char text[] = "PAP 4";
    int v = 9;
    for (int function : {5, -1, 1000}) {
        EXPECT_EQ(library.cal_command(function, "A123", text, &v), kCmdBadFunction);
    }
    EXPECT_EQ(library.cal_command(0, "A123", nullptr, &v), kCmdRefused);
    EXPECT_EQ(library.cal_command(0, "A123", text, nullptr), kCmdRefused);
    EXPECT_EQ(library.cal_command(1, nullptr, nullptr, nullptr), kCmdRefused);
    EXPECT_TRUE(fake.opened.empty());
    EXPECT_EQ(v, 9);
}

class PipeTableTest : public ::testing::Test {
  protected:
    PipeTableTest() { device = &fake.add_device("A1"); }
    FakePlatform fake;
    SetupBinding binding{fake.ops()};
    DeviceFinder finder{fake.ops(), binding};
    PipeTable pipes{fake.ops(), binding, finder};
    FakeDevice* device = nullptr;
};

TEST_F(PipeTableTest, SlotsRunOutAndAreReused) {
    for (int i = 0; i < kPipeSlots; ++i) ASSERT_EQ(pipes.open("A1", "PIPE00"), i);
    EXPECT_EQ(pipes.open("A1", "PIPE00"), kPipeOpenFailed);
    EXPECT_NE(pipes.close(17), 0);
    EXPECT_EQ(pipes.slot(17).buffer_size, kPipeBufferSize);
    EXPECT_EQ(pipes.open("A1", "PIPE00"), 17);
    EXPECT_EQ(pipes.close(-1), 0);
    EXPECT_EQ(pipes.close(64), 0);
    EXPECT_NE(pipes.close(0), 0);
    EXPECT_EQ(pipes.close(0), 0);
    char line[4];
    std::uint32_t count = 5;
    EXPECT_EQ(pipes.read_line(0, line, sizeof line, 3, '\n', &count, 100), kPipeBadSlot);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(pipes.write(70, "x", 1, 40), kPipeBadSlot);
}

TEST_F(PipeTableTest, ReadLineStaysWithinItsMaximumAndKeepsTheRest) {
    device->answer = {{"ab\ncdefgh", 1}};
    const int slot = pipes.open("A1", "PIPE00");
    char line[8];
    std::memset(line, kGuard, sizeof line);
    std::uint32_t count = 0;
    ASSERT_EQ(pipes.read_line(slot, line, 5, 10, '\n', &count, 100), kOk);
    EXPECT_EQ(count, 3u);
    EXPECT_STREQ(line, "ab\n");

    // The rest of the buffer serves the next read; the destination of 5
    // bytes takes at most 4 of them, with no NUL after the fourth.
    std::memset(line, kGuard, sizeof line);
    ASSERT_EQ(pipes.read_line(slot, line, 5, 10, '\n', &count, 100), kOk);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(std::memcmp(line, "cdef", 4), 0);
    EXPECT_EQ(line[4], kGuard);
    EXPECT_EQ(fake.reads, 1);
}

TEST_F(PipeTableTest, ClosedSetupReportsOnEveryOperation) {
    fake.setup_present = false;
    char line[4];
    std::uint32_t count = 0;
    EXPECT_EQ(pipes.open("A1", "PIPE00"), kSetupMissing);
    EXPECT_EQ(pipes.close(0), kSetupMissing);
    EXPECT_EQ(pipes.write(0, "x", 1, 40), kSetupMissing);
    EXPECT_EQ(pipes.read_line(0, line, sizeof line, 3, '\n', &count, 100), kSetupMissing);
    EXPECT_EQ(fake.bind_attempts, 1);
}

}  // namespace
}  // namespace zdx::testing
