// The demonstration drivers' command line:
//   [--quit-after MS] [--snapshot FILE.png] [--scan PREFIX] [--] PROGRAM-ARGUMENTS...
// Everything that is not a driver option goes to the panel as its own command
// line, so a driver starts the panel exactly as the product would.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace zdx::demo {

struct DemoOptions {
    int quitAfterMs = -1;  // < 0: the panel stays open
    QString snapshot;      // empty: no picture at the close
    bool scan = false;     // one linearity measurement without an operator
    QString scanPrefix;    // its pictures' prefix; empty: no pictures
    QStringList programArguments;
};

// nullopt and `error` set when an option lacks its value or MS is no whole number >= 0.
std::optional<DemoOptions> ParseDemoOptions(const QStringList& arguments, QString& error);

}  // namespace zdx::demo
