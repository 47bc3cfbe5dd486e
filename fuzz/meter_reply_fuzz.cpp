// The meter reply conversion: every reply is a number in volts, exactly the
// one its whole text says, or refused for what it is; never another number.
#include "fuzz_support.h"
#include "meter_reading.h"
#include "reference_number.h"

using namespace zdx::fuzz;
using q270::ReadingFault;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string reply(reinterpret_cast<const char*>(data), size);
    const q270::MeterReading reading = q270::ParseMeterReply(reply);
    const ReferenceReading expected = ReferenceRead(reply);
    switch (expected.kind) {
        case Reference::Empty:
            FUZZ_CHECK(reading.fault == ReadingFault::Empty);
            break;
        case Reference::NotANumber:
            FUZZ_CHECK(reading.fault == ReadingFault::NotANumber);
            break;
        case Reference::Overload:
            FUZZ_CHECK(reading.fault == ReadingFault::Overload);
            break;
        case Reference::Underflow:
            FUZZ_CHECK(reading.fault == ReadingFault::Underflow);
            break;
        case Reference::Number:
            FUZZ_CHECK(reading.fault == ReadingFault::None);
            FUZZ_CHECK(reading.volts == expected.volts);
            break;
    }
    const std::string shown = q270::ReplyForDisplay(reply);
    FUZZ_CHECK(shown.size() <= 40);
    for (const char c : shown) FUZZ_CHECK(c >= 0x20 && c < 0x7F);
    return 0;
}
