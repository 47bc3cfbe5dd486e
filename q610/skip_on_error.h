// The timer cycle and the handlers pass over a statement that fails (above
// all a call into a library that cannot be bound) and go on with the next.
#pragma once

namespace zdx::q610 {

template <class Statement>
void skipOnError(Statement&& statement) noexcept {
    try {
        statement();
    } catch (...) {
        // Skipped on purpose: the next statement runs as if this one had not.
    }
}

}  // namespace zdx::q610
