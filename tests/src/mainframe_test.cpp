// The main frame, its options and About dialogs, and start-up.
#include "AppTestSupport.h"

#include "RendererSetting.h"
#include "Vantix.h"
#include "VersionInfo.h"
#include "VisualizeOptionsDlg.h"
#include "OrsFormat.h"
#include "aboutdlg.h"
#include "Chart.h"
#include "FileHistory.h"
#include "ExportImageDlg.h"
#include "LoadChoiceDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QToolBar>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

#include <gmock/gmock.h>

using namespace vantix;
using namespace vantix::test;
using ::testing::HasSubstr;

namespace {

class MainFrameTest : public AppTest {};

QString Label(const QDialog& dlg)
{
    return dlg.findChild<QLabel*>(QString::number(CVisualizeOptionsDlg::IDC_FOV_LABEL))->text();
}

} // namespace

TEST_F(MainFrameTest, WithoutAChartTheChartCommandsAreOff)
{
    EXPECT_EQ(m_frame->windowTitle(), QStringLiteral("Vantix Vantix"));
    m_frame->OnIdle();
    CUpdateUI& ui = m_frame->UpdateUI();
    for (unsigned id : {CMainFrame::ID_INSERT_DATA, CMainFrame::ID_WATER_LEVEL, CMainFrame::ID_WIREFRAME,
                        CMainFrame::ID_FILE_SAVE_AS, CMainFrame::ID_WATER_UP, CMainFrame::ID_WATER_DOWN,
                        CMainFrame::ID_VIEW_TOP, CMainFrame::ID_VIEW_FRONT, CMainFrame::ID_VIEW_SIDE}) {
        EXPECT_FALSE(ui.IsEnabled(id)) << id;
        EXPECT_FALSE(m_frame->Action(id)->isEnabled()) << id;
    }
    m_frame->UpdateSeriesMenu();
    EXPECT_FALSE(m_frame->SeriesMenu()->menuAction()->isEnabled());
    EXPECT_TRUE(m_frame->SeriesMenu()->actions().isEmpty());
    EXPECT_TRUE(ui.IsChecked(CMainFrame::ID_VIEW_TOOLBAR));
    EXPECT_TRUE(ui.IsChecked(CMainFrame::ID_VIEW_STATUS_BAR));
    EXPECT_EQ(StatusText(), QStringLiteral("Ready"));

    m_frame->OnCommand(CMainFrame::ID_CHART_OPTIONS);
    EXPECT_TRUE(prompts.dialogs.empty());
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(m_frame->Charts().empty());

    // Toolbar and status bar toggles.
    m_frame->OnCommand(CMainFrame::ID_VIEW_STATUS_BAR);
    EXPECT_FALSE(m_frame->statusBar()->isVisible());
    EXPECT_FALSE(ui.IsChecked(CMainFrame::ID_VIEW_STATUS_BAR));
    m_frame->OnCommand(CMainFrame::ID_VIEW_STATUS_BAR);
    EXPECT_TRUE(m_frame->statusBar()->isVisible());
    m_frame->OnCommand(CMainFrame::ID_VIEW_TOOLBAR);
    EXPECT_FALSE(ui.IsChecked(CMainFrame::ID_VIEW_TOOLBAR));
}

TEST_F(MainFrameTest, NewChartCancelledLeavesNoWindow)
{
    QTest::keyClick(m_frame.get(), Qt::Key_N, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_EQ(prompts.fileDialogs.size(), 1u);
    EXPECT_EQ(prompts.fileDialogs[0].mode, FileDialogRequest::Mode::Open);
    EXPECT_TRUE(m_frame->Charts().empty());

    prompts.fileAnswers.push_back(Sample());
    prompts.dialogAnswers.push_back(AcceptDialog);
    m_frame->OnCommand(CMainFrame::ID_FILE_NEW);
    EXPECT_EQ(m_frame->Charts().size(), 1u);
}

// Open, its button and Ctrl+O make a chart titled with its file and slice;
// the file goes first in the recent files, the dialog keeps its folder, and
// both outlive the frame.
TEST_F(MainFrameTest, OpenMakesAChartAndRecentFilesAndTheFolderSurviveARestart)
{
    QAction* open = m_frame->Action(CMainFrame::ID_FILE_OPEN);
    EXPECT_TRUE(open->isEnabled());
    EXPECT_TRUE(m_frame->findChild<QToolBar*>()->actions().contains(open));
    EXPECT_TRUE(m_frame->RecentFileActions().empty());
    for (int i = 0; i < 2; ++i) {
        prompts.fileAnswers.push_back(Sample());
        prompts.dialogAnswers.push_back(AcceptDialog);
        if (i == 0)
            QTest::keyClick(m_frame.get(), Qt::Key_O, Qt::ControlModifier);
        else
            open->trigger();
        ASSERT_EQ(m_frame->Charts().size(), std::size_t(i + 1));
    }
    CChart& doc = m_frame->ActiveChart()->View()->Chart();
    EXPECT_EQ(m_frame->ActiveChart()->windowTitle().toStdWString(),
              L"filter-tuning.ors - " + doc.GetXAxisTitle() + L" / " + doc.GetYAxisTitle() + L" - " +
                  doc.GetFunctionTitle());
    const QString folder = QFileInfo(QString::fromStdWString(Sample())).absolutePath();
    EXPECT_TRUE(prompts.fileDialogs[0].folder.empty());
    EXPECT_EQ(QString::fromStdWString(prompts.fileDialogs[1].folder), folder);

    // Nine files opened: the latest eight remain, most recent first.
    for (int i = 1; i <= 9; ++i)
        AddRecentFile(ScratchFile(QStringLiteral("f%1.ors").arg(i)).toStdWString());
    AddRecentFile(L"postgresql://me:secret@db/study");
    AddRecentFile(Sample());
    CMainFrame second;
    second.OnCreate();
    const std::vector<QAction*> recent = second.RecentFileActions();
    ASSERT_EQ(recent.size(), kRecentFilesMax);
    EXPECT_EQ(recent[0]->text(), QStringLiteral("&1 filter-tuning.ors"));
    EXPECT_EQ(recent[1]->text(), QStringLiteral("&2 postgresql://me@db/study")); // never the password
    EXPECT_EQ(recent[1]->data().toString(), QStringLiteral("postgresql://me@db/study")); // not even stored
    EXPECT_EQ(recent[2]->data().toString(), ScratchFile(QStringLiteral("f9.ors")));
    EXPECT_EQ(recent[7]->data().toString(), ScratchFile(QStringLiteral("f4.ors")));
    prompts.fileAnswers.push_back(std::nullopt);
    second.OnCommand(CMainFrame::ID_FILE_NEW);
    EXPECT_EQ(QString::fromStdWString(prompts.fileDialogs.back().folder), folder);

    // A recent entry opens its file.
    prompts.dialogAnswers.push_back(AcceptDialog);
    m_frame->RecentFileActions().front()->trigger();
    EXPECT_EQ(m_frame->Charts().size(), 3u);
}

// Dropped files open one chart each; the Window menu lists the charts, the
// active one checked, and an entry activates its chart.
TEST_F(MainFrameTest, DroppedFilesOpenChartsThatTheWindowMenuLists)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdWString(Sample())),
                  QUrl::fromLocalFile(QString::fromStdWString(Sample("point-cloud.ors")))});
    prompts.dialogAnswers.push_back(AcceptDialog);
    prompts.dialogAnswers.push_back(AcceptDialog);
    const QPoint centre = m_frame->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_frame.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_frame.get(), &drop);
    QApplication::processEvents();
    const std::vector<CChildFrame*> charts = m_frame->Charts();
    ASSERT_EQ(charts.size(), 2u);

    m_frame->UpdateWindowMenu();
    std::vector<QAction*> entries;
    for (QAction* a : m_frame->WindowActions())
        if (a->isCheckable())
            entries.push_back(a);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0]->text(), QStringLiteral("&1 ") + charts[0]->windowTitle());
    EXPECT_FALSE(entries[0]->isChecked());
    EXPECT_TRUE(entries[1]->isChecked());
    entries[0]->trigger();
    EXPECT_EQ(m_frame->ActiveChart(), charts[0]);
    EXPECT_EQ(prompts.unexpected, 0);
}

// OK on a slice without records is refused with a message; cancelling then
// leaves no chart window behind.
TEST_F(MainFrameTest, AnEmptySliceIsRefusedAndMakesNoWindow)
{
    // x, y on a 2 x 2 grid under every (p, q) but (1, 1).
    ors::OrsHeader h;
    h.creator = "test";
    h.inputs = {{"G", "x"}, {"G", "y"}, {"H", "p"}, {"H", "q"}};
    h.functions = {"f"};
    std::vector<double> x, y, p, q, f;
    for (int a = 0; a < 2; ++a)
        for (int b = 0; b < 2; ++b)
            for (int c = 0; c < 4 && !(a == 1 && b == 1); ++c) {
                x.push_back(c / 2), y.push_back(c % 2), p.push_back(a), q.push_back(b), f.push_back(c + a + b);
            }
    h.recordCount = std::uint32_t(f.size());
    const std::wstring path = ScratchFile(QStringLiteral("holed.ors")).toStdWString();
    ors::WriteOrsFile(path, h, std::vector<const double*>{x.data(), y.data(), p.data(), q.data()},
                      std::vector<const double*>{f.data()});

    prompts.fileAnswers.push_back(path);
    prompts.dialogAnswers.push_back([](QDialog& d) {
        auto& dlg = static_cast<CInputConfigDlg&>(d);
        dlg.HoldRange(2, 1, 1);
        dlg.HoldRange(3, 1, 1);
        dlg.findChild<QPushButton*>(QStringLiteral("1"))->click();
        EXPECT_TRUE(dlg.isVisible());
        dlg.findChild<QPushButton*>(QStringLiteral("2"))->click();
        return dlg.result();
    });
    m_frame->OnCommand(CMainFrame::ID_FILE_NEW);
    QApplication::processEvents();
    EXPECT_TRUE(m_frame->Charts().empty());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_THAT(prompts.messages[0].text, HasSubstr(L"holds none of the 12 records"));
}

TEST_F(MainFrameTest, OptionsApplyToAllReachEveryChartOnceAndKeepTheActiveOne)
{
    std::vector<CChildFrame*> charts;
    for (int i = 0; i < 3; ++i) {
        charts.push_back(OpenAccepted(Sample()));
        ASSERT_NE(charts.back(), nullptr);
        charts.back()->SendChildMessage(WM_CHILD_SETFOV, 50 + 10 * i, 0);
    }
    m_frame->MdiArea()->setActiveSubWindow(charts[1]);
    for (CChildFrame* c : charts)
        c->ResetMessageCounts();
    prompts.dialogs.clear();

    prompts.dialogAnswers.push_back([](QDialog& d) {
        auto& dlg = static_cast<CVisualizeOptionsDlg&>(d);
        EXPECT_EQ(Label(dlg), QStringLiteral("60 degree")); // the active chart's value
        dlg.trackbar()->triggerAction(QAbstractSlider::SliderToMaximum);
        dlg.findChild<QCheckBox*>(QString::number(CVisualizeOptionsDlg::IDC_APPLY_ALL))->setChecked(true);
        dlg.findChild<QCheckBox*>(QString::number(CVisualizeOptionsDlg::IDC_TRACKING))->setChecked(false);
        dlg.findChild<QPushButton*>(QStringLiteral("1"))->click();
        return dlg.result();
    });
    m_frame->OnCommand(CMainFrame::ID_CHART_OPTIONS);
    ASSERT_EQ(prompts.dialogs.size(), 1u);
    EXPECT_EQ(m_frame->ActiveChart(), charts[1]);
    for (CChildFrame* c : charts) {
        EXPECT_EQ(c->MessageCount(WM_CHILD_SETFOV), 1);
        EXPECT_EQ(c->MessageCount(WM_CHILD_SETSELECTION), 1);
        int fov = 0, selection = -1;
        c->SendChildMessage(WM_CHILD_GETFOV, 0, reinterpret_cast<std::intptr_t>(&fov));
        c->SendChildMessage(WM_CHILD_GETSELECTION, 0, reinterpret_cast<std::intptr_t>(&selection));
        EXPECT_EQ(fov, 120);
        EXPECT_EQ(selection, 0);
    }
    // The renderer was not changed: no message, nothing written.
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_FALSE(ReadVideoModeSetting().has_value());

    // Without Apply to All only the active chart changes; Cancel changes nothing.
    prompts.dialogAnswers.push_back([](QDialog& d) {
        auto& dlg = static_cast<CVisualizeOptionsDlg&>(d);
        dlg.ShowFov(75);
        dlg.findChild<QPushButton*>(QStringLiteral("1"))->click();
        return dlg.result();
    });
    m_frame->OnCommand(CMainFrame::ID_CHART_OPTIONS);
    prompts.dialogAnswers.push_back([](QDialog& d) {
        auto& dlg = static_cast<CVisualizeOptionsDlg&>(d);
        dlg.trackbar()->triggerAction(QAbstractSlider::SliderToMinimum);
        dlg.reject();
        return int(IDCANCEL);
    });
    m_frame->OnCommand(CMainFrame::ID_CHART_OPTIONS);
    std::vector<int> fovs;
    for (CChildFrame* c : charts) {
        int fov = 0;
        c->SendChildMessage(WM_CHILD_GETFOV, 0, reinterpret_cast<std::intptr_t>(&fov));
        fovs.push_back(fov);
    }
    EXPECT_EQ(fovs, (std::vector<int>{120, 75, 120}));
}

TEST_F(MainFrameTest, ChangingTheRendererAsksToReopenAndPersistsTheChoice)
{
    CChildFrame* chart = OpenAccepted(Sample());
    ASSERT_NE(chart, nullptr);
    prompts.dialogAnswers.push_back([](QDialog& d) {
        auto& dlg = static_cast<CVisualizeOptionsDlg&>(d);
        // The chart draws in software: the "Software" radio is the checked one.
        auto* software = dlg.findChild<QRadioButton*>(QString::number(CVisualizeOptionsDlg::IDC_RENDER_D3D));
        auto* opengl = dlg.findChild<QRadioButton*>(QString::number(CVisualizeOptionsDlg::IDC_RENDER_OGL));
        EXPECT_TRUE(software->isChecked());
        EXPECT_EQ(software->text(), QStringLiteral("Software"));
        opengl->setChecked(true);
        dlg.findChild<QPushButton*>(QStringLiteral("1"))->click();
        return dlg.result();
    });
    prompts.messageAnswers.push_back(IDOK);
    m_frame->OnCommand(CMainFrame::ID_CHART_OPTIONS);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, L"Reopen chart to change renderer.");
    EXPECT_EQ(prompts.messages[0].style, unsigned(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(ReadVideoModeSetting(), std::optional<std::wstring>(L"OPENGL"));

    // The offscreen platform cannot host OpenGL: the chart draws in software,
    // but the choice stays what the dialog shows and the setting holds, and
    // the dialog says why the charts look as they do.
    prompts.dialogAnswers.push_back([](QDialog& d) {
        auto& dlg = static_cast<CVisualizeOptionsDlg&>(d);
        EXPECT_TRUE(dlg.findChild<QRadioButton*>(QString::number(CVisualizeOptionsDlg::IDC_RENDER_OGL))->isChecked());
        const auto* note = dlg.findChild<QLabel*>(QStringLiteral("OpenGLNote"));
        EXPECT_TRUE(note && note->text().contains(QStringLiteral("OpenGL is not available here")));
        dlg.findChild<QPushButton*>(QStringLiteral("1"))->click();
        return dlg.result();
    });
    m_frame->OnCommand(CMainFrame::ID_CHART_OPTIONS);
    EXPECT_EQ(prompts.messages.size(), 1u); // nothing changed, nothing to reopen
    EXPECT_EQ(ReadVideoModeSetting(), std::optional<std::wstring>(L"OPENGL"));

    m_frame->OnRendererChanged(plot::RendererCode::Software);
    EXPECT_EQ(ReadVideoModeSetting(), std::optional<std::wstring>(L"DIRECTX"));
}

TEST_F(MainFrameTest, ClosingStopsAtTheFirstChartThatRefuses)
{
    CChildFrame* first = OpenAccepted(Sample());
    CChildFrame* second = OpenAccepted(Sample());
    ASSERT_TRUE(first && second);
    QPointer<CChildFrame> firstGuard(first);
    // The first has nothing unsaved; the second asks and the user cancels.
    prompts.fileAnswers.push_back(ScratchFile(QStringLiteral("one.ors")).toStdWString());
    m_frame->MdiArea()->setActiveSubWindow(first);
    m_frame->OnCommand(CMainFrame::ID_FILE_SAVE_AS);
    ASSERT_FALSE(first->View()->Chart().HasUnsavedData());

    prompts.messageAnswers.push_back(IDCANCEL);
    EXPECT_FALSE(m_frame->close());
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(firstGuard.isNull());
    ASSERT_EQ(m_frame->Charts().size(), 1u);
    EXPECT_EQ(m_frame->Charts()[0], second);
    EXPECT_TRUE(m_frame->isVisible());
    EXPECT_EQ(prompts.messages.size(), 1u);

    prompts.messageAnswers.push_back(IDNO);
    EXPECT_TRUE(m_frame->close());
    EXPECT_TRUE(m_frame->Charts().empty());
}

TEST(VisualizeOptionsDlg, TrackbarLabelAndDefault)
{
    FakeSnagwise snag;
    ScriptedPrompts prompts;
    ScopedPrompts installed(prompts);
    const auto run = [&](int preset, const std::function<void(CVisualizeOptionsDlg&)>& act) {
        CVisualizeOptionsDlg dlg;
        dlg.m_nFov = preset;
        prompts.dialogAnswers.push_back([&](QDialog&) {
            act(dlg);
            dlg.findChild<QPushButton*>(QStringLiteral("1"))->click();
            return dlg.result();
        });
        EXPECT_EQ(prompts.DoModal(dlg), IDOK);
        return dlg.m_nFov;
    };
    // 47 stands at position 3 and survives OK untouched; 100 is the frame's
    // preset when the chart does not answer; Default, Home and End move it.
    enum Act { None, Default, Home, End };
    const struct {
        int preset;
        Act act;
        int position; // of the trackbar after the act
        int fov;      // after OK
    } cases[] = {{47, None, 3, 47}, {100, None, 14, 100}, {100, Default, 3, 45}, {45, Home, 0, 30}, {45, End, 18, 120}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.preset << " act " << int(c.act));
        EXPECT_EQ(run(c.preset, [&](CVisualizeOptionsDlg& d) {
                      if (c.act == Default)
                          d.findChild<QPushButton*>(QString::number(CVisualizeOptionsDlg::IDC_DEFAULT))->click();
                      else if (c.act != None)
                          QTest::keyClick(d.trackbar(), c.act == Home ? Qt::Key_Home : Qt::Key_End);
                      EXPECT_EQ(d.trackbar()->value(), c.position);
                      EXPECT_EQ(Label(d), QStringLiteral("%1 degree").arg(c.fov));
                  }),
                  c.fov);
    }
}

TEST(AboutDlg, ShowsTheVersionBlocksStrings)
{
    FakeSnagwise snag;
    ScriptedPrompts prompts;
    ScopedPrompts installed(prompts);
    const VersionInfo info;
    ASSERT_FALSE(info.productVersion.empty());
    CAboutDlg dlg;
    prompts.dialogAnswers.push_back([&](QDialog& d) {
        EXPECT_EQ(d.findChild<QLabel*>(QStringLiteral("1028"))->text(), QString::fromStdWString(info.productVersion));
        EXPECT_EQ(d.findChild<QLabel*>(QStringLiteral("1029"))->text(), QString::fromStdWString(info.legalCopyright));
        QTest::keyClick(&d, Qt::Key_Escape);
        return d.result() == QDialog::Rejected ? int(IDCANCEL) : d.result();
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("About"));
    EXPECT_TRUE(snag.Asserts().empty());
}

TEST(StartUp, OnlyTheFirstArgumentIsAFileAndQuotedPathsArriveWhole)
{
    EXPECT_TRUE(ParseCommandLine({QStringLiteral("vantix")}).file.isEmpty());
    const QStringList args = QProcess::splitCommand(QStringLiteral("vantix \"/tmp/my results/a b.ors\" second.ors"));
    const CommandLine cl = ParseCommandLine(args);
    EXPECT_EQ(cl.action, CommandLine::Action::Run);
    EXPECT_EQ(cl.file, QStringLiteral("/tmp/my results/a b.ors"));
    EXPECT_EQ(ParseCommandLine({QStringLiteral("vantix"), QStringLiteral("--version")}).action,
              CommandLine::Action::Version);
    // An option-like name after the first argument is not an option.
    EXPECT_EQ(ParseCommandLine({QStringLiteral("vantix"), QStringLiteral("a.ors"), QStringLiteral("--help")}).file,
              QStringLiteral("a.ors"));
}

TEST(StartUp, RunOpensTheFirstFileAndReturnsTheLoopsExitCode)
{
    FakeSnagwise snag;
    ScriptedPrompts prompts;
    ScopedPrompts installed(prompts);
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());

    for (int files = 0; files <= 2; ++files) {
        CommandLine cl;
        if (files >= 1)
            cl.file = QString::fromStdWString(Sample());
        if (files >= 1)
            prompts.dialogAnswers.push_back(AcceptDialog);
        std::size_t charts = 99;
        const int code = RunApplication(cl, [&](CMainFrame& frame) {
            QTimer::singleShot(0, &frame, [&] {
                charts = frame.Charts().size();
                QCoreApplication::exit(7 + files);
            });
        });
        EXPECT_EQ(code, 7 + files);
        EXPECT_EQ(charts, files >= 1 ? 1u : 0u);
    }
    EXPECT_EQ(prompts.unexpected, 0);
    EXPECT_THAT(snag.RecordsOfType(L"CHECK ERRORS"), ::testing::SizeIs(3));
}

TEST(StartUp, HelpAndVersionAnswerOnStandardOutputWithoutADisplay)
{
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/vantix");
    // No display at all: both must answer all the same.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, {QStringLiteral("--version")});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(p.readAllStandardOutput().startsWith("vantix "));
    p.start(program, {QStringLiteral("--help")});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(p.readAllStandardOutput().contains("Usage: vantix [FILE]"));
}

// The export dialog: the format follows the name and rewrites it, a missing
// extension is the format's, an empty name is refused and an existing file is
// replaced only when agreed (here or in the file dialog).
TEST(ExportImageDlg, NamesFormatsAndReplacing)
{
    FakeSnagwise snag;
    ScriptedPrompts prompts;
    ScopedPrompts installed(prompts);
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("old.png"));
    QFile(existing).open(QIODevice::WriteOnly);
    const struct {
        QString typed;
        int format; // chosen after typing; -1: none
        std::optional<std::wstring> browsed;
        int answer; // to a message, 0: none expected
        QString path; // accepted as; empty: refused
        int shownFormat;
    } cases[] = {
        {dir.filePath("a.SVG"), -1, {}, 0, dir.filePath("a.SVG"), 1},
        {dir.filePath("a.svg"), 2, {}, 0, dir.filePath("a.pdf"), 2},
        {dir.filePath("b"), 2, {}, 0, dir.filePath("b.pdf"), 2},
        {dir.filePath("c.txt"), -1, {}, 0, dir.filePath("c.txt.png"), 0},
        {QStringLiteral("  "), -1, {}, IDOK, QString(), 0},
        {existing, -1, {}, IDNO, QString(), 0},
        {existing, -1, {}, IDYES, existing, 0},
        {QString(), -1, existing.toStdWString(), 0, existing, 0}, // the file dialog asked
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        CExportImageDlg dlg(QSize(640, 480), QStringLiteral("/tmp/chart.png"));
        auto* edit = dlg.findChild<QLineEdit*>(QString::number(CExportImageDlg::IDC_PATH));
        auto* format = dlg.findChild<QComboBox*>(QString::number(CExportImageDlg::IDC_FORMAT));
        EXPECT_EQ(dlg.findChild<QSpinBox*>(QString::number(CExportImageDlg::IDC_WIDTH))->value(), 640);
        EXPECT_EQ(dlg.findChild<QSpinBox*>(QString::number(CExportImageDlg::IDC_HEIGHT))->value(), 480);
        if (c.browsed) {
            prompts.fileAnswers.push_back(c.browsed);
            dlg.findChild<QPushButton*>(QString::number(CExportImageDlg::IDC_BROWSE))->click();
        } else {
            edit->clear();
            QTest::keyClicks(edit, c.typed);
        }
        if (c.format >= 0) {
            format->setCurrentIndex(c.format);
            emit format->activated(c.format);
        }
        EXPECT_EQ(format->currentIndex(), c.shownFormat);
        prompts.messages.clear();
        if (c.answer)
            prompts.messageAnswers.push_back(c.answer);
        dlg.accept();
        EXPECT_EQ(prompts.messages.size(), c.answer ? 1u : 0u);
        EXPECT_EQ(dlg.result() == QDialog::Accepted, !c.path.isEmpty());
        if (!c.path.isEmpty())
            EXPECT_EQ(dlg.Path(), c.path);
    }
    EXPECT_EQ(prompts.unexpected, 0);
    ASSERT_EQ(prompts.fileDialogs.size(), 1u);
    EXPECT_EQ(prompts.fileDialogs[0].defaultExtension, L"png");
    EXPECT_THAT(prompts.fileDialogs[0].filter, HasSubstr(L"*.svg"));
}

// The load questions' dialogs: the largest study chosen to begin with; the
// roles prefilled by the guess, and OK only with two inputs and a function.
TEST(LoadChoiceDialogs, StudyAndRoles)
{
    LoadChoiceRequest request;
    request.file = L"study.db";
    request.studies = {L"pilot", L"grid", L"rerun"};
    request.trials = {3, 250, 40};
    EXPECT_EQ(CStudyDialog(request).Study(), 1u);

    request.columns = {L"eval_id", L"x1", L"x2", L"mass"};
    request.roles = {kColumnIgnore, kColumnInput, kColumnInput, kColumnFunction};
    CColumnRolesDialog roles(request);
    auto* ok = roles.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    EXPECT_EQ(roles.Roles(), request.roles);
    EXPECT_TRUE(ok->isEnabled());
    const struct {
        int column, role;
        bool ok;
    } steps[] = {{2, kColumnIgnore, false}, {0, kColumnInput, true}, {3, kColumnInput, false}, {2, kColumnFunction, true}};
    for (const auto& s : steps) {
        roles.SetRole(s.column, s.role);
        EXPECT_EQ(ok->isEnabled(), s.ok) << s.column << " " << s.role;
    }
    EXPECT_EQ(roles.Roles(), (std::vector<int>{kColumnInput, kColumnInput, kColumnFunction, kColumnInput}));
}
