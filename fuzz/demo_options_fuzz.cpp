// The command line of both demonstration drivers (the Q270's and the Q610's;
// the Q610 program itself takes no options): refused with a message when an
// option lacks its value or the milliseconds are no whole number >= 0,
// otherwise every argument that is no driver option reaches the panel, in order.
#include <QStringList>

#include "demo_options.h"
#include "fuzz_support.h"

using namespace zdx::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One argument per line.
    const QStringList arguments =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size))
            .split(QLatin1Char('\n'));
    QString error;
    const auto options = zdx::demo::ParseDemoOptions(arguments, error);
    if (!options) {
        FUZZ_CHECK(!error.isEmpty());
        return 0;
    }
    FUZZ_CHECK(options->quitAfterMs >= -1);
    FUZZ_CHECK(options->programArguments.size() <= arguments.size());
    // The panel's arguments are the given ones in order, less the driver's.
    qsizetype next = 0;
    for (const QString& argument : options->programArguments) {
        while (next < arguments.size() && arguments[next] != argument) ++next;
        FUZZ_CHECK(next < arguments.size());
        ++next;
    }
    if (options->scan) FUZZ_CHECK(arguments.contains(QStringLiteral("--scan")));
    return 0;
}
