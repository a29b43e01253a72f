// The chart adapter driving the real chart control on a scattered table read
// by the real data provider (the sample's grid goes the same way through the
// chart window tests).
#include "ChartAdapter.h"
#include "DataTransformer.h"
#include "InputConfigModel.h"

#include "PlotControl.h"
#include "ors_provider/IQX_VantixDataProvider.h"
#include "platform/loader.h"

#include "support/FakeSnagwise.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

using namespace IQX_VantixDataProvider;

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
