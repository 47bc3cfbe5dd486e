// The binding of the platform's setup library: made lazily by the first
// operation that needs it, attempted at most once per process.
#pragma once

#include "platform.h"

namespace zdx {

class SetupBinding {
  public:
    explicit SetupBinding(const PlatformOps& ops) : ops_(ops) {}

    // Binds on the first call; afterwards only reports. kOk when bound, else
    // kSetupMissing - after a failed attempt without asking the platform again.
    int bind();

    bool loaded() const { return loaded_; }
    bool load_allowed() const { return load_allowed_; }

  private:
    const PlatformOps& ops_;
    bool loaded_ = false;
    bool load_allowed_ = true;
};

}  // namespace zdx
