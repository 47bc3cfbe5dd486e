// The skipped-step policy: every failure is caught, the next step runs, and
// what was skipped reaches the "zdx.cycle" debug log only when that is enabled.
#include <gtest/gtest.h>

#include <QLoggingCategory>
#include <QStringList>
#include <stdexcept>

#include "skip_step.h"

namespace {

QStringList logged;

void keep(QtMsgType, const QMessageLogContext& context, const QString& message) {
    logged << QString::fromLatin1(context.category) + ": " + message;
}

TEST(SkipStep, EveryFailureIsSkippedAndLoggedOnlyWhenAskedFor) {
    const QtMessageHandler previous = qInstallMessageHandler(keep);
    int ran = 0;
    zdx::skipOnError("silent", [] { throw std::runtime_error("not logged"); });
    EXPECT_TRUE(logged.isEmpty());  // debug output of the category is off by default

    QLoggingCategory::setFilterRules(QStringLiteral("zdx.cycle.debug=true"));
    zdx::skipOnError("first step", [] { throw std::runtime_error("library missing"); });
    zdx::skipOnError("second step", [] { throw 42; });
    zdx::skipOnError("third step", [&] { ++ran; });
    QLoggingCategory::setFilterRules(QString());
    qInstallMessageHandler(previous);

    EXPECT_EQ(ran, 1);
    EXPECT_EQ(logged, QStringList({"zdx.cycle: first step skipped: library missing",
                                   "zdx.cycle: second step skipped"}));
}

}  // namespace
