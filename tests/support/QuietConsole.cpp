#include "tests/support/QuietConsole.h"

#include <QRegularExpression>
#include <QTest>

namespace quillfern::testing {
namespace {

QtMessageHandler testLog = nullptr;

void failingHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // The offscreen platform says so whenever a window's size limits change; a desktop platform applies them.
    if (message == QLatin1String("This plugin does not support propagateSizeHints()"))
        return;
    const bool inTest = QTest::currentTestFunction() != nullptr;
    // QTest's own handler checks ignoreMessage first, so an expected warning still passes.
    if (type == QtWarningMsg && inTest)
        QTest::failOnWarning(
            QRegularExpression(QRegularExpression::anchoredPattern(QRegularExpression::escape(message))));
    testLog(type, context, message);
    if (type == QtCriticalMsg && inTest)
        QTest::qFail(qPrintable(QStringLiteral("Unexpected critical message: ") + message), context.file, context.line);
}

} // namespace

void failOnConsoleMessages()
{
    if (testLog)
        return;
    testLog = qInstallMessageHandler(failingHandler);
}

} // namespace quillfern::testing
