// The interface module reached through serial numbers beginning "KX": it passes
// "CIO" lines to a Q610 behind it and plain Q270 lines to a Q270 behind it.
#pragma once

#include <memory>

#include "q270_model.h"
#include "q610_model.h"

namespace zdx::bench {

class InterfaceModule : public DeviceModel {
  public:
    InterfaceModule(std::unique_ptr<Q610Model> q610, std::unique_ptr<Q270Model> q270);

    std::string kind() const override { return "KX"; }
    std::optional<std::string> handleLine(std::string_view line) override;
    bool remote() const override;
    void setRemote(bool remote) override;

    Q610Model* q610() const { return q610_.get(); }
    Q270Model* q270() const { return q270_.get(); }

  private:
    std::unique_ptr<Q610Model> q610_;
    std::unique_ptr<Q270Model> q270_;
};

}  // namespace zdx::bench
