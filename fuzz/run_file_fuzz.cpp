// The run-file reader: a file is refused with a RunFileError, or read into a
// record of a complete run whose every reading's text says exactly its number
// (checked by an independent reading of the text), and which is written and
// read again unchanged.
#include "fuzz_support.h"
#include "reference_number.h"
#include "run_file.h"

using namespace zdx::fuzz;

namespace {

void checkReading(const q270::RunReading& reading) {
    FUZZ_CHECK(reading.volts >= q270::kLowestReadingVolts);
    FUZZ_CHECK(reading.volts <= q270::kHighestReadingVolts);
    const ReferenceReading text = ReferenceRead(reading.text);
    FUZZ_CHECK(text.kind == Reference::Number);
    FUZZ_CHECK(text.volts == reading.volts);
}

bool same(const q270::RunReading& a, const q270::RunReading& b) {
    return a.text == b.text && a.volts == b.volts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    q270::RunRecord record;
    try {
        record = q270::ParseRunFile(text, "fuzz.json");
    } catch (const q270::RunFileError& error) {
        FUZZ_CHECK(std::string_view(error.what()).substr(0, 11) == "fuzz.json: ");
        return 0;
    }
    for (std::size_t i = 1; i <= q270::kStepCount; ++i) {
        checkReading(record.Mw1[i]);
        checkReading(record.Mw2[i]);
        FUZZ_CHECK(record.ShuntSel[i] >= 0 && record.ShuntSel[i] <= 5);
    }
    FUZZ_CHECK(!record.calibratorSerial.empty());
    const q270::RunRecord back = q270::ParseRunFile(q270::RunFileText(record), "again.json");
    for (std::size_t i = 1; i <= q270::kStepCount; ++i) {
        FUZZ_CHECK(same(back.Mw1[i], record.Mw1[i]));
        FUZZ_CHECK(same(back.Mw2[i], record.Mw2[i]));
    }
    FUZZ_CHECK(back.ShuntSel == record.ShuntSel);
    FUZZ_CHECK(back.calibratorSerial == record.calibratorSerial);
    FUZZ_CHECK(back.calibratorId == record.calibratorId);
    FUZZ_CHECK(back.meterId == record.meterId);
    FUZZ_CHECK(back.time == record.time);
    return 0;
}
