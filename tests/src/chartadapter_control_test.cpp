// The chart adapter driving the real chart control, on a slice of the sample
// file read by the real data provider.
#include "ChartAdapter.h"
#include "DataTransformer.h"
#include "InputConfigModel.h"
#include "SelectionText.h"

#include "PlotControl.h"
#include "ors_provider/IQX_VantixDataProvider.h"
#include "platform/loader.h"

#include "support/FakeSnagwise.h"

#include <QFile>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <set>

using namespace IQX_VantixDataProvider;
using ::testing::ElementsAre;

namespace {

struct RecordingListener : IUpdateEvent {
    std::vector<int> codes;
    bool OnChartEvent(int code) override
    {
        codes.push_back(code);
        return true;
    }
};

std::wstring SamplePath()
{
    const char* dir = std::getenv("VANTIX_SOURCE_DIR");
    return QString::fromUtf8(dir ? dir : ".").toStdWString() + L"/samples/filter-tuning.ors";
}

} // namespace

TEST(AdapterWithControl, SampleSliceBecomesASurfaceAndAPickReachesTheListener)
{
    vantix::test::FakeSnagwise snag;
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());

    // The data: X = input 0, Y = input 1, every other input held at record 0's value.
    ComPtr<IOptimizationResultsDataProvider> provider;
    ASSERT_EQ(platform::CreateInstance(CLSID_OptimizationResultsDataProvider, &provider), S_OK);
    IUnknown* pData = nullptr;
    ASSERT_EQ(provider->Load(SamplePath(), &pData), S_OK);
    auto data = ComPtr<IUnknown>::Attach(pData);
    ComPtr<IOptimizationResultsDataSource> source(data);
    ComPtr<IOptimizationResultsDataSourceEx> sourceEx(data);
    ASSERT_TRUE(source && sourceEx);
    ULONG inputs = 0, records = 0;
    source->GetInputCount(&inputs);
    source->GetRecordCount(&records);
    ASSERT_GE(inputs, 3u);

    CDataTransformer transformer(data.Get());
    transformer.m_nInputX = 0;
    transformer.m_nInputY = 1;
    for (ULONG n = 2; n < inputs; ++n) {
        std::uint64_t k = 0;
        sourceEx->GetInputValueIndex(0, n, &k);
        transformer.m_Fixed.push_back({n, k});
    }
    // The cells the surface must have: distinct (X, Y) among the matching records.
    std::set<std::pair<std::uint64_t, std::uint64_t>> cells;
    for (ULONG r = 0; r < records; ++r) {
        bool match = true;
        for (const FixedInput& f : transformer.m_Fixed) {
            std::uint64_t k = 0;
            sourceEx->GetInputValueIndex(r, f.nInput, &k);
            match = match && k == f.nValue;
        }
        if (match) {
            std::uint64_t i = 0, j = 0;
            sourceEx->GetInputValueIndex(r, 0, &i);
            sourceEx->GetInputValueIndex(r, 1, &j);
            cells.emplace(i, j);
        }
    }
    ASSERT_GT(cells.size(), 4u);

    // The control, hosted in a shown widget.
    ComPtr<plot::IPlotControl> control;
    ASSERT_EQ(plot::CreatePlotControl(platform::uuidof<plot::IPlotControl>(), reinterpret_cast<void**>(&control)), S_OK);
    auto* impl = static_cast<plot::CPlotControl*>(control.Get());
    ComPtr<plot::IQWidgetHost> host(control);
    QWidget* widget = host->GetWidget();
    ASSERT_NE(widget, nullptr);
    widget->resize(400, 300);
    widget->show();

    RecordingListener listener;
    CChartAdapter adapter;
    adapter.SetUpdateEvent(&listener);
    ASSERT_TRUE(adapter.Initialize(control.Get()));
    EXPECT_EQ(adapter.GetSelection(), 1); // the control starts with picking on
    adapter.CreateNewSeries(&transformer, {});

    plot::Scene& scene = impl->Model().scene;
    ASSERT_EQ(scene.Surfaces().size(), 1u);
    const plot::SurfaceMesh& mesh = *scene.Surfaces()[0];
    EXPECT_EQ(mesh.Vertices().size(), cells.size());
    EXPECT_FALSE(mesh.Indices().empty());
    EXPECT_EQ(mesh.Indices().size() % 3, 0u);
    std::wstring xName, yName, fName;
    transformer.GetInputXFullName(&xName);
    transformer.GetInputYFullName(&yName);
    transformer.GetFunctionName(&fName);
    EXPECT_EQ(scene.AxisTitle(0), xName);
    EXPECT_EQ(scene.AxisTitle(1), fName);
    EXPECT_EQ(scene.AxisTitle(2), yName);

    // A click on a vertex in the middle of the grid picks it and reaches the
    // listener. Vertices come in (X, Y) index order, as the cells are sorted.
    std::set<std::uint64_t> is, js;
    for (const auto& [i, j] : cells) {
        is.insert(i);
        js.insert(j);
    }
    const auto middle = cells.find({*std::next(is.begin(), is.size() / 2), *std::next(js.begin(), js.size() / 2)});
    ASSERT_NE(middle, cells.end());
    const plot::SurfaceVertex target = mesh.Vertices()[std::distance(cells.begin(), middle)];
    scene.Prepare();
    const auto vp = impl->Model().camera.Matrices(widget->width(), widget->height());
    float sx = 0, sy = 0;
    ASSERT_TRUE(vp.Project(scene.ToUnit(target.x, target.y, target.z), &sx, &sy));
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, QPoint(int(sx), int(sy)));
    ASSERT_THAT(listener.codes, ElementsAre(IUpdateEvent::EVENT_POINT_SELECTED));
    double x = 0, y = 0, z = 0;
    ASSERT_TRUE(adapter.GetSelectedPoint(&x, &y, &z));
    EXPECT_EQ(x, target.x);
    EXPECT_EQ(y, target.y);
    EXPECT_EQ(z, target.z);
    EXPECT_FALSE(BuildSelectionText(adapter.GetXAxisTitle(), adapter.GetYAxisTitle(), adapter.GetFunctionTitle(), x, y, z)
                     .empty());
    // The status bar names the record that gave the value.
    const auto picked = FindPickedRecord(transformer, x, y, z);
    ASSERT_TRUE(picked);
    EXPECT_TRUE(picked->bExact);
    EXPECT_EQ(picked->nShared, 1u);
    double v = 0;
    source->GetFunctionValue(picked->nRecord, 0, &v);
    EXPECT_EQ(v, y);

    // Empty space drops the pick.
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    EXPECT_THAT(listener.codes, ElementsAre(IUpdateEvent::EVENT_POINT_SELECTED, IUpdateEvent::EVENT_POINT_CLEARED));
    EXPECT_FALSE(adapter.IsPointSelected());

    // Picking off: clicks reach nobody.
    adapter.SetSelection(0);
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, QPoint(int(sx), int(sy)));
    EXPECT_EQ(listener.codes.size(), 2u);
    delete widget;
}

// A scattered table, as a random or TPE design writes it: read as scattered
// data, opened over every value of its held input, drawn as points coloured
// by value, and with a surface through them on request.
TEST(AdapterWithControl, ScatteredTableDrawsColouredPointsAndASurfaceFromThem)
{
    vantix::test::FakeSnagwise snag;
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    const QString csv = dir.filePath("random.csv");
    {
        QFile file(csv);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        QTextStream out(&file);
        out << "in:lr,in:decay,in:width,out:loss\n";
        std::mt19937 random(3);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        for (int r = 0; r < 300; ++r) {
            const double a = u(random), b = u(random), c = u(random);
            out << QString::number(a, 'g', 17) << ',' << QString::number(b, 'g', 17) << ','
                << QString::number(c, 'g', 17) << ',' << QString::number((a - 0.3) * (a - 0.3) + b * c, 'g', 17)
                << '\n';
        }
    }
    ComPtr<IOptimizationResultsDataProvider> provider;
    ASSERT_EQ(platform::CreateInstance(CLSID_OptimizationResultsDataProvider, &provider), S_OK);
    IUnknown* pData = nullptr;
    ASSERT_EQ(provider->Load(csv.toStdWString(), &pData), S_OK);
    auto data = ComPtr<IUnknown>::Attach(pData);
    ComPtr<IOptimizationResultsDataSource> source(data);
    LONG type = -1;
    source->GetDataType(&type);
    EXPECT_EQ(type, 2);

    // The dialog's start: the held input at "All", so the slice is every record.
    CInputConfigModel model;
    ASSERT_EQ(model.Initialize(source.Get(), nullptr), S_OK);
    EXPECT_EQ(model.CountSliceRecords(), 300u);
    CDataTransformer transformer(data.Get());
    FixedInput held{};
    ASSERT_TRUE(model.GetHeldInput(0, held));
    transformer.m_Fixed = {held};

    ComPtr<plot::IPlotControl> control;
    ASSERT_EQ(plot::CreatePlotControl(platform::uuidof<plot::IPlotControl>(), reinterpret_cast<void**>(&control)), S_OK);
    auto* impl = static_cast<plot::CPlotControl*>(control.Get());
    QWidget* widget = ComPtr<plot::IQWidgetHost>(control)->GetWidget();
    widget->resize(400, 300);
    CChartAdapter adapter;
    ASSERT_TRUE(adapter.Initialize(control.Get()));
    adapter.CreateNewSeries(&transformer, {});
    plot::Scene& scene = impl->Model().scene;
    ASSERT_EQ(scene.PointClouds().size(), 1u);
    EXPECT_EQ(scene.PointClouds()[0]->Points().size(), 300u);
    double lo = 0, hi = 0;
    EXPECT_EQ(control->GetValueRange(&lo, &hi), S_OK);
    EXPECT_LT(lo, hi);

    // Coloured points of several hues, none the old white specks.
    const auto hues = [&] {
        QImage image(widget->size(), QImage::Format_RGB32);
        widget->render(&image);
        std::set<int> seen;
        for (int yy = 0; yy < image.height(); ++yy)
            for (int xx = 0; xx < image.width(); ++xx) {
                const QColor c = image.pixelColor(xx, yy);
                if (c.hsvSaturation() > 150 && c.value() > 100)
                    seen.insert(c.hsvHue() / 30);
            }
        return seen.size();
    };
    EXPECT_GE(hues(), 3u);

    adapter.SetSurfaceFromPoints(true);
    ASSERT_TRUE(adapter.RefillSeries(0, &transformer));
    ASSERT_EQ(scene.Surfaces().size(), 1u);
    // Fewer than 2n - 2 triangles: long edges along the hull are dropped.
    const std::size_t triangles = scene.Surfaces()[0]->TriangleCount();
    EXPECT_GT(triangles, 400u);
    EXPECT_LT(triangles, 598u);
    adapter.SetSurfaceFromPoints(false);
    adapter.RefillSeries(0, &transformer);
    EXPECT_FALSE(scene.Surfaces()[0]->IsVisible());
    EXPECT_TRUE(snag.Asserts().empty());
    delete widget;
}
