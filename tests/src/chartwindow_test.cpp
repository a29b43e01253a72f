// A chart window from open to save, driven through the prompt service with
// the real data provider and the real chart control (software renderer).
#include "AppTestSupport.h"
#include "support/ImageDifference.h"
#include "support/OptunaSchema.h"
#include "support/WidgetClick.h"

#include "Chart.h"
#include "ExportImageDlg.h"
#include "DataTransformer.h"
#include "ResourceStrings.h"

#include "PlotControl.h"
#include "plot_control/SceneRenderer.h"
#include "ors_provider/IQX_VantixDataProvider.h"
#include "platform/loader.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QSpinBox>
#include <QMenu>
#include <QStatusTipEvent>
#include <QRegularExpression>

#include <sqlite3.h>

#include <cmath>

#include <gmock/gmock.h>

#include <set>
#include <sys/stat.h>

using namespace vantix;
using namespace vantix::test;
using namespace IQX_VantixDataProvider;
using ::testing::HasSubstr;

namespace {

// Chart controls made in this process, so tests can look at their scenes.
class ControlSpy {
public:
    ControlSpy()
        : m_reg(plot::CLSID_PlotControl, [this](REFIID iid, void** ppv) {
              const HRESULT hr = plot::CreatePlotControl(iid, ppv);
              if (SUCCEEDED(hr))
                  m_controls.push_back(static_cast<plot::CPlotControl*>(static_cast<plot::IPlotControl*>(*ppv)));
              return hr;
          })
    {
    }
    plot::CPlotControl* Last() const { return m_controls.empty() ? nullptr : m_controls.back(); }

private:
    std::vector<plot::CPlotControl*> m_controls;
    platform::FactoryRegistration m_reg;
};

class ChartWindowTest : public AppTest {
protected:
    ControlSpy spy;

    std::size_t SurfaceCount() const { return spy.Last() ? spy.Last()->Model().scene.Surfaces().size() : 0; }

    // Shows the chart maximized and clicks vertex k of its first surface.
    void ClickVertex(CChildFrame* chart, std::size_t k)
    {
        chart->showMaximized();
        QTest::qWait(20);
        QWidget* control = chart->View()->HostedControl();
        plot::Scene& scene = spy.Last()->Model().scene;
        ASSERT_EQ(scene.Surfaces().size(), 1u);
        const plot::SurfaceVertex v = scene.Surfaces()[0]->Vertices().at(k);
        scene.Prepare();
        const auto vp = spy.Last()->Model().camera.Matrices(control->width(), control->height());
        float sx = 0, sy = 0;
        ASSERT_TRUE(vp.Project(scene.ToUnit(v.x, v.y, v.z), &sx, &sy));
        Click(control, QPointF(sx, sy));
    }

    // The file's data as the real provider loads it.
    static ComPtr<IUnknown> LoadData(const std::wstring& path)
    {
        ComPtr<IOptimizationResultsDataProvider> provider;
        EXPECT_EQ(platform::CreateInstance(CLSID_OptimizationResultsDataProvider, &provider), S_OK);
        IUnknown* raw = nullptr;
        EXPECT_EQ(provider->Load(path, &raw), S_OK);
        return ComPtr<IUnknown>::Attach(raw);
    }

    // Distinct (X, Y) cells of the records holding every other input at record 0's value.
    static std::size_t ExpectedCells(const std::wstring& path)
    {
        const auto data = LoadData(path);
        ComPtr<IOptimizationResultsDataSource> source(data);
        ComPtr<IOptimizationResultsDataSourceEx> ex(data);
        ULONG inputs = 0, records = 0;
        source->GetInputCount(&inputs);
        source->GetRecordCount(&records);
        std::set<std::pair<std::uint64_t, std::uint64_t>> cells;
        for (ULONG r = 0; r < records; ++r) {
            bool match = true;
            for (ULONG n = 2; n < inputs && match; ++n) {
                std::uint64_t k0 = 0, k = 0;
                ex->GetInputValueIndex(0, n, &k0);
                ex->GetInputValueIndex(r, n, &k);
                match = k == k0;
            }
            if (match) {
                std::uint64_t i = 0, j = 0;
                ex->GetInputValueIndex(r, 0, &i);
                ex->GetInputValueIndex(r, 1, &j);
                cells.emplace(i, j);
            }
        }
        return cells.size();
    }
};

// A provider whose data answers no source interface.
class SaverOnly final : public platform::ComObject<IOptimizationResultsDataSaver> {
public:
    HRESULT Save(const std::wstring&) override { return S_OK; }
};
class ForeignProvider final : public platform::ComObject<IOptimizationResultsDataProvider> {
public:
    HRESULT Load(const std::wstring&, IUnknown** ppData) override
    {
        *ppData = static_cast<IOptimizationResultsDataSaver*>(platform::MakeCom<SaverOnly>().Detach());
        return S_OK;
    }
};

} // namespace

TEST_F(ChartWindowTest, OpeningTheSampleDrawsTheChosenSliceAndInsertsAddSeries)
{
    CChildFrame* chart = OpenAccepted(Sample());
    ASSERT_NE(chart, nullptr);
    EXPECT_EQ(prompts.dialogs.size(), 1u);
    EXPECT_TRUE(prompts.messages.empty());
    ASSERT_EQ(SurfaceCount(), 1u);
    EXPECT_EQ(spy.Last()->Model().scene.Surfaces()[0]->Vertices().size(), ExpectedCells(Sample()));
    CChart& doc = chart->View()->Chart();
    EXPECT_TRUE(doc.HasUnsavedData());
    EXPECT_EQ(doc.GetXAxisTitle(), doc.Adapter().GetXAxisTitle());

    // The same file again is compatible: a second series in the same control.
    prompts.fileAnswers.push_back(Sample());
    prompts.dialogAnswers.push_back(AcceptDialog);
    m_frame->OnCommand(CMainFrame::ID_INSERT_DATA);
    EXPECT_EQ(SurfaceCount(), 2u);
    EXPECT_EQ(doc.HistorySize(), 2u);
    EXPECT_TRUE(prompts.messages.empty());

    // The point cloud has other inputs: the incompatibility message, nothing added.
    prompts.fileAnswers.push_back(Sample("point-cloud.ors"));
    prompts.messageAnswers.push_back(IDOK);
    m_frame->OnCommand(CMainFrame::ID_INSERT_DATA);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, L"This data incompatible with some previous one.");
    EXPECT_EQ(prompts.messages[0].caption, L"Vantix");
    EXPECT_EQ(prompts.messages[0].style, unsigned(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(SurfaceCount(), 2u);
    EXPECT_EQ(doc.HistorySize(), 2u);
    EXPECT_EQ(prompts.unexpected, 0);
}

TEST_F(ChartWindowTest, FailedLoadsShowTheirMessageAndCloseTheEmptyWindow)
{
    // The dialog cancelled: nothing is added and the window goes away.
    prompts.dialogAnswers.push_back([](QDialog&) { return int(IDCANCEL); });
    m_frame->OpenChartFile(Sample());
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(m_frame->Charts().empty());

    // A damaged file: the provider's own text, with the exclamation icon.
    QFile bad(ScratchFile(QStringLiteral("damaged.ors")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    QFile good(QString::fromStdWString(Sample()));
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    bad.write(good.read(good.size() / 3)); // cut in the middle of its pages
    bad.close();
    prompts.messageAnswers.push_back(IDOK);
    m_frame->OpenChartFile(bad.fileName().toStdWString());
    QApplication::processEvents();
    QApplication::processEvents();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_THAT(QString::fromStdWString(prompts.messages[0].text).toStdString(), HasSubstr("damaged.ors"));
    EXPECT_EQ(prompts.messages[0].caption, L"Vantix");
    EXPECT_EQ(prompts.messages[0].style, unsigned(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_TRUE(m_frame->Charts().empty());
    EXPECT_EQ(prompts.dialogs.size(), 1u); // only the first, cancelled one
}

TEST_F(ChartWindowTest, DataWithoutASourceIsAnUnexpectedFormat)
{
    platform::FactoryRegistration foreign(CLSID_OptimizationResultsDataProvider, [](REFIID iid, void** ppv) {
        return platform::MakeCom<ForeignProvider>()->QueryInterface(iid, ppv);
    });
    prompts.messageAnswers.push_back(IDOK);
    m_frame->OpenChartFile(Sample());
    QApplication::processEvents();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, L"Unexpected file format.");
    EXPECT_EQ(prompts.messages[0].style, unsigned(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_TRUE(prompts.dialogs.empty());
}

TEST_F(ChartWindowTest, SavingOffersOneDialogPerUnsavedItemAndFixesTheSuffix)
{
    CChildFrame* chart = OpenAccepted(Sample());
    ASSERT_NE(chart, nullptr);
    CChart& doc = chart->View()->Chart();
    for (int i = 0; i < 3; ++i) {
        prompts.fileAnswers.push_back(Sample());
        prompts.dialogAnswers.push_back(AcceptDialog);
        m_frame->OnCommand(CMainFrame::ID_INSERT_DATA);
    }
    ASSERT_EQ(doc.HistorySize(), 4u);
    prompts.fileDialogs.clear();

    // First dialog cancelled; the others get ".ORS", ".ors" and a short name.
    prompts.fileAnswers.push_back(std::nullopt);
    prompts.fileAnswers.push_back(ScratchFile(QStringLiteral("upper.ORS")).toStdWString());
    prompts.fileAnswers.push_back(ScratchFile(QStringLiteral("lower.ors")).toStdWString());
    const QString shortName = ScratchFile(QStringLiteral("a"));
    prompts.fileAnswers.push_back(shortName.toStdWString());
    m_frame->OnCommand(CMainFrame::ID_FILE_SAVE_AS);

    ASSERT_EQ(prompts.fileDialogs.size(), 4u);
    for (const auto& request : prompts.fileDialogs) {
        EXPECT_EQ(request.mode, FileDialogRequest::Mode::Save);
        EXPECT_EQ(request.defaultExtension, L"ors");
        // The proximal name with "Colon" for ":", then "_" and the creation stamp (or "unnamed").
        EXPECT_EQ(request.initialName.find(L':'), std::wstring::npos);
        const QString name = QString::fromStdWString(request.initialName);
        EXPECT_TRUE(name.endsWith(QStringLiteral("_unnamed")) ||
                    QRegularExpression(QStringLiteral("_\\d\\d\\.\\d\\d\\.\\d\\d_\\d\\d\\.\\d\\d\\.\\d\\d$")).match(name).hasMatch())
            << QString::fromStdWString(request.initialName).toStdString();
    }
    EXPECT_TRUE(QFileInfo::exists(ScratchFile(QStringLiteral("upper.ORS.ors"))));
    EXPECT_TRUE(QFileInfo::exists(ScratchFile(QStringLiteral("lower.ors"))));
    EXPECT_FALSE(QFileInfo::exists(ScratchFile(QStringLiteral("lower.ors.ors"))));
    EXPECT_TRUE(QFileInfo::exists(shortName + QStringLiteral(".ors")));
    EXPECT_TRUE(doc.HistoryInfo(0).m_bUnsaved); // the cancelled one stays unsaved
    EXPECT_FALSE(doc.HistoryInfo(1).m_bUnsaved);
    EXPECT_TRUE(doc.HasUnsavedData());

    // A saved file opens again and holds the same slice.
    ASSERT_NE(OpenAccepted(ScratchFile(QStringLiteral("lower.ors")).toStdWString()), nullptr);
    EXPECT_EQ(spy.Last()->Model().scene.Surfaces()[0]->Vertices().size(), ExpectedCells(Sample()));
    EXPECT_EQ(prompts.unexpected, 0);
}

TEST_F(ChartWindowTest, ClosingWithUnsavedDataAsksAndAFailedSaveKeepsAsking)
{
    CChildFrame* chart = OpenAccepted(Sample());
    ASSERT_NE(chart, nullptr);
    QPointer<CChildFrame> guard(chart);
    const std::wstring question = LoadResourceString(12320);
    EXPECT_EQ(question.front(), L'"');

    // Yes, then the save dialog cancelled: the window stays.
    prompts.messageAnswers.push_back(IDYES);
    prompts.fileAnswers.push_back(std::nullopt);
    EXPECT_FALSE(chart->close());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, question);
    EXPECT_EQ(prompts.messages[0].style, unsigned(MB_YESNOCANCEL | MB_ICONWARNING));
    EXPECT_TRUE(chart->Refused());

    // Yes, then a save into a folder that cannot be written: still unsaved, still asked.
    QDir(ScratchFile({})).mkdir(QStringLiteral("locked"));
    const QString locked = ScratchFile(QStringLiteral("locked"));
    ::chmod(locked.toLocal8Bit().constData(), 0500);
    QFile probe(locked + QStringLiteral("/probe"));
    const bool writable = probe.open(QIODevice::WriteOnly); // true when running as root
    probe.remove();
    if (!writable) {
        prompts.messageAnswers.push_back(IDYES);
        prompts.fileAnswers.push_back((locked + QStringLiteral("/x.ors")).toStdWString());
        EXPECT_FALSE(chart->close());
        EXPECT_TRUE(chart->View()->Chart().HasUnsavedData());
        EXPECT_EQ(prompts.messages.size(), 3u); // the question, why the save failed, the question again
    }
    ::chmod(locked.toLocal8Bit().constData(), 0700);

    // Cancel keeps it; No closes it without saving.
    prompts.messageAnswers.push_back(IDCANCEL);
    EXPECT_FALSE(chart->close());
    prompts.messageAnswers.push_back(IDNO);
    EXPECT_TRUE(chart->close());
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
    EXPECT_EQ(prompts.unexpected, 0);
}

TEST_F(ChartWindowTest, PickingWritesTheStatusBarAndAMissClearsIt)
{
    CChildFrame* chart = OpenAccepted(Sample());
    ASSERT_NE(chart, nullptr);
    const QString ready = QStringLiteral("Ready");
    m_frame->OnIdle();
    EXPECT_EQ(StatusText(), ready);

    // A click on a vertex in the middle of the surface picks it.
    ClickVertex(chart, spy.Last()->Model().scene.Surfaces().at(0)->Vertices().size() / 2);
    const bool picked = StatusText() != ready;
    EXPECT_TRUE(spy.Last()->Model().scene.Marker().has_value());
    ASSERT_TRUE(picked);
    double x = 0, y = 0, z = 0;
    ASSERT_TRUE(chart->View()->Chart().Adapter().GetSelectedPoint(&x, &y, &z));
    const QString text = StatusText();
    EXPECT_TRUE(text.contains(QString::fromStdWString(chart->View()->Chart().GetXAxisTitle()))) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromStdWString(chart->View()->Chart().GetFunctionTitle())))
        << text.toStdString();
    // The grid's vertex is one record's value: named exactly, with its number.
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("  record \\d+$")))) << text.toStdString();

    // A hovered menu entry sends its (empty) status tip; the pick stays.
    QStatusTipEvent tip{QString()};
    QApplication::sendEvent(m_frame.get(), &tip);
    EXPECT_EQ(StatusText(), text);

    // Closing the last chart takes its pick and toggles with it.
    m_frame->OnCommand(CMainFrame::ID_WATER_LEVEL);
    ASSERT_TRUE(m_frame->UpdateUI().IsChecked(CMainFrame::ID_WATER_LEVEL));
    prompts.messageAnswers.push_back(IDNO);
    chart->close();
    QApplication::processEvents();
    m_frame->OnIdle();
    EXPECT_EQ(StatusText(), ready);
    EXPECT_FALSE(m_frame->Action(CMainFrame::ID_WATER_LEVEL)->isChecked());
}

TEST_F(ChartWindowTest, ViewCommandsFollowTheChartsState)
{
    CChildFrame* chart = OpenAccepted(Sample());
    ASSERT_NE(chart, nullptr);
    CUpdateUI& ui = m_frame->UpdateUI();
    m_frame->OnIdle();
    EXPECT_TRUE(ui.IsEnabled(CMainFrame::ID_FILE_SAVE_AS));
    EXPECT_TRUE(ui.IsEnabled(CMainFrame::ID_WATER_LEVEL));
    EXPECT_FALSE(ui.IsChecked(CMainFrame::ID_WATER_LEVEL));
    EXPECT_FALSE(ui.IsEnabled(CMainFrame::ID_WATER_UP));

    // Ctrl+L and Ctrl+W toggle through the accelerators.
    ASSERT_TRUE(m_frame->Action(CMainFrame::ID_WATER_LEVEL)->isEnabled());
    ASSERT_TRUE(m_frame->isActiveWindow());
    QTest::keyClick(m_frame.get(), Qt::Key_L, Qt::ControlModifier);
    m_frame->OnIdle();
    EXPECT_TRUE(chart->View()->Chart().IsWaterLevel());
    EXPECT_TRUE(ui.IsChecked(CMainFrame::ID_WATER_LEVEL));
    EXPECT_TRUE(ui.IsEnabled(CMainFrame::ID_WATER_UP));
    EXPECT_TRUE(ui.IsEnabled(CMainFrame::ID_WATER_DOWN));
    EXPECT_TRUE(m_frame->Action(CMainFrame::ID_WATER_LEVEL)->isChecked());
    // Up raises the plane one step, Down lowers it: the frame's commands reach the scene.
    const plot::Scene& scene = spy.Last()->Model().scene;
    const int step = scene.WaterLevelStep();
    m_frame->Action(CMainFrame::ID_WATER_UP)->trigger();
    EXPECT_EQ(scene.WaterLevelStep(), step + 1);
    m_frame->Action(CMainFrame::ID_WATER_DOWN)->trigger();
    m_frame->Action(CMainFrame::ID_WATER_DOWN)->trigger();
    EXPECT_EQ(scene.WaterLevelStep(), step - 1);
    QTest::keyClick(m_frame.get(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_TRUE(chart->View()->Chart().IsWireFramed());

    // The preset views reach the control's camera.
    const plot::OrbitCamera& camera = spy.Last()->Model().camera;
    for (const auto& [id, yaw, pitch] : {std::tuple{CMainFrame::ID_VIEW_TOP, 0.0, 90.0},
                                         {CMainFrame::ID_VIEW_FRONT, 0.0, 0.0}, {CMainFrame::ID_VIEW_SIDE, 90.0, 0.0}}) {
        ASSERT_TRUE(m_frame->Action(id)->isEnabled()) << id;
        m_frame->Action(id)->trigger();
        EXPECT_EQ(camera.Yaw(), yaw) << id;
        EXPECT_EQ(camera.Pitch(), pitch) << id;
    }

    // Private messages with a null output pointer do nothing.
    for (unsigned msg : {unsigned(WM_CHILD_GETFRAME), unsigned(WM_CHILD_GETSELECTION), unsigned(WM_CHILD_GETFOV),
                         unsigned(WM_CHILD_GETVIDEOMODE)})
        EXPECT_EQ(chart->SendChildMessage(msg, 0, 0), 0);
    int fov = 0;
    chart->SendChildMessage(WM_CHILD_SETFOV, 60, 0);
    chart->SendChildMessage(WM_CHILD_GETFOV, 0, reinterpret_cast<std::intptr_t>(&fov));
    EXPECT_EQ(fov, 60);
    CChildFrame* self = nullptr;
    chart->SendChildMessage(WM_CHILD_GETFRAME, 0, reinterpret_cast<std::intptr_t>(&self));
    EXPECT_EQ(self, chart);

    // A failed save says why, in the provider's words.
    prompts.fileAnswers.push_back(ScratchFile(QStringLiteral("missing/x.ors")).toStdWString());
    QTest::keyClick(m_frame.get(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_THAT(prompts.messages[0].text, HasSubstr(L"missing/x.ors"));
    EXPECT_EQ(prompts.messages[0].style, unsigned(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_TRUE(chart->View()->Chart().HasUnsavedData());

    // While it writes, the status bar says so under a busy cursor; the dialog names the series.
    std::vector<std::pair<QString, bool>> shown;
    QObject::connect(m_frame->statusBar(), &QStatusBar::messageChanged, m_frame.get(), [&](const QString& m) {
        const QCursor* c = QApplication::overrideCursor();
        shown.emplace_back(m, c && c->shape() == Qt::WaitCursor);
    });
    prompts.fileAnswers.push_back(ScratchFile(QStringLiteral("saved.ors")).toStdWString());
    QTest::keyClick(m_frame.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(prompts.fileDialogs.back().title,
              L"Save Data As: filter-tuning.ors - " + chart->View()->Chart().GetXAxisTitle() + L" / " +
                  chart->View()->Chart().GetYAxisTitle() + L" - " + chart->View()->Chart().GetFunctionTitle());
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], std::pair(QStringLiteral("Saving saved.ors..."), true));
    EXPECT_EQ(shown[1], std::pair(QString(), false));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // After saving, Save Data is disabled.
    EXPECT_FALSE(ui.IsEnabled(CMainFrame::ID_FILE_SAVE_AS));
    EXPECT_FALSE(chart->View()->Chart().HasUnsavedData());
}

namespace {

// An Optuna storage of two studies: "small" of 3 trials and "large" of 4 (a
// grid of two learning rates, sampled on a log scale, by two optimisers).
void WriteTwoStudies(const QString& path)
{
    std::string sql = kOptunaSchema;
    sql += R"SQL(
INSERT INTO studies VALUES (1, 'small'), (2, 'large');
INSERT INTO study_directions VALUES (1, 'MINIMIZE', 1, 0), (2, 'MINIMIZE', 2, 0);
)SQL";
    const char* lr = R"({"name": "FloatDistribution", "attributes": {"step": null, "low": 1e-05, "high": 0.1, "log": true}})";
    const char* opt = R"({"name": "CategoricalDistribution", "attributes": {"choices": ["sgd", "adam"]}})";
    int trial = 0, param = 0;
    for (int study : {1, 2})
        for (int t = 0; t < study + 2; ++t) {
            const std::string id = std::to_string(++trial);
            sql += "INSERT INTO trials VALUES (" + id + ", " + std::to_string(t) + ", " + std::to_string(study) +
                   ", 'COMPLETE', NULL, NULL);";
            sql += "INSERT INTO trial_params VALUES (" + std::to_string(++param) + ", " + id + ", 'lr', " +
                   std::to_string(std::pow(10.0, -1 - t / 2)) + ", '" + lr + "');";
            sql += "INSERT INTO trial_params VALUES (" + std::to_string(++param) + ", " + id + ", 'opt', " +
                   std::to_string(t % 2) + ", '" + opt + "');";
            sql += "INSERT INTO trial_values VALUES (" + id + ", " + id + ", 0, " + std::to_string(t + 0.5) +
                   ", 'FINITE');";
        }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

} // namespace

// Export and Copy Image draw what the chart holds now, offscreen with the
// software renderer: two series with one hidden, a turned camera and the
// water level on give the picture a render of that state gives.
TEST_F(ChartWindowTest, ExportAndCopyDrawTheChartsCurrentState)
{
    CChildFrame* chart = OpenAccepted(Sample());
    ASSERT_NE(chart, nullptr);
    prompts.fileAnswers.push_back(Sample());
    prompts.dialogAnswers.push_back(AcceptDialog);
    m_frame->OnCommand(CMainFrame::ID_INSERT_DATA);
    CChartAdapter& adapter = chart->View()->Chart().Adapter();
    ASSERT_EQ(adapter.SeriesCount(), 2u);
    adapter.ShowSeries(0, false);
    m_frame->OnCommand(CMainFrame::ID_WATER_LEVEL);
    QWidget* control = chart->View()->HostedControl();
    for (Qt::Key key : {Qt::Key_Left, Qt::Key_Left, Qt::Key_Left, Qt::Key_Left, Qt::Key_Up, Qt::Key_Up})
        QTest::keyClick(control, key);
    plot::ChartModel& model = spy.Last()->Model();
    const QSize window = control->size();
    const auto render = [&](const plot::OrbitCamera& camera, QSize size) {
        plot::SceneRenderer renderer;
        return renderer.Render(model.scene, camera, size).copy();
    };
    const QImage expected = render(model.camera, window);
    ASSERT_GT(MeanDifference(expected, render(plot::OrbitCamera{}, window)), 4.0); // the turn shows

    const auto exportAs = [&](const QString& path, QSize typed = {}) {
        prompts.dialogAnswers.push_back([path, typed](QDialog& d) {
            d.findChild<QLineEdit*>(QString::number(CExportImageDlg::IDC_PATH))->setText(path);
            if (typed.isValid()) {
                d.findChild<QSpinBox*>(QString::number(CExportImageDlg::IDC_WIDTH))->setValue(typed.width());
                d.findChild<QSpinBox*>(QString::number(CExportImageDlg::IDC_HEIGHT))->setValue(typed.height());
            }
            d.accept();
            return d.result();
        });
        m_frame->OnCommand(CMainFrame::ID_FILE_EXPORT_IMAGE);
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QImage png = QImage::fromData(exportAs(ScratchFile(QStringLiteral("chart.png"))));
    EXPECT_LT(MeanDifference(png, expected), 0.5);
    exportAs(ScratchFile(QStringLiteral("typed")), QSize(300, 200));
    EXPECT_EQ(QImage(ScratchFile(QStringLiteral("typed.png"))).size(), QSize(300, 200)); // the format's extension added
    const QByteArray svg = exportAs(ScratchFile(QStringLiteral("chart.svg")));
    EXPECT_GE(svg.count("<text"), 6); // tick labels and titles as text
    EXPECT_TRUE(svg.contains("<image"));
    const QByteArray pdf = exportAs(ScratchFile(QStringLiteral("chart.pdf")));
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    EXPECT_GT(pdf.size(), 20000);
    EXPECT_TRUE(prompts.messages.empty());

    const QString unwritable = ScratchFile(QStringLiteral("no-such-folder/chart.png"));
    exportAs(unwritable);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_THAT(prompts.messages[0].text, HasSubstr(unwritable.toStdWString()));
    prompts.messageAnswers.push_back(IDOK); // counted as answered

    QGuiApplication::clipboard()->clear();
    m_frame->OnIdle();
    QTest::keyClick(control, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier); // Edit > Copy Image
    EXPECT_LT(MeanDifference(QGuiApplication::clipboard()->image(), expected), 0.5);
    EXPECT_EQ(prompts.unexpected, 1); // the message above
}

// The legend names each slice by its file and held values; its own menu
// hides the series under it and shows hidden ones again, as View > Series
// does. Hiding is for the picture only: Save Data still offers the series.
TEST_F(ChartWindowTest, TheLegendsMenuHidesAndShowsSeries)
{
    CChildFrame* chart = OpenAccepted(Sample());
    ASSERT_NE(chart, nullptr);
    prompts.fileAnswers.push_back(Sample());
    prompts.dialogAnswers.push_back([](QDialog& d) {
        static_cast<CInputConfigDlg&>(d).StepUp(2, 2); // the first held input two values up
        return int(IDOK);
    });
    m_frame->OnCommand(CMainFrame::ID_INSERT_DATA);
    CChart& doc = chart->View()->Chart();
    ASSERT_EQ(doc.Adapter().SeriesCount(), 2u);
    std::wstring held;
    double value = 0;
    ComPtr<IOptimizationResultsDataSource> source(LoadData(Sample()));
    ASSERT_TRUE(source);
    source->GetInputName(2, &held);
    source->GetInputValue(0, 2, &value); // the first record's, where the dialog starts
    const std::vector<std::wstring> names{doc.LegendName(0), doc.LegendName(1)};
    EXPECT_THAT(names[0], ::testing::StartsWith(L"filter-tuning.ors: "));
    EXPECT_THAT(names[0], HasSubstr(held + L" = " + QString::number(value, 'g', 6).toStdWString() + L","));
    EXPECT_NE(names[0], names[1]);
    std::vector<std::wstring> listed;
    for (const plot::LegendEntry& e : spy.Last()->Model().scene.Legend())
        listed.push_back(e.name);
    EXPECT_EQ(listed, names);
    QWidget* control = chart->View()->HostedControl();
    // The middle of series k's legend line, down the legend's column.
    const auto lineOf = [&](std::size_t k) {
        std::vector<int> ys;
        for (int y = 0; y < 200; ++y)
            if (doc.Adapter().SeriesAtLegend(QPoint(14, y)) == k)
                ys.push_back(y);
        return ys.empty() ? QPoint(-1, -1) : QPoint(14, (ys.front() + ys.back()) / 2);
    };
    const auto rightClick = [&](QPoint at) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, control->mapToGlobal(at));
        QApplication::sendEvent(control, &event);
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    };
    const auto texts = [](QMenu* menu) {
        QStringList out;
        for (QAction* a : menu->actions())
            out << a->text();
        return out;
    };
    const QString first = QString::fromStdWString(doc.LegendName(0)), second = QString::fromStdWString(doc.LegendName(1));

    EXPECT_EQ(rightClick(QPoint(control->width() / 2, control->height() / 2)), nullptr); // off the legend
    ASSERT_NE(lineOf(0).y(), -1);
    QMenu* menu = rightClick(lineOf(0));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(texts(menu), QStringList{QStringLiteral("&Hide ") + first});
    menu->actions()[0]->trigger();
    menu->close();
    EXPECT_FALSE(spy.Last()->Model().scene.Surfaces()[0]->IsVisible());
    EXPECT_TRUE(spy.Last()->Model().scene.Surfaces()[1]->IsVisible());
    m_frame->UpdateSeriesMenu(); // as the View menu opens
    const QList<QAction*> entries = m_frame->SeriesMenu()->actions();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_TRUE(m_frame->SeriesMenu()->menuAction()->isEnabled());
    EXPECT_EQ(entries[1]->text(), second);
    EXPECT_FALSE(entries[0]->isChecked());
    EXPECT_TRUE(entries[1]->isChecked());

    menu = rightClick(lineOf(1));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(texts(menu), (QStringList{QStringLiteral("&Hide ") + second, QString(), QStringLiteral("&Show ") + first}));
    prompts.fileAnswers.push_back(std::nullopt);
    prompts.fileAnswers.push_back(std::nullopt);
    m_frame->OnCommand(CMainFrame::ID_FILE_SAVE_AS);
    EXPECT_EQ(prompts.fileDialogs.size(), 3u); // the insert's and one per series
    menu->actions()[2]->trigger();
    menu->close();
    EXPECT_TRUE(spy.Last()->Model().scene.Surfaces()[0]->IsVisible());
    // View > Series hides it again.
    m_frame->UpdateSeriesMenu();
    m_frame->SeriesMenu()->actions()[0]->trigger();
    EXPECT_FALSE(spy.Last()->Model().scene.Surfaces()[0]->IsVisible());
    EXPECT_TRUE(spy.Last()->Model().scene.Surfaces()[1]->IsVisible());
    EXPECT_EQ(prompts.unexpected, 0);
}
// A storage of several studies asks which, with their trial counts; the
// chosen one opens with its log-scaled input on a log axis and the
// categories as the other axis's ticks. Cancelling opens nothing.
TEST_F(ChartWindowTest, SeveralStudiesAskWhichAndLabelsAndLogScalesReachTheAxes)
{
    const QString path = ScratchFile(QStringLiteral("two-studies.db"));
    WriteTwoStudies(path);
    prompts.studyAnswers.push_back(std::nullopt);
    m_frame->OpenChartFile(path.toStdWString());
    QApplication::processEvents();
    EXPECT_TRUE(m_frame->Charts().empty());
    EXPECT_TRUE(prompts.messages.empty());

    prompts.studyAnswers.push_back(1);
    CChildFrame* chart = OpenAccepted(path.toStdWString());
    ASSERT_NE(chart, nullptr);
    ASSERT_EQ(prompts.loadChoices.size(), 2u);
    EXPECT_EQ(prompts.loadChoices[1].studies, (std::vector<std::wstring>{L"small", L"large"}));
    EXPECT_EQ(prompts.loadChoices[1].trials, (std::vector<std::uint32_t>{3, 4}));
    EXPECT_EQ(prompts.unexpected, 0);
    const plot::Scene& scene = spy.Last()->Model().scene;
    // lr and opt on X and Y in either order (the control's axes 0 and 2).
    const bool lrOnX = scene.Ticks(0).log;
    const plot::Scene::AxisTicks& lr = scene.Ticks(lrOnX ? 0 : 2);
    const plot::Scene::AxisTicks& opt = scene.Ticks(lrOnX ? 2 : 0);
    EXPECT_TRUE(lr.log);
    EXPECT_TRUE(opt.only);
    ASSERT_EQ(opt.labels.size(), 2u);
    EXPECT_EQ(opt.labels[0].text, L"adam"); // codes in the labels' sorted order
    EXPECT_EQ(opt.labels[1].text, L"sgd");

    // A picked point names its label and its true learning rate.
    ClickVertex(chart, 0);
    EXPECT_TRUE(StatusText().contains(QRegularExpression(QStringLiteral("lr : 0\\.01? "))))
        << StatusText().toStdString();
    EXPECT_TRUE(StatusText().contains(QRegularExpression(QStringLiteral("opt : (adam|sgd) "))))
        << StatusText().toStdString();

    // The log command is on, and off for the labelled axis.
    m_frame->OnIdle();
    const unsigned lrCommand = lrOnX ? CMainFrame::ID_LOG_X : CMainFrame::ID_LOG_Y;
    const unsigned optCommand = lrOnX ? CMainFrame::ID_LOG_Y : CMainFrame::ID_LOG_X;
    EXPECT_TRUE(m_frame->Action(lrCommand)->isChecked());
    EXPECT_FALSE(m_frame->Action(optCommand)->isEnabled());
    m_frame->OnCommand(lrCommand); // back to linear
    m_frame->OnIdle();
    EXPECT_FALSE(m_frame->Action(lrCommand)->isChecked());
    EXPECT_FALSE(spy.Last()->Model().scene.Ticks(lrOnX ? 0 : 2).log);
}

// A Dakota table with named responses asks for the columns' roles, prefilled
// with the guess; the answer is used, and remembered for the file, so the
// next open asks nothing. The failed row is noted in the status bar.
TEST_F(ChartWindowTest, ColumnRolesAreAskedOnceAndRemembered)
{
    const QString path = ScratchFile(QStringLiteral("named.dat"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("%eval_id interface x1 x2 mass stress\n"
               "1 NO_ID 0.1 1 10 100\n2 NO_ID 0.2 1 11 nan\n3 NO_ID 0.1 2 12 102\n4 NO_ID 0.2 2 13 103\n");
    file.close();
    const int I = kColumnInput, F = kColumnFunction, X = kColumnIgnore;
    prompts.roleAnswers.push_back(std::vector<int>{X, X, I, I, X, F}); // only stress drawn
    CChildFrame* chart = OpenAccepted(path.toStdWString());
    ASSERT_NE(chart, nullptr);
    ASSERT_EQ(prompts.loadChoices.size(), 1u);
    EXPECT_EQ(prompts.loadChoices[0].columns,
              (std::vector<std::wstring>{L"eval_id", L"interface", L"x1", L"x2", L"mass", L"stress"}));
    EXPECT_EQ(prompts.loadChoices[0].roles, (std::vector<int>{X, X, I, I, F, F}));
    EXPECT_EQ(chart->View()->Chart().GetFunctionTitle(), L"stress");
    EXPECT_THAT(StatusText().toStdString(), HasSubstr("1 failed row was left out"));

    CChildFrame* again = OpenAccepted(path.toStdWString());
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(prompts.loadChoices.size(), 1u); // not asked again
    EXPECT_EQ(again->View()->Chart().GetFunctionTitle(), L"stress");
    EXPECT_EQ(prompts.unexpected, 0);
}

// Data a chart cannot show are refused with a sentence saying what is missing.
TEST_F(ChartWindowTest, DataWithTooFewInputsAreRefusedInWords)
{
    const struct {
        const char* name;
        const char* text;
        const char* says;
    } cases[] = {
        {"one.csv", "in:a,out:f\n1,2\n3,4\n", "\"one.csv\" cannot be charted: it has one input, and a chart needs two."},
        {"trials.csv", "number,value,params_x,state\n0,1.5,0.1,COMPLETE\n1,2.5,0.2,COMPLETE\n",
         "\"trials.csv\" cannot be charted: it has one input"},
    };
    for (const auto& c : cases) {
        QFile file(ScratchFile(QString::fromLatin1(c.name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.text);
        file.close();
        prompts.messages.clear();
        prompts.messageAnswers.push_back(IDOK);
        m_frame->OpenChartFile(file.fileName().toStdWString());
        QApplication::processEvents();
        ASSERT_EQ(prompts.messages.size(), 1u) << c.name;
        EXPECT_THAT(QString::fromStdWString(prompts.messages[0].text).toStdString(), HasSubstr(c.says));
        EXPECT_TRUE(m_frame->Charts().empty());
    }
}
