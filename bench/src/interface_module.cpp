#include "interface_module.h"

namespace zdx::bench {

namespace {
constexpr char kCioPrefix[] =
    "\x12"
    "CIO";
}

InterfaceModule::InterfaceModule(std::unique_ptr<Q610Model> q610, std::unique_ptr<Q270Model> q270)
    : q610_(std::move(q610)), q270_(std::move(q270)) {}

std::optional<std::string> InterfaceModule::handleLine(std::string_view line) {
    if (line == "DCL") {
        if (q610_) q610_->handleLine(line);
        if (q270_) q270_->handleLine(line);
        return answerLine("0");
    }
    if (line.substr(0, 4) == kCioPrefix) {
        if (!q610_) return answerLine("?");
        std::string forwarded = "PAP";
        forwarded += line.substr(4);
        return q610_->handleLine(forwarded);
    }
    if (!q270_) return answerLine("?");
    return q270_->handleLine(line);
}

bool InterfaceModule::remote() const {
    if (q610_) return q610_->remote();
    return q270_ && q270_->remote();
}

void InterfaceModule::setRemote(bool remote) {
    if (q610_) q610_->setRemote(remote);
    if (q270_) q270_->setRemote(remote);
}

}  // namespace zdx::bench
