#include "Vantix.h"

#include "MainFrm.h"
#include "ScaleHelper.h"
#include "VersionInfo.h"
#include "diagnostics/ExceptionHandlers.h"
#include "diagnostics/QtInterface.h"
#include "diagnostics/snagwise.h"

#include <QApplication>
#include <QTextStream>

#include <cerrno>

CommandLine ParseCommandLine(const QStringList& arguments)
{
    CommandLine cl;
    // Only the first argument counts; the conventional options are honoured
    // there and nowhere else, so a file named like an option still opens
    // when it is not first.
    if (arguments.size() >= 2) {
        const QString& first = arguments.at(1);
        if (first == QLatin1String("--help") || first == QLatin1String("-h"))
            cl.action = CommandLine::Action::Help;
        else if (first == QLatin1String("--version"))
            cl.action = CommandLine::Action::Version;
        else
            cl.file = first;
    }
    return cl;
}

QString CommandLineHelp()
{
    return QStringLiteral(
        "Usage: vantix [FILE]\n"
        "Show the results of a parameter optimization in 3-D.\n\n"
        "  FILE         an optimization results file to open at start-up;\n"
        "               further arguments are ignored\n"
        "  --help       show this help and exit\n"
        "  --version    show the version and exit\n");
}

int VantixMain(int argc, char** argv)
{
    SnagwiseUtil::InstallQtClientInterface();
    auto* client = SnagwiseUtil::GetSnagwiseClient();
    SnagwiseUtil::InstallInvalidParameterHandler(client);
    SnagwiseUtil::InstallUnhandledExceptionFilter(client);
    SnagwiseUtil::InstallSeTranslator(client);

    // Help and version are answered before the application object exists:
    // it needs a display, and these must work without one (a terminal, ssh).
    QStringList raw;
    for (int i = 0; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    const VersionInfo version;
    const CommandLine early = ParseCommandLine(raw);
    if (early.action == CommandLine::Action::Help) {
        QTextStream(stdout) << CommandLineHelp();
        return 0;
    }
    if (early.action == CommandLine::Action::Version) {
        QTextStream(stdout) << "vantix " << QString::fromStdWString(version.productVersion) << "\n";
        return 0;
    }

    // Charts share one GL context group, so a chart can move between windows.
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QString::fromStdWString(version.registryCompany));
    QApplication::setApplicationName(QString::fromStdWString(version.registryProduct));
    QApplication::setApplicationVersion(QString::fromStdWString(version.productVersion));

    // Qt's own options (-platform, -style) are gone from arguments() now.
    const CommandLine cl = ParseCommandLine(QApplication::arguments());
    return RunApplication(cl);
}

int RunApplication(const CommandLine& cl, const std::function<void(CMainFrame&)>& started)
{
    int result = 0;
    {
        const auto scale = DPIAware::ScaleHelper::GetInstance(); // outlives the frame
        CMainFrame frame;
        frame.OnCreate();
        frame.resize(1280, 800);
        frame.show();
        {
            const int saved = errno;
            SnagwiseUtil::GetSnagwiseClient()->CheckErrors(static_cast<std::uint64_t>(frame.winId()));
            errno = saved;
        }
        if (!cl.file.isEmpty())
            frame.OpenChartFile(cl.file.toStdWString());
        if (started)
            started(frame);
        result = QApplication::exec();
    }
    return result;
}
