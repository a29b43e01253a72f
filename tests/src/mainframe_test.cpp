// The main frame, its dialogs, and start-up.
#include "AppTestSupport.h"

#include "Chart.h"
#include "ExportImageDlg.h"
#include "FileHistory.h"
#include "LoadChoiceDlg.h"
#include "RendererSetting.h"
#include "Vantix.h"
#include "VersionInfo.h"
#include "VisualizeOptionsDlg.h"
#include "aboutdlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QToolBar>

#include <gmock/gmock.h>

using namespace vantix;
using namespace vantix::test;
using ::testing::HasSubstr;
using Options = CVisualizeOptionsDlg;

namespace {

class MainFrameTest : public AppTest {};

// No frame made by the test: dialogs on their own, and start-up.
struct PromptedTest : ::testing::Test {
    FakeSnagwise snag;
    ScriptedPrompts prompts;
    ScopedPrompts installed{prompts};
};

QString FovLabel(const QDialog& dlg)
{
    return Control<QLabel>(dlg, Options::IDC_FOV_LABEL)->text();
}

int ChildValue(CChildFrame* chart, unsigned msg)
{
    int value = -1;
    chart->SendChildMessage(msg, 0, reinterpret_cast<std::intptr_t>(&value));
    return value;
}

} // namespace

TEST_F(MainFrameTest, WithoutAChartTheChartCommandsAreOff)
{
    EXPECT_EQ(m_frame->windowTitle(), QStringLiteral("Vantix Vantix"));
    m_frame->OnIdle();
    CUpdateUI& ui = m_frame->UpdateUI();
    for (unsigned id : {ID_INSERT_DATA, ID_WATER_LEVEL, ID_WIREFRAME, ID_FILE_SAVE_AS, ID_WATER_UP, ID_VIEW_TOP})
        EXPECT_FALSE(m_frame->Action(id)->isEnabled()) << id;
    m_frame->UpdateSeriesMenu();
    EXPECT_FALSE(m_frame->SeriesMenu()->menuAction()->isEnabled());
    m_frame->OnCommand(ID_CHART_OPTIONS);
    EXPECT_TRUE(prompts.dialogs.empty() && prompts.messages.empty());

    const VersionInfo info;
    ASSERT_FALSE(info.productVersion.empty());
    prompts.dialogAnswers.push_back([&](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("About"));
        EXPECT_EQ(Control<QLabel>(d, 1028)->text(), QString::fromStdWString(info.productVersion));
        EXPECT_EQ(Control<QLabel>(d, 1029)->text(), QString::fromStdWString(info.legalCopyright));
        QTest::keyClick(&d, Qt::Key_Escape);
        return d.result() == QDialog::Rejected ? int(IDCANCEL) : d.result();
    });
    m_frame->OnCommand(ID_APP_ABOUT);
    EXPECT_EQ(prompts.dialogs.size(), 1u);

    m_frame->OnCommand(ID_VIEW_STATUS_BAR);
    EXPECT_FALSE(m_frame->statusBar()->isVisible() || ui.IsChecked(ID_VIEW_STATUS_BAR));
    m_frame->OnCommand(ID_VIEW_TOOLBAR);
    EXPECT_FALSE(ui.IsChecked(ID_VIEW_TOOLBAR));
}

// Ctrl+N, Ctrl+O and the Open button ask for a file; a chart is titled with
// its file and slice, the file goes first in the recent files, the dialog
// keeps its folder, and both outlive the frame.
TEST_F(MainFrameTest, OpenAndDropMakeChartsAndRecentFilesAndTheFolderSurviveARestart)
{
    QTest::keyClick(m_frame.get(), Qt::Key_N, Qt::ControlModifier); // cancelled
    EXPECT_TRUE(m_frame->Charts().empty());
    QAction* open = m_frame->Action(ID_FILE_OPEN);
    EXPECT_TRUE(m_frame->findChild<QToolBar*>()->actions().contains(open));
    prompts.fileAnswers = {Sample(), Sample()};
    prompts.dialogAnswers = {AcceptDialog, AcceptDialog};
    QTest::keyClick(m_frame.get(), Qt::Key_O, Qt::ControlModifier);
    open->trigger();
    ASSERT_EQ(m_frame->Charts().size(), 2u);
    ASSERT_EQ(prompts.fileDialogs.size(), 3u);
    EXPECT_EQ(prompts.fileDialogs[0].mode, FileDialogRequest::Mode::Open);
    EXPECT_TRUE(prompts.fileDialogs[1].folder.empty());
    const QString folder = QFileInfo(QString::fromStdWString(Sample())).absolutePath();
    EXPECT_EQ(QString::fromStdWString(prompts.fileDialogs[2].folder), folder);

    // Dropped files open one chart each; the Window menu lists the charts, the
    // active one checked, and an entry activates its chart.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdWString(Sample())),
                  QUrl::fromLocalFile(QString::fromStdWString(Sample("point-cloud.ors")))});
    prompts.dialogAnswers = {AcceptDialog, AcceptDialog};
    const QPoint centre = m_frame->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_frame.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_frame.get(), &drop);
    QApplication::processEvents();
    const std::vector<CChildFrame*> charts = m_frame->Charts();
    ASSERT_EQ(charts.size(), 4u);
    m_frame->UpdateWindowMenu();
    std::vector<QAction*> entries;
    for (QAction* a : m_frame->WindowActions())
        if (a->isCheckable())
            entries.push_back(a);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[3]->text(), QStringLiteral("&4 ") + charts[3]->windowTitle());
    EXPECT_TRUE(entries[3]->isChecked() && !entries[0]->isChecked());
    entries[0]->trigger();
    EXPECT_EQ(m_frame->ActiveChart(), charts[0]);

    // Nine files opened: the latest eight remain, most recent first, and no password.
    for (int i = 1; i <= 9; ++i)
        AddRecentFile(ScratchFile(QStringLiteral("f%1.ors").arg(i)).toStdWString());
    AddRecentFile(L"postgresql://me:secret@db/study");
    AddRecentFile(Sample());
    CMainFrame second;
    second.OnCreate();
    const std::vector<QAction*> recent = second.RecentFileActions();
    ASSERT_EQ(recent.size(), kRecentFilesMax);
    EXPECT_EQ(recent[0]->text(), QStringLiteral("&1 filter-tuning.ors"));
    EXPECT_EQ(recent[1]->text(), QStringLiteral("&2 postgresql://me@db/study"));
    EXPECT_EQ(recent[7]->data().toString(), ScratchFile(QStringLiteral("f4.ors")));
    prompts.fileAnswers.push_back(std::nullopt);
    second.OnCommand(ID_FILE_NEW);
    EXPECT_EQ(QString::fromStdWString(prompts.fileDialogs.back().folder), folder);

    prompts.dialogAnswers.push_back(AcceptDialog);
    m_frame->RecentFileActions().front()->trigger();
    EXPECT_EQ(m_frame->Charts().size(), 5u);
    EXPECT_EQ(prompts.unexpected, 1); // the cancelled Ctrl+N
}

// Apply to All reaches every chart once and keeps the active one; without it
// only the active chart changes; Cancel changes nothing. A new renderer is
// kept for the next charts.
TEST_F(MainFrameTest, ChartOptions)
{
    std::vector<CChildFrame*> charts;
    for (int i = 0; i < 2; ++i) {
        charts.push_back(OpenAccepted(Sample()));
        ASSERT_NE(charts.back(), nullptr);
        charts.back()->SendChildMessage(WM_CHILD_SETFOV, 50 + 10 * i, 0);
        charts.back()->ResetMessageCounts();
    }
    m_frame->MdiArea()->setActiveSubWindow(charts[1]);
    prompts.dialogAnswers.push_back(ThenOk<Options>([](Options& dlg) {
        EXPECT_EQ(FovLabel(dlg), QStringLiteral("60 degree")); // the active chart's value
        dlg.trackbar()->triggerAction(QAbstractSlider::SliderToMaximum);
        Control<QCheckBox>(dlg, Options::IDC_APPLY_ALL)->setChecked(true);
        Control<QCheckBox>(dlg, Options::IDC_TRACKING)->setChecked(false);
    }));
    m_frame->OnCommand(ID_CHART_OPTIONS);
    EXPECT_EQ(m_frame->ActiveChart(), charts[1]);
    const auto fovs = [&] { return std::pair(ChildValue(charts[0], WM_CHILD_GETFOV), ChildValue(charts[1], WM_CHILD_GETFOV)); };
    EXPECT_EQ(fovs(), std::pair(120, 120));
    for (CChildFrame* c : charts)
        EXPECT_EQ(std::tuple(c->MessageCount(WM_CHILD_SETFOV), c->MessageCount(WM_CHILD_SETSELECTION),
                             ChildValue(c, WM_CHILD_GETSELECTION)),
                  std::tuple(1, 1, 0));
    EXPECT_FALSE(ReadVideoModeSetting().has_value()); // the renderer was not changed

    prompts.dialogAnswers.push_back(ThenOk<Options>([](Options& dlg) {
        Control<QPushButton>(dlg, Options::IDC_DEFAULT)->click();
    }));
    m_frame->OnCommand(ID_CHART_OPTIONS);
    prompts.dialogAnswers.push_back([](QDialog& d) {
        static_cast<Options&>(d).trackbar()->triggerAction(QAbstractSlider::SliderToMinimum);
        d.reject();
        return int(IDCANCEL);
    });
    m_frame->OnCommand(ID_CHART_OPTIONS);
    EXPECT_EQ(fovs(), std::pair(120, 45));

    // Changing the renderer asks to reopen and persists the choice.
    prompts.dialogAnswers.push_back(ThenOk<Options>([](Options& dlg) {
        EXPECT_TRUE(Control<QRadioButton>(dlg, Options::IDC_RENDER_D3D)->isChecked()); // the chart draws in software
        Control<QRadioButton>(dlg, Options::IDC_RENDER_OGL)->setChecked(true);
    }));
    prompts.messageAnswers.push_back(IDOK);
    m_frame->OnCommand(ID_CHART_OPTIONS);
    ExpectMessage(L"Reopen chart to change renderer.", MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ(ReadVideoModeSetting(), std::optional<std::wstring>(L"OPENGL"));

    m_frame->OnRendererChanged(plot::RendererCode::Software);
    EXPECT_EQ(ReadVideoModeSetting(), std::optional<std::wstring>(L"DIRECTX"));
}

TEST(StartUp, OnlyTheFirstArgumentIsAFileAndQuotedPathsArriveWhole)
{
    EXPECT_TRUE(ParseCommandLine({QStringLiteral("vantix")}).file.isEmpty());
    const CommandLine cl =
        ParseCommandLine(QProcess::splitCommand(QStringLiteral("vantix \"/tmp/my results/a b.ors\" second.ors")));
    EXPECT_EQ(cl.action, CommandLine::Action::Run);
    EXPECT_EQ(cl.file, QStringLiteral("/tmp/my results/a b.ors"));
    EXPECT_EQ(ParseCommandLine({QStringLiteral("vantix"), QStringLiteral("--version")}).action,
              CommandLine::Action::Version);
    // An option-like name after the first argument is not an option.
    EXPECT_EQ(ParseCommandLine({QStringLiteral("vantix"), QStringLiteral("a.ors"), QStringLiteral("--help")}).file,
              QStringLiteral("a.ors"));
}

TEST_F(PromptedTest, StartUpOpensTheFileAndReturnsTheLoopsExitCode)
{
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    for (int files = 0; files <= 1; ++files) {
        CommandLine cl;
        if (files) {
            cl.file = QString::fromStdWString(Sample());
            prompts.dialogAnswers.push_back(AcceptDialog);
        }
        std::size_t charts = 99;
        const int code = RunApplication(cl, [&](CMainFrame& frame) {
            QTimer::singleShot(0, &frame, [&] {
                charts = frame.Charts().size();
                QCoreApplication::exit(7 + files);
            });
        });
        EXPECT_EQ(code, 7 + files);
        EXPECT_EQ(charts, std::size_t(files));
    }
    EXPECT_EQ(prompts.unexpected, 0);
    EXPECT_THAT(snag.RecordsOfType(L"CHECK ERRORS"), ::testing::SizeIs(2));
}

// The chosen format rewrites the name's extension, and an existing file is
// replaced only when agreed.
TEST_F(PromptedTest, ExportImageFormatsAndReplacing)
{
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("old.png"));
    QFile(existing).open(QIODevice::WriteOnly);
    const struct {
        QString typed;
        int format; // chosen after typing; -1: none
        int answer; // to a message, 0: none expected
        QString path; // accepted as; empty: refused
    } cases[] = {
        {dir.filePath("a.svg"), 2, 0, dir.filePath("a.pdf")},
        {existing, -1, IDNO, QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        CExportImageDlg dlg(QSize(640, 480), QStringLiteral("/tmp/chart.png"));
        auto* edit = Control<QLineEdit>(dlg, CExportImageDlg::IDC_PATH);
        edit->clear();
        QTest::keyClicks(edit, c.typed);
        if (c.format >= 0) {
            auto* format = Control<QComboBox>(dlg, CExportImageDlg::IDC_FORMAT);
            format->setCurrentIndex(c.format);
            emit format->activated(c.format);
        }
        prompts.messages.clear();
        if (c.answer)
            prompts.messageAnswers.push_back(c.answer);
        dlg.accept();
        EXPECT_EQ(prompts.messages.size(), c.answer ? 1u : 0u);
        EXPECT_EQ(dlg.result() == QDialog::Accepted, !c.path.isEmpty());
        if (!c.path.isEmpty()) {
            EXPECT_EQ(dlg.Path(), c.path);
        }
    }
    EXPECT_EQ(prompts.unexpected, 0);
}

// The largest study is chosen to begin with; the roles are prefilled by the
// guess, and OK only with two inputs and a function.
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
    } steps[] = {{2, kColumnIgnore, false}, {0, kColumnInput, true}, {3, kColumnInput, false}};
    for (const auto& s : steps) {
        roles.SetRole(s.column, s.role);
        EXPECT_EQ(ok->isEnabled(), s.ok) << s.column << " " << s.role;
    }
    EXPECT_EQ(roles.Roles(), (std::vector<int>{kColumnInput, kColumnInput, kColumnIgnore, kColumnInput}));
}
