#include "command_exchange.h"

#include <cstdio>
#include <cstring>

namespace zdx {

int CommandExchange::run(const char* serial, char* buffer, int* value) {
    if (buffer == nullptr || value == nullptr) return kCmdRefused;
    // Never looks further than one character past the longest command.
    const void* end = std::memchr(buffer, '\0', kMaxCommandChars + 1);
    if (end == nullptr) return kCmdRefused;
    const auto length = static_cast<std::uint32_t>(static_cast<const char*>(end) - buffer);

    // An open that reports kSetupMissing is not caught here: the write below
    // then reports it too, and the exchange ends with kCmdWriteFailed.
    answer_slot_ = pipes_.open(serial, kAnswerPipe);
    if (answer_slot_ == kPipeOpenFailed) return kCmdNoAnswerPipe;
    command_slot_ = pipes_.open(serial, kCommandPipe);
    if (command_slot_ == kPipeOpenFailed) {
        pipes_.close(answer_slot_);
        return kCmdNoCommandPipe;
    }

    std::snprintf(exchange_, sizeof exchange_, "%s\n", buffer);
    if (pipes_.write(command_slot_, exchange_, length + 1, kWriteTimeoutMs) != kOk) {
        pipes_.close(answer_slot_);
        pipes_.close(command_slot_);
        return kCmdWriteFailed;
    }

    // An empty command sends a lone line feed and reads nothing.
    const bool empty_command = length == 0;
    std::uint32_t count = 0;
    if (!empty_command) {
        // A line cut short by the time-out still counts: only the number of
        // bytes delivered matters, not the read's own result.
        pipes_.read_line(answer_slot_, exchange_, sizeof exchange_,
                         length + static_cast<std::uint32_t>(kAnswerAllowance), kLineFeed, &count,
                         kReadTimeoutMs);
    }

    *value = static_cast<int>(count);
    buffer[0] = '\0';
    int result = kCmdNoAnswer;
    if (count >= 1 && count < length) {
        // `count` rules, not the text: an answer may carry NUL bytes.
        std::memcpy(buffer, exchange_, count);
        buffer[count] = '\0';
        result = kOk;
    }
    pipes_.close(answer_slot_);
    pipes_.close(command_slot_);
    return result;
}

}  // namespace zdx
