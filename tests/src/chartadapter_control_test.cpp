// The chart adapter driving the real chart control, on a slice of the sample
// file read by the real data provider.
#include "ChartAdapter.h"
#include "DataTransformer.h"
#include "SelectionText.h"

#include "PlotControl.h"
#include "ors_provider/IQX_VantixDataProvider.h"
#include "platform/loader.h"

#include "support/FakeSnagwise.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
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
