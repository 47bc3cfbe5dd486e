#include "demo_options.h"

namespace zdx::demo {

std::optional<DemoOptions> ParseDemoOptions(const QStringList& arguments, QString& error) {
    DemoOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const bool takesValue = argument == QLatin1String("--quit-after") ||
                                argument == QLatin1String("--snapshot") ||
                                argument == QLatin1String("--scan");
        if (argument == QLatin1String("--")) {
            options.programArguments += arguments.mid(i + 1);
            break;
        }
        if (!takesValue) {
            options.programArguments << argument;
            continue;
        }
        if (i + 1 >= arguments.size()) {
            error = argument + QLatin1String(" needs a value");
            return std::nullopt;
        }
        const QString& value = arguments[++i];
        if (argument == QLatin1String("--quit-after")) {
            bool ok = false;
            options.quitAfterMs = value.toInt(&ok);
            if (!ok || options.quitAfterMs < 0) {
                error = QLatin1String("--quit-after needs milliseconds, not ") + value;
                return std::nullopt;
            }
        } else if (argument == QLatin1String("--snapshot")) {
            options.snapshot = value;
        } else {
            options.scan = true;
            options.scanPrefix = value;
        }
    }
    return options;
}

}  // namespace zdx::demo
