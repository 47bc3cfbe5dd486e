// One command line to a calibrator and its answer back (CalCommand function 0).
#pragma once

#include "constants.h"
#include "pipe_table.h"

namespace zdx {

class CommandExchange {
  public:
    explicit CommandExchange(PipeTable& pipes) : pipes_(pipes) {}

    // Sends the command in `buffer` to the device with this serial (null: the
    // first device) and returns the answer in `buffer` when it is shorter than
    // the command; `value` receives the bytes received. Results kOk,
    // kCmdRefused (command too long, or a null buffer or value), kCmdNoAnswerPipe,
    // kCmdNoCommandPipe, kCmdWriteFailed, kCmdNoAnswer.
    int run(const char* serial, char* buffer, int* value);

    // Slot numbers of the pipes of the last exchange.
    int answer_slot() const { return answer_slot_; }
    int command_slot() const { return command_slot_; }

  private:
    PipeTable& pipes_;
    int answer_slot_ = 0;
    int command_slot_ = 0;
    char exchange_[kExchangeAreaSize] = {};
};

}  // namespace zdx
