// A chart window from open to save, driven through the prompt service with
// the real data provider and the real chart control (software renderer).
#include "AppTestSupport.h"
#include "ControlSpy.h"
#include "support/ImageDifference.h"
#include "support/WidgetClick.h"

#include "Chart.h"
#include "ExportImageDlg.h"
#include "ResourceStrings.h"

#include "PlotControl.h"
#include "ors_provider/IQX_VantixDataProvider.h"
#include "platform/loader.h"
#include "plot_control/SceneRenderer.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStatusTipEvent>

using namespace vantix;
using namespace vantix::test;
using namespace IQX_VantixDataProvider;

namespace {

class ChartWindowTest : public AppTest {
protected:
    ControlSpy m_spy;
    std::vector<plot::CPlotControl*>& m_controls = m_spy.controls;

    plot::ChartModel& Model() const { return m_controls.back()->Model(); }
    std::size_t SurfaceCount() const { return m_controls.empty() ? 0 : Model().scene.Surfaces().size(); }
    std::size_t Vertices(std::size_t surface = 0) const { return Model().scene.Surfaces().at(surface)->Vertices().size(); }

    void InsertSample(std::function<int(QDialog&)> answer = AcceptDialog)
    {
        prompts.fileAnswers.push_back(Sample());
        prompts.dialogAnswers.push_back(std::move(answer));
        m_frame->OnCommand(ID_INSERT_DATA);
    }

    // Shows the chart maximized and clicks vertex k of its first surface.
    void ClickVertex(CChildFrame* chart, std::size_t k)
    {
        chart->showMaximized();
        QTest::qWait(20);
        QWidget* control = chart->View()->HostedControl();
        plot::Scene& scene = Model().scene;
        const plot::SurfaceVertex v = scene.Surfaces().at(0)->Vertices().at(k);
        scene.Prepare();
        float sx = 0, sy = 0;
        ASSERT_TRUE(Model().camera.Matrices(control->width(), control->height()).Project(scene.ToUnit(v.x, v.y, v.z), &sx, &sy));
        Click(control, QPointF(sx, sy));
    }

    static ComPtr<IOptimizationResultsDataSource> LoadData(const std::wstring& path)
    {
        ComPtr<IOptimizationResultsDataProvider> provider;
        EXPECT_EQ(platform::CreateInstance(CLSID_OptimizationResultsDataProvider, &provider), S_OK);
        IUnknown* raw = nullptr;
        EXPECT_EQ(provider->Load(path, &raw), S_OK);
        return ComPtr<IOptimizationResultsDataSource>(ComPtr<IUnknown>::Attach(raw));
    }

    QString WriteScratch(const char* name, const QByteArray& content) const
    {
        QFile file(ScratchFile(QString::fromLatin1(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return file.fileName();
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

// The same file again is compatible and adds a series; other inputs are
// refused. Save Data offers one dialog per unsaved item and fixes the suffix.
TEST_F(ChartWindowTest, OpenInsertAndSaveEachSeries)
{
    CChildFrame* chart = OpenAccepted(Sample());
    ASSERT_NE(chart, nullptr);
    ASSERT_EQ(SurfaceCount(), 1u);
    const std::size_t vertices = Vertices();
    CChart& doc = chart->View()->Chart();
    EXPECT_TRUE(doc.HasUnsavedData());
    for (int i = 0; i < 3; ++i)
        InsertSample();
    EXPECT_EQ(SurfaceCount(), 4u);
    EXPECT_TRUE(prompts.messages.empty());
    prompts.fileAnswers.push_back(Sample("point-cloud.ors"));
    prompts.messageAnswers.push_back(IDOK);
    m_frame->OnCommand(ID_INSERT_DATA);
    EXPECT_EQ(prompts.messages.at(0).caption, L"Vantix");
    ExpectMessage(L"This data incompatible with some previous one.", MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ(SurfaceCount(), 4u);
    ASSERT_EQ(doc.HistorySize(), 4u);
    prompts.fileDialogs.clear();

    // First dialog cancelled; the others get ".ORS", ".ors" and a short name.
    prompts.fileAnswers = {std::nullopt, ScratchFile(QStringLiteral("upper.ORS")).toStdWString(),
                           ScratchFile(QStringLiteral("lower.ors")).toStdWString(),
                           ScratchFile(QStringLiteral("a")).toStdWString()};
    m_frame->OnCommand(ID_FILE_SAVE_AS);
    ASSERT_EQ(prompts.fileDialogs.size(), 4u);
    for (const auto& request : prompts.fileDialogs) {
        EXPECT_EQ(request.mode, FileDialogRequest::Mode::Save);
        EXPECT_EQ(request.defaultExtension, L"ors");
        // The proximal name with "Colon" for ":", then "_" and the creation stamp (or "unnamed").
        const QString name = QString::fromStdWString(request.initialName);
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^[^:]*_(unnamed|\\d\\d\\.\\d\\d\\.\\d\\d_\\d\\d\\.\\d\\d\\.\\d\\d)$"))
                        .match(name)
                        .hasMatch())
            << name.toStdString();
    }
    for (const char* name : {"upper.ORS.ors", "lower.ors", "a.ors"})
        EXPECT_TRUE(QFileInfo::exists(ScratchFile(QString::fromLatin1(name)))) << name;
    EXPECT_FALSE(QFileInfo::exists(ScratchFile(QStringLiteral("lower.ors.ors"))));
    EXPECT_TRUE(doc.HistoryInfo(0).m_bUnsaved); // the cancelled one stays unsaved
    EXPECT_FALSE(doc.HistoryInfo(1).m_bUnsaved);
    EXPECT_TRUE(doc.HasUnsavedData());

    // A saved file opens again and holds the same slice.
    ASSERT_NE(OpenAccepted(ScratchFile(QStringLiteral("lower.ors")).toStdWString()), nullptr);
    EXPECT_EQ(Vertices(), vertices);
    EXPECT_EQ(prompts.unexpected, 0);
}

// A cancelled dialog, a damaged file, data without a source and data a chart
// cannot show leave no window; all but the first say why.
TEST_F(ChartWindowTest, FailedLoadsShowTheirMessageAndCloseTheEmptyWindow)
{
    prompts.dialogAnswers.push_back([](QDialog&) { return int(IDCANCEL); });
    m_frame->OpenChartFile(Sample());
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_TRUE(m_frame->Charts().empty());

    QFile good(QString::fromStdWString(Sample()));
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    const struct {
        QString path;
        const wchar_t* says;
        unsigned icon;
    } cases[] = {
        {WriteScratch("damaged.ors", good.read(good.size() / 3)), L"damaged.ors", MB_ICONEXCLAMATION},
        {WriteScratch("one.csv", "in:a,out:f\n1,2\n3,4\n"),
         L"\"one.csv\" cannot be charted: it has one input, and a chart needs two.", MB_ICONINFORMATION},
        {QString::fromStdWString(Sample()), L"Unexpected file format.", MB_ICONEXCLAMATION},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        std::optional<platform::FactoryRegistration> foreign;
        if (c.path == QString::fromStdWString(Sample()))
            foreign.emplace(CLSID_OptimizationResultsDataProvider, [](REFIID iid, void** ppv) {
                return platform::MakeCom<ForeignProvider>()->QueryInterface(iid, ppv);
            });
        prompts.messageAnswers.push_back(IDOK);
        m_frame->OpenChartFile(c.path.toStdWString());
        QApplication::processEvents();
        QApplication::processEvents();
        ExpectMessage(c.says, MB_OK | c.icon);
        EXPECT_TRUE(m_frame->Charts().empty());
    }
    EXPECT_EQ(prompts.dialogs.size(), 1u); // only the first, cancelled one
}

// Closing asks about unsaved data: Yes saves (a cancelled or failed save
// keeps the window), Cancel keeps it, No closes it unsaved. The frame closes
// a saved chart without asking and stops at the first chart that stays.
TEST_F(ChartWindowTest, ClosingAsksAboutUnsavedDataAndStopsAtAChartThatStays)
{
    CChildFrame* saved = OpenAccepted(Sample());
    CChildFrame* chart = OpenAccepted(Sample());
    ASSERT_TRUE(saved && chart);
    QPointer<CChildFrame> savedGuard(saved), guard(chart);
    prompts.fileAnswers.push_back(ScratchFile(QStringLiteral("one.ors")).toStdWString());
    m_frame->MdiArea()->setActiveSubWindow(saved);
    m_frame->OnCommand(ID_FILE_SAVE_AS);
    ASSERT_FALSE(saved->View()->Chart().HasUnsavedData());
    const std::wstring question = LoadResourceString(12320);
    EXPECT_EQ(question.front(), L'"');

    prompts.messageAnswers.push_back(IDYES);
    prompts.fileAnswers.push_back(std::nullopt);
    EXPECT_FALSE(m_frame->close());
    ExpectMessage(question, MB_YESNOCANCEL | MB_ICONWARNING);
    EXPECT_TRUE(chart->Refused());
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(savedGuard.isNull());
    EXPECT_EQ(m_frame->Charts(), std::vector<CChildFrame*>{chart});
    EXPECT_TRUE(m_frame->isVisible());

    prompts.messageAnswers = {IDYES, IDOK};
    prompts.fileAnswers.push_back(ScratchFile(QStringLiteral("missing/x.ors")).toStdWString());
    EXPECT_FALSE(chart->close());
    EXPECT_TRUE(chart->View()->Chart().HasUnsavedData());
    EXPECT_EQ(prompts.messages.size(), 2u); // the question, then why the save failed
    prompts.messageAnswers.push_back(IDCANCEL);
    EXPECT_FALSE(chart->close());
    prompts.messageAnswers.push_back(IDNO);
    EXPECT_TRUE(m_frame->close());
    EXPECT_TRUE(m_frame->Charts().empty());
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
    EXPECT_EQ(prompts.unexpected, 0);
}

// Picking writes the status bar; the view commands reach the chart through
// the frame's actions and accelerators; closing the chart clears both.
TEST_F(ChartWindowTest, ViewCommandsAndPickingFollowTheChartsState)
{
    CChildFrame* chart = OpenAccepted(Sample());
    ASSERT_NE(chart, nullptr);
    CChart& doc = chart->View()->Chart();
    CUpdateUI& ui = m_frame->UpdateUI();
    const QString ready = QStringLiteral("Ready");
    m_frame->OnIdle();
    EXPECT_TRUE(ui.IsEnabled(ID_FILE_SAVE_AS));
    EXPECT_FALSE(ui.IsEnabled(ID_WATER_UP));

    ClickVertex(chart, Vertices() / 2);
    EXPECT_TRUE(Model().scene.Marker().has_value());
    const QString text = StatusText();
    EXPECT_TRUE(text.contains(QString::fromStdWString(doc.GetFunctionTitle())));
    // The grid's vertex is one record's value: named exactly, with its number.
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("  record \\d+$")))) << text.toStdString();

    // Ctrl+L and Ctrl+W toggle through the accelerators.
    QTest::keyClick(m_frame.get(), Qt::Key_L, Qt::ControlModifier);
    m_frame->OnIdle();
    EXPECT_TRUE(doc.IsWaterLevel());
    EXPECT_TRUE(m_frame->Action(ID_WATER_LEVEL)->isChecked());
    EXPECT_TRUE(ui.IsEnabled(ID_WATER_UP) && ui.IsEnabled(ID_WATER_DOWN));
    // Up raises the plane one step, Down lowers it: the frame's commands reach the scene.
    const int step = Model().scene.WaterLevelStep();
    m_frame->Action(ID_WATER_UP)->trigger();
    EXPECT_EQ(Model().scene.WaterLevelStep(), step + 1);
    m_frame->Action(ID_WATER_DOWN)->trigger();
    m_frame->Action(ID_WATER_DOWN)->trigger();
    EXPECT_EQ(Model().scene.WaterLevelStep(), step - 1);
    QTest::keyClick(m_frame.get(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_TRUE(doc.IsWireFramed());

    const plot::OrbitCamera& camera = Model().camera;
    for (const auto& [id, yaw, pitch] : {std::tuple{ID_VIEW_TOP, 0.0, 90.0}, {ID_VIEW_SIDE, 90.0, 0.0}}) {
        m_frame->Action(id)->trigger();
        EXPECT_EQ(std::pair(camera.Yaw(), camera.Pitch()), std::pair(yaw, pitch)) << id;
    }

    // The dialog names the series.
    prompts.fileAnswers.push_back(ScratchFile(QStringLiteral("saved.ors")).toStdWString());
    QTest::keyClick(m_frame.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(prompts.fileDialogs.back().title, L"Save Data As: filter-tuning.ors - " + doc.GetXAxisTitle() + L" / " +
                                                    doc.GetYAxisTitle() + L" - " + doc.GetFunctionTitle());
    m_frame->OnIdle();
    EXPECT_FALSE(ui.IsEnabled(ID_FILE_SAVE_AS)); // nothing left to save

    // Closing the last chart takes its pick and toggles with it.
    chart->close();
    QApplication::processEvents();
    m_frame->OnIdle();
    EXPECT_EQ(StatusText(), ready);
    EXPECT_FALSE(m_frame->Action(ID_WATER_LEVEL)->isChecked());
    EXPECT_EQ(prompts.unexpected, 0);
}

// The legend names each slice by its file and held values; its own menu
// hides the series under it and shows hidden ones again, as View > Series
// does. Hiding is for the picture only: Save Data still offers the series.
// Export and Copy Image then draw the chart as it is.
TEST_F(ChartWindowTest, HiddenSeriesLeaveTheLegendsMenuAndThePictures)
{
    CChildFrame* chart = OpenAccepted(Sample());
    ASSERT_NE(chart, nullptr);
    InsertSample([](QDialog& d) {
        static_cast<CInputConfigDlg&>(d).StepUp(2, 2); // the first held input two values up
        return int(IDOK);
    });
    CChart& doc = chart->View()->Chart();
    std::wstring held;
    double value = 0;
    const auto source = LoadData(Sample());
    source->GetInputName(2, &held);
    source->GetInputValue(0, 2, &value); // the first record's, where the dialog starts
    const auto legend = Model().scene.Legend();
    ASSERT_EQ(legend.size(), 2u);
    const QString first = QString::fromStdWString(legend[0].name), second = QString::fromStdWString(legend[1].name);
    EXPECT_TRUE(first.startsWith(QStringLiteral("filter-tuning.ors: ")));
    EXPECT_TRUE(first.contains(QString::fromStdWString(held) + QStringLiteral(" = ") + QString::number(value, 'g', 6) + ','));

    // Right-clicks at p, or on the middle of series k's legend line, down the legend's column.
    QWidget* control = chart->View()->HostedControl();
    const auto rightClick = [&](QPoint p) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, p, control->mapToGlobal(p));
        QApplication::sendEvent(control, &event);
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    };
    const auto legendMenu = [&](std::size_t k) {
        std::vector<int> ys;
        for (int y = 0; y < 200; ++y)
            if (doc.Adapter().SeriesAtLegend(QPoint(14, y)) == k)
                ys.push_back(y);
        QMenu* menu = ys.empty() ? nullptr : rightClick(QPoint(14, (ys.front() + ys.back()) / 2));
        QStringList texts;
        for (QAction* a : menu ? menu->actions() : QList<QAction*>{})
            texts << a->text();
        return std::pair(menu, texts);
    };
    const auto visible = [&] {
        return std::pair(Model().scene.Surfaces()[0]->IsVisible(), Model().scene.Surfaces()[1]->IsVisible());
    };

    EXPECT_EQ(rightClick(QPoint(control->width() / 2, control->height() / 2)), nullptr); // off the legend
    auto [menu, texts] = legendMenu(0);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(texts, QStringList{QStringLiteral("&Hide ") + first});
    menu->actions()[0]->trigger();
    menu->close();
    EXPECT_EQ(visible(), std::pair(false, true));
    m_frame->UpdateSeriesMenu(); // as the View menu opens
    const QList<QAction*> entries = m_frame->SeriesMenu()->actions();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(std::pair(entries[1]->text(), entries[1]->isChecked()), std::pair(second, true));
    EXPECT_FALSE(entries[0]->isChecked());

    std::tie(menu, texts) = legendMenu(1);
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(texts, (QStringList{QStringLiteral("&Hide ") + second, QString(), QStringLiteral("&Show ") + first}));
    prompts.fileAnswers = {std::nullopt, std::nullopt};
    m_frame->OnCommand(ID_FILE_SAVE_AS);
    EXPECT_EQ(prompts.fileDialogs.size(), 3u); // the insert's and one per series
    menu->actions()[2]->trigger();
    menu->close();
    EXPECT_EQ(visible(), std::pair(true, true));
    m_frame->UpdateSeriesMenu();
    m_frame->SeriesMenu()->actions()[0]->trigger(); // View > Series hides it again
    EXPECT_EQ(visible(), std::pair(false, true));

    // Export and Copy Image draw what the chart holds now, offscreen with the
    // software renderer: with one series hidden, a turned camera and the water
    // level on, the picture is the one a render of that state gives.
    m_frame->OnCommand(ID_WATER_LEVEL);
    for (Qt::Key key : {Qt::Key_Left, Qt::Key_Left, Qt::Key_Left, Qt::Key_Left, Qt::Key_Up, Qt::Key_Up})
        QTest::keyClick(control, key);
    const auto render = [&](const plot::OrbitCamera& camera) {
        return plot::SceneRenderer().Render(Model().scene, camera, control->size()).copy();
    };
    const QImage expected = render(Model().camera);
    ASSERT_GT(MeanDifference(expected, render(plot::OrbitCamera{})), 4.0); // the turn shows

    const auto exportAs = [&](const QString& path, QSize typed = {}) {
        prompts.dialogAnswers.push_back([path, typed](QDialog& d) {
            Control<QLineEdit>(d, CExportImageDlg::IDC_PATH)->setText(path);
            if (typed.isValid()) {
                Control<QSpinBox>(d, CExportImageDlg::IDC_WIDTH)->setValue(typed.width());
                Control<QSpinBox>(d, CExportImageDlg::IDC_HEIGHT)->setValue(typed.height());
            }
            d.accept();
            return d.result();
        });
        m_frame->OnCommand(ID_FILE_EXPORT_IMAGE);
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    EXPECT_LT(MeanDifference(QImage::fromData(exportAs(ScratchFile(QStringLiteral("chart.png")))), expected), 0.5);
    exportAs(ScratchFile(QStringLiteral("typed")), QSize(300, 200));
    EXPECT_EQ(QImage(ScratchFile(QStringLiteral("typed.png"))).size(), QSize(300, 200)); // the format's extension added
    EXPECT_TRUE(exportAs(ScratchFile(QStringLiteral("chart.pdf"))).startsWith("%PDF"));
    EXPECT_TRUE(prompts.messages.empty());
    const QString unwritable = ScratchFile(QStringLiteral("no-such-folder/chart.png"));
    prompts.messageAnswers.push_back(IDOK);
    exportAs(unwritable);
    ExpectMessage(unwritable.toStdWString(), MB_OK | MB_ICONEXCLAMATION);

    QGuiApplication::clipboard()->clear();
    m_frame->OnIdle();
    QTest::keyClick(control, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier); // Edit > Copy Image
    EXPECT_LT(MeanDifference(QGuiApplication::clipboard()->image(), expected), 0.5);
    EXPECT_EQ(prompts.unexpected, 0);
}

// Data loaded from a temporary file keep it until the program ends, then it
// goes; the file a chart was opened from stays.
TEST_F(ChartWindowTest, TemporaryFilesGoWithTheProgram)
{
    const QString temporary = ScratchFile(QStringLiteral("temporary.ors"));
    ASSERT_TRUE(QFile::copy(QString::fromStdWString(Sample()), temporary));
    CChildFrame* frame = OpenAccepted(Sample());
    ASSERT_NE(frame, nullptr);
    prompts.dialogAnswers.push_back(AcceptDialog);
    ASSERT_TRUE(frame->View()->Chart().LoadData(temporary.toStdWString(), false, true));
    prompts.messageAnswers.push_back(IDNO); // the sample's data are not saved
    m_frame->close();
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(QFile::exists(temporary)); // the chart is gone, the program is not
    m_frame.reset();
    EXPECT_FALSE(QFile::exists(temporary));
    EXPECT_TRUE(QFile::exists(QString::fromStdWString(Sample())));
    m_frame = std::make_unique<CMainFrame>(); // for the fixture's tear-down
    m_frame->OnCreate();
}
