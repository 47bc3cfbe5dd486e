#include "reply_recorder.h"

#include "linearity_run.h"
#include "run_file.h"
#include "serial_line.h"

namespace q270 {

void ReplyRecorder::openWith(int portNumber, const QString& settings) {
    replies_.clear();
    collecting_ = false;
    ++runs_;
    startedAt_ = CurrentTimeIso8601();
    port_.openWith(portNumber, settings);
}

void ReplyRecorder::writeText(std::string_view text) {
    collecting_ = text.rfind(kMeasureQuery, 0) == 0;
    if (collecting_) replies_.emplace_back();
    port_.writeText(text);
}

std::string ReplyRecorder::readWaiting() {
    std::string arrived = port_.readWaiting();
    if (collecting_ && !replies_.empty() && replies_.back().size() < kReadLineLimit)
        replies_.back() += arrived.substr(0, kReadLineLimit - replies_.back().size());
    return arrived;
}

void ReplyRecorder::setReplies(std::vector<std::string> replies) {
    replies_ = std::move(replies);
    collecting_ = false;
}

}  // namespace q270
