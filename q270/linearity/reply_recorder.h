// A meter port that keeps what the meter sent in reply to each measurement
// query, byte for byte, before the reply reader turns its "." into ",": the
// text a run file stores beside each reading.
#pragma once

#include <string>
#include <vector>

#include "meter_link.h"

namespace q270 {

class ReplyRecorder : public MeterPort {
  public:
    explicit ReplyRecorder(MeterPort& port) : port_(port) {}

    // Opening the port starts a new run: earlier replies are forgotten.
    void openWith(int portNumber, const QString& settings) override;
    std::string openFailure() const override { return port_.openFailure(); }
    bool isOpen() const override { return port_.isOpen(); }
    void close() override { port_.close(); }
    void writeText(std::string_view text) override;
    int waitingCount() override { return port_.waitingCount(); }
    std::string readWaiting() override;
    bool waitForData(int milliseconds) override { return port_.waitForData(milliseconds); }
    std::string lostReason() const override { return port_.lostReason(); }

    // One entry per measurement query of the run, in order: step i's two
    // readings are entries 2i - 2 and 2i - 1.
    const std::vector<std::string>& replies() const { return replies_; }
    // The reply texts of a run read back from a file.
    void setReplies(std::vector<std::string> replies);
    // How often the port was opened: a new count is a new run.
    int runs() const { return runs_; }
    // When the port was last opened, ISO 8601.
    const std::string& startedAt() const { return startedAt_; }

  private:
    MeterPort& port_;
    std::vector<std::string> replies_;
    bool collecting_ = false;  // the last line written was a measurement query
    int runs_ = 0;
    std::string startedAt_;
};

}  // namespace q270
