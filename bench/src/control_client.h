// The client side of the control interface: one command, one reply.
#pragma once

#include <string>

namespace zdx::bench {

// Sends a control command to the bench at `socketPath`. Returns false with a
// message in `reply` when the bench cannot be reached.
bool sendControl(const std::string& socketPath, const std::string& command, std::string& reply);

}  // namespace zdx::bench
