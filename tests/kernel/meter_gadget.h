// The bench's multimeter behind a USB serial adapter: a gadget of its own with
// one ACM function (the host sees a /dev/ttyACM*), whose gadget side
// (/dev/ttyGS*) the meter model answers on. Pulling the adapter is taking the
// gadget off its UDC.
#pragma once

#include <mutex>
#include <string>

#include "meter_model.h"

namespace zdx::gadget {

class MeterGadget {
  public:
    // `lock` guards what the meter's input reads (the calibrator's model).
    // `pullAfter` > 0: the adapter is pulled right after the reply to that
    // many readings.
    MeterGadget(std::string name, std::string udc, bench::MeterModel& meter, std::mutex& lock,
                int pullAfter);
    MeterGadget(const MeterGadget&) = delete;
    MeterGadget& operator=(const MeterGadget&) = delete;

    // Makes the gadget, binds it and serves the meter on a thread of its own
    // that lives as long as the process. False with a message on stderr.
    bool start();
    void unbind();

  private:
    // Ends when the line hangs up: the adapter is not plugged back.
    void serve(int tty);
    void answer(int tty, const std::string& line);

    std::string name_, udc_, gadgetDir_;
    bench::MeterModel& meter_;
    std::mutex& lock_;
    int pullAfter_;
};

}  // namespace zdx::gadget
