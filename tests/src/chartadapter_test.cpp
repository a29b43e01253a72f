// The chart adapter against a recording fake control and fake transfers.
#include "ChartAdapter.h"
#include "FakeChartControl.h"

#include "support/ComErrorOf.h"
#include "support/FakeSnagwise.h"

#include <QSettings>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <tuple>

using namespace vantix::test;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

struct RecordingListener : IUpdateEvent {
    std::vector<int> codes;
    std::function<void(int)> onEvent;
    bool OnChartEvent(int code) override
    {
        codes.push_back(code);
        if (onEvent)
            onEvent(code);
        return true;
    }
};

struct Vertex {
    double x, y, z;
    std::uint32_t color;
    friend bool operator==(const Vertex&, const Vertex&) = default;
};

std::ostream& operator<<(std::ostream& os, const Vertex& v)
{
    char buf[128];
    std::snprintf(buf, sizeof buf, "{%g, %g, %g, 0x%06X}", v.x, v.y, v.z, v.color);
    return os << buf;
}

std::vector<Vertex> Vertices(const std::vector<plot::SurfaceVertex>& in)
{
    std::vector<Vertex> out;
    for (const auto& v : in)
        out.push_back({v.x, v.y, v.z, v.color});
    return out;
}

// Settings live in a folder of their own for each test.
struct SettingsFolder {
    QTemporaryDir dir;
    SettingsFolder() { QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path()); }
    void SetVideoMode(const QVariant& value)
    {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Qorvex"), QStringLiteral("Vantix"));
        if (value.isValid())
            s.setValue(QStringLiteral("Visualizer/VideoMode"), value);
        else
            s.remove(QStringLiteral("Visualizer/VideoMode"));
        s.sync();
    }
};

struct AdapterTest : ::testing::Test {
    FakeSnagwise snag;
    SettingsFolder settings;
    ComPtr<FakeChartControl> control = platform::MakeCom<FakeChartControl>();
    CChartAdapter adapter;
    RecordingListener listener;

    void Attach(LONG collision = 0)
    {
        control->collision = collision;
        ASSERT_TRUE(adapter.Initialize(Unk(control.Get())));
        control->calls.clear();
        snag.Clear();
    }
    FakeSurfaceSeries& Surface(const std::vector<SliceRecord>& records)
    {
        FakeTransfer t;
        t.records = records;
        adapter.CreateNewSeries(&t, {});
        return *control->surfaces.back().Get();
    }
};

} // namespace

// Only the exact text "OPENGL" selects OpenGL; picking on subscribes to the events.
TEST_F(AdapterTest, InitializeChoosesTheRendererAndSubscribesWhenPickingIsOn)
{
    const std::tuple<QVariant, LONG, LONG> cases[] = {
        {QVariant(), 0, 0},
        {QVariant(QString()), 0, 1},
        {QVariant(QStringLiteral("OPENGL")), 1, 0},
        {QVariant(QStringLiteral("OpenGL")), 0, 1},
        {QVariant(QStringLiteral("OPENGL ")), 0, 0},
    };
    for (const auto& [value, renderer, collision] : cases) {
        SCOPED_TRACE(value.toString().toStdString());
        settings.SetVideoMode(value);
        snag.Clear();
        auto c = platform::MakeCom<FakeChartControl>();
        c->collision = collision;
        CChartAdapter a;
        EXPECT_TRUE(a.Initialize(Unk(c.Get())));
        EXPECT_THAT(c->calls, ElementsAre("Initialize " + std::to_string(renderer), "IsEnableCollisionDetect"));
        EXPECT_THAT(snag.Traces(), ElementsAre(L"Chart adapter : Initialize " + PointerText(Unk(c.Get()))));
        EXPECT_EQ(c->events->advises, collision);
        EXPECT_EQ(c->events->sinks.size(), std::size_t(collision));
    }
}

TEST_F(AdapterTest, InitializeFailures)
{
    // Not a chart control: nothing is called.
    auto notAControl = platform::MakeCom<FakeSurfaceSeries>();
    EXPECT_FALSE(adapter.Initialize(static_cast<plot::ISurfaceSeries*>(notAControl.Get())));
    EXPECT_FALSE(adapter.Initialize(nullptr));

    control->collision = 1;
    // A success other than S_OK is no success here either, and asks nothing further.
    const std::pair<HRESULT, std::vector<std::wstring>> cases[] = {
        {E_FAIL, {L"((HRESULT)(hr) >= 0) && L\"error RE Ruvir initialize\""}}, {S_FALSE, {}}};
    for (const auto& [hr, asserts] : cases) {
        snag.Clear();
        control->calls.clear();
        control->results["Initialize"] = hr;
        EXPECT_FALSE(adapter.Initialize(Unk(control.Get())));
        EXPECT_THAT(control->calls, ElementsAre("Initialize 0"));
        EXPECT_EQ(snag.Asserts(), asserts);
    }
    snag.Clear();
    control->results["Initialize"] = S_OK;
    control->results["IsEnableCollisionDetect"] = E_FAIL;
    EXPECT_TRUE(adapter.Initialize(Unk(control.Get())));
    EXPECT_THAT(snag.Asserts(), ElementsAre(L"((HRESULT)(hr) >= 0) && L\"IsEnableCollisionDetect error\""));
    EXPECT_EQ(control->events->advises, 0); // the preset 0 stands
}

// The commands themselves reach the real control in the chart window's tests.
TEST_F(AdapterTest, DisplayCommandsAssertTheirFailures)
{
    Attach();
    for (const char* op : {"EnableWaterLevel", "EnableWireFrame", "IsWaterLevel", "IsWireFramed", "SetVideoMode",
                           "GetVideoMode", "WaterLevelUp"})
        control->results[op] = E_FAIL;
    control->waterLevel = control->videoMode = 1;
    adapter.EnableWaterLevel(false);
    adapter.EnableWireFrame(true);
    EXPECT_FALSE(adapter.IsWaterLevel()); // failed getter: preset 0
    EXPECT_FALSE(adapter.IsWireFramed());
    EXPECT_EQ(adapter.SetVideoMode(0), E_FAIL);
    EXPECT_EQ(adapter.GetVideoMode(), 0);
    adapter.MoveWaterLevel(0); // no check
    EXPECT_THAT(snag.Asserts(), ElementsAre(L"((HRESULT)(hr) >= 0) && L\"error while Enable Waterlevel\"",
                                            L"((HRESULT)(hr) >= 0) && L\"error while Enable WireFrame\"",
                                            L"((HRESULT)(hr) >= 0) && L\"error while get state of Waterlevel\"",
                                            L"((HRESULT)(hr) >= 0) && L\"error while get state of WireFrame\""));
}

TEST_F(AdapterTest, CommandsWithoutAControlThrowEPointer)
{
    const std::function<void()> commands[] = {
        [&] { adapter.EnableWaterLevel(true); }, [&] { adapter.EnableWireFrame(true); },
        [&] { adapter.MoveWaterLevel(0); },      [&] { adapter.SetVideoMode(0); },
        [&] { adapter.GetVideoMode(); },         [&] { adapter.SetSelection(1); },
        [&] { adapter.GetSelection(); }};
    for (std::size_t k = 0; k < std::size(commands); ++k)
        EXPECT_EQ(ComErrorOf(commands[k]), E_POINTER) << "command " << k;
    EXPECT_FALSE(adapter.IsWaterLevel());
    EXPECT_FALSE(adapter.IsWireFramed());
}

// ---- surfaces

// Triangles, roughness and folding are the surface grid's (surfacegrid_test);
// here: coordinates from the signed indices, the aggregate passed on, roughness
// colours, the colour bar, and what too few cells build.
TEST_F(AdapterTest, SurfaceVerticesAndTheColourBarFollowTheGrid)
{
    Attach();
    adapter.SetAggregate(CChartAdapter::Aggregate::Max);
    FakeTransfer t;
    // Low 32 bits read as signed: 0xFFFFFFFF is -1 and comes before 0.
    t.records = {{0, 0, 1.0}, {0x1FFFFFFFFull, 0, 2.0}, {~0ull, 0, 3.0}, {0, 0xFFFFFFFFull, 1.0}};
    adapter.CreateNewSeries(&t, {});
    EXPECT_THAT(t.xIndexRequests, ElementsAre(~0ull, 0ull, 0ull));
    EXPECT_THAT(t.yIndexRequests, ElementsAre(0ull, ~0ull, 0ull));
    // Cell (-1, 0) folds to its maximum 3 and is the roughest; (-1, -1) is empty.
    const FakeSurfaceSeries& s = *control->surfaces.at(0).Get();
    EXPECT_THAT(Vertices(s.vertices), ElementsAre(Vertex{9, 3, 20, 0x0000FF}, Vertex{10, 1, 18, 0x00FF00},
                                                  Vertex{10, 1, 20, 0x00FF00}));
    EXPECT_EQ(s.indices.size(), 3u);
    EXPECT_THAT(control->calls, ElementsAre("CreateSurfaceSeries", "Refresh", "SetAxisTitles"));
    EXPECT_THAT(snag.Traces(), ElementsAre(L"Chart adapter : Create new series", L"Chart adapter : Fill surface series"));
    EXPECT_EQ(control->colorScale.show, plot::kColorScaleShown);
    EXPECT_EQ(control->colorScale.title, L"Roughness of Ripple (mean |difference| to neighbours)");

    // One cell gives no triangles but refreshes; no cell does not.
    control->calls.clear();
    EXPECT_EQ(Surface({{4, 9, 2.5}}).setDataCalls, 0);
    EXPECT_EQ(Surface({}).setDataCalls, 0);
    EXPECT_THAT(control->calls, ElementsAre("CreateSurfaceSeries", "Refresh", "SetAxisTitles", "CreateSurfaceSeries",
                                            "SetAxisTitles"));
}

// Data the control refuses is reported, and the series shows nothing rather
// than the slice before.
TEST_F(AdapterTest, RefusedSeriesDataLeavesTheSeriesEmpty)
{
    Attach();
    FakeSurfaceSeries& s = Surface({{0, 0, 1.0}, {0, 1, 2.0}, {1, 0, 3.0}});
    FakeTransfer points;
    points.style = IDataTransfer::STYLE_POINT3D;
    points.records = {{0, 0, 1.0}};
    adapter.CreateNewSeries(&points, {});
    ASSERT_EQ(s.vertices.size(), 3u);
    ASSERT_EQ(control->colorScale.show, plot::kColorScaleShown);
    s.refuse = control->pointSeries.at(0)->refuse = E_OUTOFMEMORY;
    FakeTransfer t;
    t.records = {{0, 0, 1.0}, {0, 1, 2.0}, {1, 0, 4.0}};
    ASSERT_TRUE(adapter.RefillSeries(0, &t));
    ASSERT_TRUE(adapter.RefillSeries(1, &points));
    EXPECT_TRUE(s.vertices.empty());
    EXPECT_TRUE(control->pointSeries[0]->vertices.empty());
    EXPECT_EQ(control->colorScale.show, plot::kColorScaleAutomatic); // no roughness range left
    const std::wstring refused = L"((HRESULT)(hr) >= 0) && L\"the control refused the series data\"";
    EXPECT_THAT(snag.Asserts(), ElementsAre(refused, refused));
}

TEST(RoughnessColor, RampCornersAndSteps)
{
    // Corners, then just below each corner (the previous band almost complete), a half step and a flat range.
    const std::tuple<double, double, double, std::uint32_t> cases[] = {
        {0, 0, 4, 0x00FF00},     {1, 0, 4, 0xFFFF00},     {2, 0, 4, 0xFF0000},     {3, 0, 4, 0xFF00FF},
        {4, 0, 4, 0x0000FF},     {0.999, 0, 4, 0xFEFF00}, {1.999, 0, 4, 0xFF0100}, {2.999, 0, 4, 0xFF00FE},
        {3.999, 0, 4, 0x0100FF}, {0.5, 0, 4, 0x7FFF00},   {5, 5, 5, 0x00FF00}};
    for (const auto& [r, rMin, rMax, color] : cases)
        EXPECT_EQ(CChartAdapter::RoughnessColor(r, rMin, rMax), color) << r << " in " << rMin << ".." << rMax;
}

TEST_F(AdapterTest, TitlesFollowEachSeriesWithTheFunctionVertical)
{
    Attach();
    FakeTransfer t;
    t.records = {{0, 0, 1}};
    adapter.CreateNewSeries(&t, {});
    EXPECT_THAT(control->titles, ElementsAre(L"Lowpass:Cutoff", L"Ripple", L"Lowpass:Q"));
    EXPECT_EQ(std::tuple(adapter.GetXAxisTitle(), adapter.GetYAxisTitle(), adapter.GetFunctionTitle()),
              std::tuple(L"Lowpass:Cutoff", L"Lowpass:Q", L"Ripple"));

    // A one-input description builds nothing and keeps the titles.
    FakeTransfer one;
    one.types = {IDataTransfer::DATA_1D};
    one.xName = L"other";
    control->calls.clear();
    EXPECT_EQ(adapter.CreateNewSeries(&one, {}), 0u);
    one.style = IDataTransfer::STYLE_POINT3D;
    EXPECT_EQ(adapter.CreateNewSeries(&one, {}), 0u);
    EXPECT_TRUE(control->calls.empty());
    EXPECT_EQ(adapter.GetXAxisTitle(), L"Lowpass:Cutoff");
    EXPECT_THAT(snag.Asserts(), IsEmpty());
}

TEST_F(AdapterTest, BadDescriptionsAndIteratorsAreAssertedAndBuildNothing)
{
    Attach();
    EXPECT_EQ(adapter.CreateNewSeries(nullptr, {}), 0u);
    FakeTransfer type;
    type.types = {static_cast<IDataTransfer::DataType>(4)};
    adapter.CreateNewSeries(&type, {});
    FakeTransfer style;
    style.style = static_cast<IDataTransfer::DataStyle>(3);
    adapter.CreateNewSeries(&style, {});
    EXPECT_TRUE(control->calls.empty());
    EXPECT_THAT(snag.Asserts(), ElementsAre(L"pDataSource && L\"bad data transfer pointer\"",
                                            L"! L\"Unknown data type\"", L"! L\"Unknown data style\""));

    snag.Clear();
    control->results["CreateSurfaceSeries"] = E_OUTOFMEMORY;
    FakeTransfer t;
    t.records = {{0, 0, 1}};
    adapter.CreateNewSeries(&t, {});
    EXPECT_THAT(control->calls, ElementsAre("CreateSurfaceSeries"));
    EXPECT_THAT(snag.Asserts(), ElementsAre(L"((HRESULT)(hr) >= 0)"));
    EXPECT_EQ(adapter.GetXAxisTitle(), L"");
    CChartAdapter detached; // without a control nothing is built
    EXPECT_EQ(detached.CreateNewSeries(&t, {}), 0u);

    snag.Clear();
    control->results.clear();
    control->calls.clear();
    FakeTransfer noIterator, nullIterator, badData;
    noIterator.iteratorResult = false;
    noIterator.records = {{0, 0, 1}, {0, 1, 1}, {1, 0, 1}};
    nullIterator.nullIterator = true;
    badData.dataResult = false;
    badData.records = {{0, 0, 1}, {0, 1, 2}};
    for (FakeTransfer* p : {&noIterator, &nullIterator, &badData})
        adapter.CreateNewSeries(p, {});
    EXPECT_THAT(snag.Asserts(), ElementsAre(L"bSuccess && L\"Can't get data iterator\"",
                                            L"pIterator && L\"bad iterator\"",
                                            L"bSucc && L\"Can't get data from iterator\"",
                                            L"bSucc && L\"Can't get data from iterator\""));
    EXPECT_EQ(control->surfaces.at(0)->setDataCalls, 0);
    EXPECT_EQ(control->Count("SetAxisTitles"), 3); // titles still follow the build
}

// ---- point clouds

TEST_F(AdapterTest, PointCloudCarriesEveryRecordColouredByValueOnScreenSizedPoints)
{
    Attach();
    FakeTransfer t;
    t.style = IDataTransfer::STYLE_POINT3D;
    t.records = {{0, 0, 1.5}, {3, 1, -2.0}, {1, 4, 0.0}};
    adapter.CreateNewSeries(&t, {});
    ASSERT_EQ(control->pointSeries.size(), 1u);
    const FakePointSeries& p = *control->pointSeries[0].Get();
    EXPECT_THAT(Vertices(p.vertices), ElementsAre(Vertex{10, 1.5, 20, 0xFFFFFF}, Vertex{13, -2, 22, 0xFFFFFF},
                                                  Vertex{11, 0, 28, 0xFFFFFF}));
    EXPECT_EQ(p.pointSize, 0.5); // the smaller spacing: X's 1, not Y's 2
    // The control colours them by value and draws them a few pixels wide.
    EXPECT_EQ(p.colorByValue, 1);
    EXPECT_EQ(p.pixelSize, CChartAdapter::PointPixels(3));
    EXPECT_GE(CChartAdapter::PointPixels(5'000'000), 3.0);
    EXPECT_THAT(control->calls, ElementsAre("CreatePointSeries", "Refresh", "SetAxisTitles"));
    EXPECT_THAT(snag.Traces(), ElementsAre(L"Chart adapter : Create new series", L"Chart adapter : Fill point 3d series"));

    // Nothing to draw: no data, no refresh.
    FakeTransfer empty;
    empty.style = IDataTransfer::STYLE_POINT3D;
    adapter.CreateNewSeries(&empty, {});
    EXPECT_EQ(control->pointSeries.at(1)->setDataCalls, 0);
    EXPECT_EQ(control->Count("Refresh"), 1);
    // A description whose type changes between the dispatch and the build.
    FakeTransfer changing = t;
    changing.types = {IDataTransfer::DATA_2D, IDataTransfer::DATA_1D};
    changing.typeCalls = 0;
    changing.yValue = [](std::uint64_t k) { return 0.5 * double(k); }; // now Y's spacing is the smaller
    adapter.CreateNewSeries(&changing, {});
    EXPECT_THAT(snag.Asserts(),
                ElementsAre(L"IDataTransfer::DATA_2D == type && L\"series not compatible to this data type\""));
    EXPECT_EQ(control->pointSeries.at(2)->setDataCalls, 1);
    EXPECT_EQ(control->pointSeries.at(2)->pointSize, 0.25);
}

// ---- picking

TEST_F(AdapterTest, SelectionSwitchesPickingAndTheSubscription)
{
    Attach();
    adapter.SetSelection(1);
    adapter.SetSelection(1);
    EXPECT_EQ(control->events->sinks.size(), 1u);
    EXPECT_EQ(adapter.GetSelection(), 1);
    adapter.SetSelection(0);
    EXPECT_TRUE(control->events->sinks.empty());
    adapter.SetSelection(2);
    EXPECT_EQ(std::pair(control->events->advises, control->events->unadvises), std::pair(1, 1));
    EXPECT_EQ(adapter.GetSelection(), 2); // whatever the control says
    EXPECT_THAT(control->calls, ElementsAre("EnableCollisionDetect 1", "EnableCollisionDetect 1",
                                            "IsEnableCollisionDetect", "EnableCollisionDetect 0",
                                            "EnableCollisionDetect 2", "IsEnableCollisionDetect"));
    EXPECT_THAT(snag.Asserts(), IsEmpty());

    // A refused switch still subscribes as asked, then asserts.
    control->results["EnableCollisionDetect"] = E_FAIL;
    adapter.SetSelection(1);
    EXPECT_EQ(control->events->advises, 2);
    control->results["IsEnableCollisionDetect"] = E_FAIL;
    EXPECT_EQ(adapter.GetSelection(), 1); // the preset
    EXPECT_THAT(snag.Asserts(), ElementsAre(L"((HRESULT)(hr) >= 0) && L\"EnableCollisionDetect error\"",
                                            L"((HRESULT)(hr) >= 0) && L\"IsEnableCollisionDetect error\""));
}

TEST_F(AdapterTest, PickedPointsReachTheListener)
{
    Attach(1);
    // Without a listener the point is still kept.
    control->events->FireSelect(4, 5, 6);
    EXPECT_TRUE(adapter.IsPointSelected());
    control->events->FireClear();
    double x = 0, y = 0, z = 0;
    EXPECT_FALSE(adapter.GetSelectedPoint(&x, &y, &z));

    // The listener already sees the new point, and the old one until it ran.
    adapter.SetUpdateEvent(&listener);
    double expectedY = 2.0;
    listener.onEvent = [&](int code) {
        double a = 0, b = 0, c = 0;
        EXPECT_TRUE(adapter.GetSelectedPoint(&a, &b, &c));
        EXPECT_EQ(b, code == IUpdateEvent::EVENT_POINT_SELECTED ? expectedY : 2.5);
    };
    EXPECT_EQ(control->events->FireSelect(1.0, 2.0, 3.0), S_OK);
    expectedY = 2.5;
    EXPECT_EQ(control->events->FireSelect(1.5, 2.5, 3.5), S_OK);
    EXPECT_TRUE(adapter.GetSelectedPoint(&x, &y, &z));
    EXPECT_EQ(std::tuple(x, y, z), std::tuple(1.5, 2.5, 3.5));
    EXPECT_FALSE(adapter.GetSelectedPoint(nullptr, &y, &z));
    EXPECT_EQ(control->events->FireClear(), S_OK);
    EXPECT_FALSE(adapter.IsPointSelected());
    // "ClearPoint" without a selected point still reaches the listener.
    listener.onEvent = nullptr;
    control->events->FireClear();
    EXPECT_THAT(listener.codes, ElementsAre(0, 0, 1, 1));

    // Null coordinates are ignored; with picking off nothing arrives.
    adapter.OnSelectPoint(nullptr, &y, &z);
    adapter.SetSelection(0);
    EXPECT_EQ(control->events->FireSelect(1, 2, 3), S_OK);
    EXPECT_FALSE(adapter.IsPointSelected());
    EXPECT_EQ(listener.codes.size(), 4u);
}

TEST(AdapterLifetime, DestructionUnsubscribesWhileStillHoldingTheControl)
{
    FakeSnagwise snag;
    SettingsFolder settings;
    auto control = platform::MakeCom<FakeChartControl>();
    control->collision = 1;
    const ULONG bare = control->References();
    ULONG atUnadvise = 0;
    control->events->onUnadvise = [&] { atUnadvise = control->References(); };
    {
        CChartAdapter adapter;
        ASSERT_TRUE(adapter.Initialize(Unk(control.Get())));
    }
    EXPECT_EQ(control->events->unadvises, 1);
    EXPECT_TRUE(control->events->sinks.empty());
    EXPECT_GT(atUnadvise, bare); // the adapter still held the control then
    EXPECT_EQ(control->References(), bare);
}

// Grid surfaces coloured by value use the control's value bar; hiding the
// last roughness-coloured surface does too. Names reach the series.
TEST_F(AdapterTest, ColourBarAndSeriesNames)
{
    Attach();
    FakeSurfaceSeries& s = Surface({{0, 0, 1}, {1, 0, 3}});
    FakeTransfer points;
    points.style = IDataTransfer::STYLE_POINT3D;
    points.records = {{0, 0, 1}, {1, 1, 2}};
    adapter.CreateNewSeries(&points, {});
    EXPECT_EQ(control->colorScale.show, plot::kColorScaleShown);
    adapter.SetColorByValue(true);
    EXPECT_EQ(s.colorByValue, 1);
    EXPECT_EQ(control->colorScale.show, plot::kColorScaleAutomatic);
    adapter.SetColorByValue(false);
    EXPECT_EQ(s.colorByValue, 0);
    EXPECT_EQ(control->colorScale.show, plot::kColorScaleShown);
    adapter.ShowSeries(0, false);
    EXPECT_EQ(control->colorScale.show, plot::kColorScaleAutomatic);

    adapter.SetSeriesName(0, L"a.ors - x / y - f");
    adapter.SetSeriesName(1, L"b.ors");
    EXPECT_EQ(s.name, L"a.ors - x / y - f");
    EXPECT_EQ(control->pointSeries.at(0)->name, L"b.ors");
    adapter.SetLegend(false);
    EXPECT_EQ(control->colorScale.show, plot::kColorScaleHidden);
    EXPECT_EQ(s.name, L"");
    adapter.SetLegend(true);
    EXPECT_EQ(control->pointSeries.at(0)->name, L"b.ors");
}

// Log axes, labelled inputs and "(none)": the positions the control gets, the
// ticks it is told, and the status-bar text of a position.
TEST_F(AdapterTest, LogLabelledAndNoneAxesPlaceTheValuesAndNameThem)
{
    Attach();
    FakeTransfer t;
    t.style = IDataTransfer::STYLE_POINT3D;
    t.xValue = [](std::uint64_t k) { return std::pow(10.0, double(k) - 3); }; // 0.001, 0.01, 0.1
    t.labels[1] = {L"adam", L"sgd"};
    t.none[1] = 2;
    t.logAxes = {true, false, true};
    t.records = {{0, 0, 100.0}, {2, 1, 0.01}, {1, 2, 1.0}};
    adapter.CreateNewSeries(&t, {});
    const FakePointSeries& p = *control->pointSeries[0].Get();
    EXPECT_THAT(Vertices(p.vertices), ElementsAre(Vertex{-3, 2, 0, 0xFFFFFF}, Vertex{-1, -2, 1, 0xFFFFFF},
                                                  Vertex{-2, 0, 2, 0xFFFFFF}));
    EXPECT_EQ(control->axisScale, (std::array<LONG, 3>{plot::kAxisScaleLog, plot::kAxisScaleLog, plot::kAxisScaleLinear}));
    EXPECT_EQ(control->tickLabels[2].positions, (std::vector<double>{0, 1, 2}));
    EXPECT_EQ(control->tickLabels[2].labels, (std::vector<std::wstring>{L"adam", L"sgd", L"(none)"}));
    EXPECT_EQ(control->tickLabels[2].only, 1);
    const struct {
        int axis;
        double position;
        const wchar_t* text;
    } texts[] = {{0, -1, L"0.1"}, {0, -2.5, L"0.00316228"}, {1, 1, L"sgd"}, {1, 2, L"(none)"}, {2, 2, L"100"}};
    for (const auto& c : texts)
        EXPECT_EQ(adapter.AxisText(c.axis, c.position), c.text) << c.axis << " " << c.position;
    EXPECT_TRUE(adapter.IsAxisLog(0));
    EXPECT_FALSE(adapter.CanAxisLog(1)); // labelled: codes from 0

    // Linear again when asked; a numeric input's "(none)" a tenth past its end.
    adapter.SetAxisLog(0, false);
    t.labels[1].clear();
    t.none = {std::nullopt, 2};
    ASSERT_TRUE(adapter.RefillSeries(0, &t));
    EXPECT_EQ(p.vertices[0].x, 0.001);
    EXPECT_EQ(p.vertices[2].z, 22 + 0.2); // Y 20, 22 and (none)
    EXPECT_EQ(control->tickLabels[2].labels, (std::vector<std::wstring>{L"(none)"}));
    EXPECT_EQ(control->tickLabels[2].only, 0);
    EXPECT_EQ(adapter.AxisText(1, 22.2), L"(none)");
    EXPECT_EQ(adapter.AxisText(1, 22), L"22");
    EXPECT_EQ(control->axisScale[0], plot::kAxisScaleLinear);

    // A value at or below zero rules a log scale out, whatever was asked.
    FakeTransfer signed_;
    signed_.style = IDataTransfer::STYLE_POINT3D;
    signed_.xValue = [](std::uint64_t k) { return double(k) - 1; };
    signed_.records = {{0, 0, 1.0}};
    adapter.CreateNewSeries(&signed_, {});
    adapter.SetAxisLog(0, true);
    EXPECT_FALSE(adapter.CanAxisLog(0));
    EXPECT_FALSE(adapter.IsAxisLog(0));
    EXPECT_TRUE(adapter.CanAxisLog(2));
}
