// Pictures of the program for the documentation, made by driving it the way a
// user would (dialogs answered by script):
//   app_screenshot chart <surface.ors> <out.png>
//       one chart window with a picked point shown in the status bar
//   app_screenshot program <surface.ors> <cloud.ors> <out.png>
//       the whole program: a surface with the water level on, and a point cloud
#include "ChildFrm.h"
#include "MainFrm.h"
#include "VantixView.h"

#include "support/ScriptedPrompts.h"
#include "support/WidgetClick.h"

#include <QApplication>
#include <QMdiArea>
#include <QStatusBar>
#include <QTest>

#include <cstdio>

using namespace vantix;

namespace {

CChildFrame* Open(CMainFrame& frame, test::ScriptedPrompts& prompts, const char* path)
{
    prompts.dialogAnswers.push_back([](QDialog&) { return int(IDOK); });
    frame.OpenChartFile(QString::fromLocal8Bit(path).toStdWString());
    QApplication::processEvents();
    return frame.ActiveChart();
}

// Clicks along the middle of the control until a point is picked.
bool PickSomething(CMainFrame& frame, CChildFrame* chart)
{
    QWidget* control = chart->View()->HostedControl();
    const QString ready = frame.UpdateUI().StatusPaneText();
    for (int dy = 0; dy < control->height() / 4; dy += 7)
        for (int dx = 0; dx < control->width() / 4; dx += 7) {
            test::Click(control, QPointF(control->width() * 0.55 - dx, control->height() * 0.5 + dy));
            if (chart->View()->Chart().Adapter().IsPointSelected())
                return true;
        }
    return false;
}

bool Save(QWidget& w, const char* path)
{
    QApplication::processEvents();
    QTest::qWait(200);
    if (!w.grab().save(QString::fromLocal8Bit(path), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", path);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (!((mode == QLatin1String("chart") && argc == 4) || (mode == QLatin1String("program") && argc == 5))) {
        std::fprintf(stderr, "usage: app_screenshot chart <surface.ors> <out.png>\n"
                             "       app_screenshot program <surface.ors> <cloud.ors> <out.png>\n");
        return 2;
    }
    test::ScriptedPrompts prompts;
    const ScopedPrompts installed(prompts);
    CMainFrame frame;
    frame.OnCreate();
    frame.resize(1100, 760);
    frame.show();
    QTest::qWaitForWindowExposed(&frame);

    CChildFrame* surface = Open(frame, prompts, argv[2]);
    if (!surface) {
        std::fprintf(stderr, "cannot open %s\n", argv[2]);
        return 1;
    }
    if (mode == QLatin1String("chart")) {
        surface->showMaximized();
        QApplication::processEvents();
        if (!PickSomething(frame, surface)) {
            std::fprintf(stderr, "no point picked\n");
            return 1;
        }
        return Save(frame, argv[3]) ? 0 : 1;
    }

    frame.OnCommand(CMainFrame::ID_WATER_LEVEL);
    for (int i = 0; i < 3; ++i)
        frame.OnCommand(CMainFrame::ID_WATER_UP);
    CChildFrame* cloud = Open(frame, prompts, argv[3]);
    if (!cloud) {
        std::fprintf(stderr, "cannot open %s\n", argv[3]);
        return 1;
    }
    frame.OnCommand(CMainFrame::ID_WINDOW_TILE_HORZ);
    frame.MdiArea()->setActiveSubWindow(surface);
    frame.OnIdle();
    PickSomething(frame, surface);
    frame.OnIdle();
    return Save(frame, argv[4]) ? 0 : 1;
}
