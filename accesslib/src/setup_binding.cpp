#include "setup_binding.h"

#include "constants.h"

namespace zdx {

int SetupBinding::bind() {
    if (!loaded_ && load_allowed_) {
        // Cleared before the attempt: a failure must never be retried.
        load_allowed_ = false;
        if (ops_.bind_setup()) {
            loaded_ = true;
            load_allowed_ = true;
        }
    }
    return loaded_ ? kOk : kSetupMissing;
}

}  // namespace zdx
