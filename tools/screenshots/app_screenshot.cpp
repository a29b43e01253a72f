// Pictures of the program for the documentation (docs/images), made by driving
// it the way a user would, dialogs answered by script:
//   app_screenshot dialog|ranges|chart|legend|legendmenu|export <surface.ors> <out.png>
//   app_screenshot program|windows <surface.ors> <cloud.ors> <out.png>
// dialog: the Data Representation dialog on opening the file, the first fixed
// input pinned and the value editor open on the second; ranges: the first held
// at "All", the second over a range. chart: a picked point in the status bar.
// legend: two slices of the file, colour bar and legend; legendmenu and export:
// the legend's menu or the Export Image dialog over that chart. program: a
// surface with the water level on beside a point cloud. windows: the Window
// menu over three charts. Menus and dialogs are grabbed from the screen (run
// under an X server).
#include "ChildFrm.h"
#include "ExportImageDlg.h"
#include "InputConfigDlg.h"
#include "MainFrm.h"
#include "ValueEdit.h"
#include "VantixView.h"

#include "support/ScriptedPrompts.h"
#include "support/WidgetClick.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTest>

#include <cstdio>
#include <optional>

using namespace vantix;

namespace {

int Fail(const char* what, const char* argument = "")
{
    std::fprintf(stderr, "%s%s\n", what, argument);
    return 1;
}

// The widget's own picture or, for menus and dialogs over it, the screen's.
int Save(QWidget& w, const char* path, bool screen = false)
{
    QApplication::processEvents();
    QTest::qWait(screen ? 400 : 200);
    const QRect r = w.frameGeometry();
    const QPixmap picture = screen ? w.screen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()) : w.grab();
    return picture.save(QString::fromLocal8Bit(path), "PNG") ? 0 : Fail("cannot write ", path);
}

int SaveDialog(CInputConfigDlg& dlg, bool ranges, const char* path)
{
    dlg.show();
    dlg.activateWindow();
    if (!QTest::qWaitForWindowExposed(&dlg))
        std::fprintf(stderr, "the dialog was not shown; the picture may be blank\n");
    CInputList& list = dlg.GetInputList();
    const auto type = [&](int row, const QString& text) {
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.CellRect(row, 2).center());
        list.m_ValueHandler.GetEdit()->selectAll();
        QTest::keyClicks(list.m_ValueHandler.GetEdit(), text);
        QTest::keyClick(list.m_ValueHandler.GetEdit(), Qt::Key_Return);
    };
    if (ranges && list.GetItemCount() >= 2) {
        type(0, QStringLiteral("All"));
        const InputInfo& in = dlg.Input(static_cast<std::size_t>(list.GetInputIndex(1)));
        const std::size_t n = in.values.size();
        type(1, NumberToText(in.values[n / 4].second.value) + QStringLiteral(":") +
                    NumberToText(in.values[3 * n / 4].second.value));
    } else if (list.GetItemCount() >= 2) {
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.CellRect(0, 0).center());
        QCoreApplication::processEvents();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.CellRect(1, 2).center());
        QTest::keyClick(list.m_ValueHandler.GetEdit(), Qt::Key_Up);
    }
    return Save(dlg, path);
}

CChildFrame* Open(CMainFrame& frame, test::ScriptedPrompts& prompts, const char* path)
{
    prompts.dialogAnswers.push_back([](QDialog&) { return int(IDOK); });
    frame.OpenChartFile(QString::fromLocal8Bit(path).toStdWString());
    QApplication::processEvents();
    return frame.ActiveChart();
}

// Clicks along the middle of the control until a point is picked.
bool PickSomething(CChildFrame* chart)
{
    QWidget* control = chart->View()->HostedControl();
    for (int dy = 0; dy < control->height() / 4; dy += 7)
        for (int dx = 0; dx < control->width() / 4; dx += 7) {
            test::Click(control, QPointF(control->width() * 0.55 - dx, control->height() * 0.5 + dy));
            if (chart->View()->Chart().Adapter().IsPointSelected())
                return true;
        }
    return false;
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

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const bool one = QStringList{"dialog", "ranges", "chart", "legend", "legendmenu", "export"}.contains(mode);
    if (!((one && argc == 4) || ((mode == "program" || mode == "windows") && argc == 5))) {
        std::fprintf(stderr, "usage: app_screenshot dialog|ranges|chart|legend|legendmenu|export <surface.ors> <out.png>\n"
                             "       app_screenshot program|windows <surface.ors> <cloud.ors> <out.png>\n");
        return 2;
    }
    const char* out = argv[argc - 1];
    test::ScriptedPrompts prompts;
    const ScopedPrompts installed(prompts);
    CMainFrame frame;
    frame.OnCreate();
    frame.resize(1100, 760);
    frame.show();
    if (!QTest::qWaitForWindowExposed(&frame))
        std::fprintf(stderr, "the window was not shown; the picture may be blank\n");

    if (mode == "dialog" || mode == "ranges") {
        std::optional<int> result;
        prompts.dialogAnswers.push_back([&](QDialog& d) {
            result = SaveDialog(static_cast<CInputConfigDlg&>(d), mode == "ranges", out);
            return int(IDCANCEL);
        });
        frame.OpenChartFile(QString::fromLocal8Bit(argv[2]).toStdWString());
        return result ? *result : Fail("no dialog for ", argv[2]);
    }
    CChildFrame* surface = Open(frame, prompts, argv[2]);
    if (!surface)
        return Fail("cannot open ", argv[2]);
    if (mode == "chart") {
        surface->showMaximized();
        QApplication::processEvents();
        return PickSomething(surface) ? Save(frame, out) : Fail("no point picked");
    }
    if (one) { // legend, legendmenu, export
        surface->showMaximized();
        if (!InsertSecondSlice(frame, prompts, argv[2]))
            return 1;
        frame.OnIdle();
        QWidget* control = surface->View()->HostedControl();
        if (mode == "legendmenu") { // a right click on the first legend line
            QApplication::processEvents();
            for (int y = 0; y < 200; ++y)
                if (surface->View()->Chart().Adapter().SeriesAtLegend(QPoint(40, y)) == 0u) {
                    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(40, y + 4), control->mapToGlobal(QPoint(40, y + 4)));
                    QApplication::sendEvent(control, &click);
                    break;
                }
            return QApplication::activePopupWidget() ? Save(frame, out, true) : Fail("no menu opened");
        }
        if (mode == "legend")
            return Save(frame, out);
        // The dialog as File > Export Image opens it, shown without its loop.
        CExportImageDlg dlg(control->size(), QStringLiteral("/home/engineer/results/filter-tuning.png"), &frame);
        dlg.show();
        dlg.move(frame.geometry().center() - dlg.rect().center());
        return Save(frame, out, true);
    }
    if (mode == "windows") {
        Open(frame, prompts, argv[3]);
        Open(frame, prompts, argv[2]);
        InsertSecondSlice(frame, prompts, argv[2]);
        frame.OnCommand(CMainFrame::ID_WINDOW_TILE_HORZ);
        frame.OnIdle();
        QMenu* menu = frame.WindowMenu();
        menu->popup(frame.menuBar()->mapToGlobal(frame.menuBar()->actionGeometry(menu->menuAction()).bottomLeft()));
        return Save(frame, out, true);
    }
    frame.OnCommand(CMainFrame::ID_WATER_LEVEL);
    for (int i = 0; i < 3; ++i)
        frame.OnCommand(CMainFrame::ID_WATER_UP);
    if (!Open(frame, prompts, argv[3]))
        return Fail("cannot open ", argv[3]);
    frame.OnCommand(CMainFrame::ID_WINDOW_TILE_HORZ);
    frame.MdiArea()->setActiveSubWindow(surface);
    frame.OnIdle();
    PickSomething(surface);
    frame.OnIdle();
    return Save(frame, out);
}
