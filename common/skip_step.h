// A failing step of a timer cycle or of a handler is skipped and the next one
// runs: above all a call into a library that cannot be bound, which throws
// LibraryMissing. What was skipped is logged, never shown to the operator
// (debug messages of the category "zdx.cycle", off unless enabled, e.g. by
// QT_LOGGING_RULES="zdx.cycle.debug=true").
//
// The rule for errors: codes at the C interface; typed results (enums,
// optional) inside C++; exceptions only for files, a library that cannot be
// bound and programmer errors; every catch that goes on logs what it dropped.
#pragma once

#include <QLoggingCategory>
#include <exception>

namespace zdx {

Q_DECLARE_LOGGING_CATEGORY(lcCycle)

// Logs that `what` was skipped and why (`reason` may be null); never throws.
void logSkipped(const char* what, const char* reason) noexcept;

template <typename Step>
void skipOnError(const char* what, Step&& step) noexcept {
    try {
        step();
    } catch (const std::exception& e) {
        logSkipped(what, e.what());
    } catch (...) {
        logSkipped(what, nullptr);
    }
}

}  // namespace zdx
