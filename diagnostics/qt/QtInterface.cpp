#include "diagnostics/QtInterface.h"

#include "diagnostics/ExceptionHandlers.h"

#include <QApplication>
#include <QMessageBox>
#include <QSettings>
#include <QThread>

#include <cstdio>

namespace SnagwiseUtil {

namespace {

void ShowFailureBox()
{
    static constexpr const char* kText = "Snagwise Init Failed.";
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app && QThread::currentThread() == app->thread()) {
        QMessageBox box(QMessageBox::Critical, QString(), QString::fromLatin1(kText), QMessageBox::Ok);
        box.exec();
    } else {
        std::fprintf(stderr, "%s\n", kText);
    }
}

bool FailureSettingPresent()
{
    return QSettings(QStringLiteral("Qorvex"), QStringLiteral("Snagwise")).contains(QStringLiteral("Default"));
}

// The handler that was installed before ours; messages go on to it.
QtMessageHandler g_previousMessage = nullptr;

void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if ((type == QtCriticalMsg || type == QtFatalMsg) && !ReportInvalidParameter())
        return;
    if (g_previousMessage)
        g_previousMessage(type, context, message);
}

} // namespace

void InstallQtClientInterface()
{
    SetClientInterface({&ShowFailureBox, &FailureSettingPresent});
}

void InstallInvalidParameterHandler(SnagwiseClient* client)
{
    ActivateInvalidParameterHandler(client);
    const QtMessageHandler previous = qInstallMessageHandler(&OnQtMessage);
    if (previous != &OnQtMessage)
        g_previousMessage = previous;
}

} // namespace SnagwiseUtil
