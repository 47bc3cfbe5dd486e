#include "acceptance_settings.h"

#include <QSettings>
#include <cmath>

namespace q270 {

AcceptanceSettings ReadAcceptanceSettings(const QString& application) {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("ZDX"),
                    application);
    store.beginGroup(QStringLiteral("Acceptance"));
    AcceptanceSettings s;
    const auto problem = [&s](const std::string& text) {
        s.problem += (s.problem.empty() ? "" : "; ") + text;
    };
    const QString limit = store.value(QStringLiteral("LinErrLimit")).toString().trimmed();
    if (!limit.isEmpty()) {
        bool ok = false;
        const double ppm = limit.toDouble(&ok);
        if (ok && std::isfinite(ppm) && ppm > 0)
            s.acceptance.limitPpm = ppm;
        else
            problem("Acceptance/LinErrLimit \"" + limit.toStdString() +
                    "\" is no positive number of ppm: no limit");
    }
    const QString rule = store.value(QStringLiteral("Rule")).toString().trimmed().toLower();
    if (!rule.isEmpty()) {
        if (const auto named = RuleNamed(rule.toStdString()))
            s.acceptance.rule = *named;
        else
            problem("Acceptance/Rule \"" + rule.toStdString() + "\" is no rule: guarded");
    }
    const QString tolerance =
        store.value(QStringLiteral("TrimTolerancePercent")).toString().trimmed();
    if (!tolerance.isEmpty()) {
        bool ok = false;
        const double percent = tolerance.toDouble(&ok);
        if (ok && std::isfinite(percent) && percent >= 0 && percent <= 100)
            s.trimTolerance = percent / 100;
        else
            problem("Acceptance/TrimTolerancePercent \"" + tolerance.toStdString() +
                    "\" is no percentage: 1 %");
    }
    return s;
}

}  // namespace q270
