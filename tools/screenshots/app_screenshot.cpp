// Pictures of the program for the documentation, made by driving it the way a
// user would (dialogs answered by script):
//   app_screenshot chart <surface.ors> <out.png>
//       one chart window with a picked point shown in the status bar
//   app_screenshot program <surface.ors> <cloud.ors> <out.png>
//       the whole program: a surface with the water level on, and a point cloud
//   app_screenshot legend <surface.ors> <out.png>
//       a chart of two slices of the file: colour bar and two-series legend
//   app_screenshot windows <surface.ors> <cloud.ors> <out.png>
//   app_screenshot export <surface.ors> <out.png>
//   app_screenshot legendmenu <surface.ors> <out.png>
//       the Window menu open over three charts, the Export Image dialog over a
//       chart: grabbed from the screen (run under an X server)
#include "ChildFrm.h"
#include "ExportImageDlg.h"
#include "InputConfigDlg.h"
#include "MainFrm.h"
#include "VantixView.h"

#include "support/ScriptedPrompts.h"
#include "support/WidgetClick.h"

#include <QApplication>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
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

// A second slice of the same file: its first held input two values up.
CChildFrame* InsertSecondSlice(CMainFrame& frame, test::ScriptedPrompts& prompts, const char* path)
{
    prompts.fileAnswers.push_back(QString::fromLocal8Bit(path).toStdWString());
    prompts.dialogAnswers.push_back([](QDialog& d) {
        static_cast<CInputConfigDlg&>(d).StepUp(2, 2);
        return int(IDOK);
    });
    frame.OnCommand(CMainFrame::ID_INSERT_DATA);
    QApplication::processEvents();
    return frame.ActiveChart();
}

// What the screen shows over the frame, menus and dialogs included.
bool SaveScreen(QWidget& frame, const char* path)
{
    QApplication::processEvents();
    QTest::qWait(400);
    const QRect r = frame.frameGeometry();
    if (!frame.screen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).save(QString::fromLocal8Bit(path), "PNG")) {
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
    const bool three = mode == QLatin1String("chart") || mode == QLatin1String("legend") || mode == QLatin1String("export") ||
                       mode == QLatin1String("legendmenu");
    const bool four = mode == QLatin1String("program") || mode == QLatin1String("windows");
    if (!((three && argc == 4) || (four && argc == 5))) {
        std::fprintf(stderr, "usage: app_screenshot chart|legend|export <surface.ors> <out.png>\n"
                             "       app_screenshot program|windows <surface.ors> <cloud.ors> <out.png>\n");
        return 2;
    }
    test::ScriptedPrompts prompts;
    const ScopedPrompts installed(prompts);
    CMainFrame frame;
    frame.OnCreate();
    frame.resize(1100, 760);
    frame.show();
    if (!QTest::qWaitForWindowExposed(&frame))
        std::fprintf(stderr, "the window was not shown; the picture may be blank\n");

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

    if (mode == QLatin1String("legend") || mode == QLatin1String("export") || mode == QLatin1String("legendmenu")) {
        surface->showMaximized();
        if (!InsertSecondSlice(frame, prompts, argv[2]))
            return 1;
        frame.OnIdle();
        if (mode == QLatin1String("legend"))
            return Save(frame, argv[3]) ? 0 : 1;
        if (mode == QLatin1String("legendmenu")) {
            // Prints where the first legend line is on the screen, then waits for
            // a right click there from outside (xdotool) to open the legend's menu.
            QWidget* control = surface->View()->HostedControl();
            QApplication::processEvents();
            for (int y = 0; y < 200; ++y)
                if (surface->View()->Chart().Adapter().SeriesAtLegend(QPoint(40, y)) == 0u) {
                    const QPoint at = control->mapToGlobal(QPoint(40, y + 4));
                    std::printf("%d %d\n", at.x(), at.y());
                    std::fflush(stdout);
                    break;
                }
            for (int k = 0; k < 100 && !QApplication::activePopupWidget(); ++k)
                QTest::qWait(100);
            if (!QApplication::activePopupWidget()) {
                std::fprintf(stderr, "no menu opened\n");
                return 1;
            }
            return SaveScreen(frame, argv[3]) ? 0 : 1;
        }
        // The dialog as File > Export Image opens it, shown without its loop.
        CExportImageDlg dlg(surface->View()->HostedControl()->size(),
                            QStringLiteral("/home/engineer/results/filter-tuning.png"), &frame);
        dlg.show();
        dlg.move(frame.geometry().center() - dlg.rect().center());
        return SaveScreen(frame, argv[3]) ? 0 : 1;
    }
    if (mode == QLatin1String("windows")) {
        Open(frame, prompts, argv[3]);
        Open(frame, prompts, argv[2]);
        InsertSecondSlice(frame, prompts, argv[2]);
        frame.OnCommand(CMainFrame::ID_WINDOW_TILE_HORZ);
        frame.OnIdle();
        QMenu* menu = frame.WindowMenu();
        const QRect item = frame.menuBar()->actionGeometry(menu->menuAction());
        menu->popup(frame.menuBar()->mapToGlobal(item.bottomLeft()));
        return SaveScreen(frame, argv[4]) ? 0 : 1;
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
