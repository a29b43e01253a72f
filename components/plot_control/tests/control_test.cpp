// The chart control object: its operations, mouse and key gestures, the
// events it fires through its connection point, and its settled frames.
#include "ImageCheck.h"
#include "PlotControl.h"
#include "plot_control/ChartPicture.h"
#include "plot_control/OpenGLSupport.h"
#include "plot_control/Picker.h"
#include "support/FakeSnagwise.h"

#include "platform/loader.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <thread>
#include <vector>

using namespace plot;
using ::testing::Contains;
using ::testing::HasSubstr;
using platform::IConnectionPoint;
using platform::IConnectionPointContainer;

namespace {

// A sink implementing IChartEvents through Invoke, recording what arrives.
class CEventSink final : public ComObject<IChartEvents> {
public:
    struct Call {
        DISPID id;
        std::vector<double> args; // declaration order: pX, pY, pZ
    };
    std::vector<Call> calls;
    std::uint32_t cookie = 0;

    HRESULT GetTypeInfoCount(std::uint32_t* p) override { return p ? (*p = 0, S_OK) : E_POINTER; }
    HRESULT GetTypeInfo(std::uint32_t, LCID, platform::ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, const wchar_t* const*, std::uint32_t, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID id, REFIID, LCID, std::uint16_t, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                   std::uint32_t*) override
    {
        Call call{id, {}};
        for (std::uint32_t k = params ? params->cArgs : 0; k-- > 0;) {
            EXPECT_EQ(params->rgvarg[k].vt, platform::VT_R8 | platform::VT_BYREF);
            call.args.push_back(*params->rgvarg[k].pdblVal);
        }
        calls.push_back(call);
        return S_OK;
    }
};

bool WaitFor(const std::function<bool()>& done)
{
    for (int k = 0; k < 2000 && !done(); ++k)
        QTest::qWait(5);
    return done();
}

// Holds settled frames before they draw until released (or abandoned).
struct HeldSettledFrames {
    std::atomic<bool> release{false};
    HeldSettledFrames()
    {
        CPlotWidget::SetSettledHookForTesting([this](const std::atomic<bool>& abandon) {
            while (!abandon.load() && !release.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
    }
    ~HeldSettledFrames() { CPlotWidget::SetSettledHookForTesting(nullptr); }
};

class ControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CreatePlotControl(uuidof<IPlotControl>(), reinterpret_cast<void**>(&m_control)), S_OK);
        m_impl = static_cast<CPlotControl*>(m_control.Get());
        ComPtr<IQWidgetHost> host(m_control);
        m_widget = static_cast<CPlotWidget*>(host->GetWidget());
        ASSERT_NE(m_widget, nullptr);
        m_widget->resize(400, 300);
        m_widget->show();
        ComPtr<IConnectionPointContainer> container(m_control);
        ASSERT_EQ(container->FindConnectionPoint(uuidof<IChartEvents>(), &m_cp), S_OK);
    }

    ComPtr<CEventSink> Advise()
    {
        auto sink = MakeCom<CEventSink>();
        EXPECT_EQ(m_cp->Advise(static_cast<IChartEvents*>(sink.Get()), &sink->cookie), S_OK);
        return sink;
    }

    // A 3 x 3 surface with distinct heights plus one point series beside it.
    void LoadScene()
    {
        std::vector<SurfaceVertex> v;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                v.push_back({double(i), 1.0 + i + 0.5 * j, 10.0 * j, 0x40A040, 0});
        std::vector<std::uint32_t> idx;
        for (std::uint32_t k : {0u, 1u, 3u, 4u})
            idx.insert(idx.end(), {k, k + 1, k + 3, k + 1, k + 4, k + 3});
        ComPtr<ISurfaceSeries> surface;
        ASSERT_EQ(m_control->CreateSurfaceSeries(&surface), S_OK);
        ASSERT_EQ(surface->SetData(v.data(), LONG(v.size()), idx.data(), LONG(idx.size())), S_OK);
        const SurfaceVertex p[] = {{3.0, 7.0, 20.0, 0xFF0000, 0}};
        ComPtr<IPointSeries> points;
        ASSERT_EQ(m_control->CreatePointSeries(&points), S_OK);
        ASSERT_EQ(points->SetData(p, 1, 0.3), S_OK);
        ASSERT_EQ(m_control->Refresh(), S_OK);
    }

    QPoint ScreenOf(double x, double y, double z)
    {
        Scene& scene = Model().scene;
        scene.Prepare();
        const ViewProjection vp = Model().camera.Matrices(m_widget->width(), m_widget->height());
        float sx = 0, sy = 0;
        EXPECT_TRUE(vp.Project(scene.ToUnit(x, y, z), &sx, &sy));
        return QPoint(int(sx), int(sy));
    }

    void Click(QPoint at) { QTest::mouseClick(m_widget, Qt::LeftButton, Qt::NoModifier, at); }
    void Drag(QPoint from, QPoint by)
    {
        QTest::mousePress(m_widget, Qt::LeftButton, Qt::NoModifier, from);
        QMouseEvent move(QEvent::MouseMove, QPointF(from + by), m_widget->mapToGlobal(QPointF(from + by)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_widget, &move);
        QTest::mouseRelease(m_widget, Qt::LeftButton, Qt::NoModifier, from + by);
    }
    ChartModel& Model() { return m_impl->Model(); }
    LONG Get(HRESULT (IPlotControl::*get)(LONG*))
    {
        LONG v = -1;
        EXPECT_EQ((m_control.Get()->*get)(&v), S_OK);
        return v;
    }

    ComPtr<IPlotControl> m_control;
    CPlotControl* m_impl = nullptr;
    CPlotWidget* m_widget = nullptr;
    ComPtr<IConnectionPoint> m_cp;
};

} // namespace

TEST_F(ControlTest, DefaultsAndSettings)
{
    EXPECT_EQ(Get(&IPlotControl::IsEnableCollisionDetect), 1);
    EXPECT_EQ(Get(&IPlotControl::GetFieldOfView), 45);
    for (const auto& [set, kept] : {std::pair{10, 30}, {200, 120}, {70, 70}}) { // clamped to 30..120
        m_control->SetFieldOfView(set);
        EXPECT_EQ(Get(&IPlotControl::GetFieldOfView), kept) << set;
    }
    EXPECT_EQ(Get(&IPlotControl::GetVideoMode), LONG(RendererCode::Software));
    // The offscreen platform of the tests cannot host an OpenGL widget: the
    // chart draws in software, says so in the trace and reports the choice.
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    {
        vantix::test::FakeSnagwise snag;
        EXPECT_EQ(m_control->Initialize(LONG(RendererCode::OpenGL)), S_OK);
        EXPECT_THAT(snag.Traces(), Contains(HasSubstr(L"OpenGL unavailable (the platform \"offscreen\"")));
    }
    EXPECT_EQ(Get(&IPlotControl::GetVideoMode), LONG(RendererCode::OpenGL));
    EXPECT_FALSE(m_widget->DrawsWithOpenGL());
    EXPECT_EQ(m_control->SetVideoMode(7), S_OK); // any other number: software
    EXPECT_EQ(Get(&IPlotControl::GetVideoMode), LONG(RendererCode::Software));

    // Both toggles start off and report what they were set to.
    for (const auto& [enable, is] : {std::pair{&IPlotControl::EnableWaterLevel, &IPlotControl::IsWaterLevel},
                                     {&IPlotControl::EnableWireFrame, &IPlotControl::IsWireFramed}}) {
        EXPECT_EQ(Get(is), 0);
        (m_control.Get()->*enable)(1);
        EXPECT_EQ(Get(is), 1);
    }
    for (const auto& [move, step] : {std::pair{&IPlotControl::WaterLevelUp, 11}, {&IPlotControl::WaterLevelDown, 10},
                                     {&IPlotControl::WaterLevelDown, 9}}) {
        (m_control.Get()->*move)();
        EXPECT_EQ(Model().scene.WaterLevelStep(), step);
    }

    ComPtr<ISurfaceSeries> s;
    m_control->CreateSurfaceSeries(&s);
    EXPECT_EQ(std::tuple(m_control->IsEnableCollisionDetect(nullptr), m_control->GetFieldOfView(nullptr),
                         m_control->CreateSurfaceSeries(nullptr), s->SetData(nullptr, 3, nullptr, 0)),
              std::tuple(E_POINTER, E_POINTER, E_POINTER, E_POINTER));
    EXPECT_EQ(s->SetData(nullptr, -1, nullptr, 0), E_INVALIDARG);
    // The caller frees its arrays right after the call: the data are copied.
    std::vector<SurfaceVertex> v{{0, 0, 0, 0x112233, 0}, {1, 0, 0, 0x112233, 0}, {0, 1, 1, 0x112233, 0}};
    std::vector<std::uint32_t> idx{0, 1, 2};
    ASSERT_EQ(s->SetData(v.data(), 3, idx.data(), 3), S_OK);
    v.assign(3, SurfaceVertex{9, 9, 9, 0, 0});
    idx.assign(3, 7);
    const SurfaceMesh& mesh = *Model().scene.Surfaces().at(0);
    EXPECT_EQ(mesh.Vertices()[1].x, 1.0);
    EXPECT_EQ(mesh.Indices(), (std::vector<std::uint32_t>{0, 1, 2}));
}

// Clicks pick the nearest vertex or point and mark it, empty space clears;
// every advised sink hears it until unadvised, and nothing is picked while
// detection is off or the view is dragged.
TEST_F(ControlTest, PicksFireEventsToEverySink)
{
    LoadScene();
    auto a = Advise(), b = Advise();
    EXPECT_NE(a->cookie, b->cookie);
    Click(ScreenOf(1.08, 2.5, 10.6)); // slightly off the grid's middle vertex
    ASSERT_EQ(a->calls.size(), 1u);
    EXPECT_EQ(a->calls[0].id, DISPID_SelectPoint);
    EXPECT_EQ(a->calls[0].args, (std::vector<double>{1.0, 2.5, 10.0}));
    EXPECT_EQ(Model().scene.Marker(), (std::array<double, 3>{1.0, 2.5, 10.0}));
    Click(ScreenOf(3.0, 7.0, 20.0)); // the point series: its centre
    EXPECT_EQ(b->calls.at(1).args, (std::vector<double>{3.0, 7.0, 20.0}));

    EXPECT_EQ(m_cp->Unadvise(a->cookie), S_OK);
    EXPECT_EQ(m_cp->Unadvise(a->cookie), CONNECT_E_NOCONNECTION);
    Click(QPoint(3, 3)); // empty space
    EXPECT_EQ(a->calls.size(), 2u);
    ASSERT_EQ(b->calls.size(), 3u);
    EXPECT_EQ(b->calls[2].id, DISPID_ClearPoint);
    EXPECT_TRUE(b->calls[2].args.empty());
    EXPECT_FALSE(Model().scene.Marker());

    ASSERT_EQ(m_control->EnableCollisionDetect(0), S_OK);
    EXPECT_EQ(Get(&IPlotControl::IsEnableCollisionDetect), 0);
    Click(ScreenOf(1, 2.5, 10));
    EXPECT_FALSE(Model().scene.Marker());
    m_control->EnableCollisionDetect(1);
    const double yaw = Model().camera.Yaw();
    Drag(ScreenOf(1, 2.5, 10), QPoint(60, 0));
    EXPECT_NE(Model().camera.Yaw(), yaw);
    EXPECT_EQ(b->calls.size(), 3u);
    QTest::mouseDClick(m_widget, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    EXPECT_EQ(Model().camera.Yaw(), OrbitCamera::kDefaultYaw);

    EXPECT_EQ(m_cp->Unadvise(b->cookie), S_OK);
    Click(ScreenOf(2, 4, 20));
    EXPECT_EQ(b->calls.size(), 3u);
    ComPtr<IConnectionPointContainer> container(m_control);
    IConnectionPoint* other = nullptr;
    EXPECT_EQ(container->FindConnectionPoint(uuidof<IPlotControl>(), &other), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(other, nullptr);
}

TEST_F(ControlTest, ControlOutlivesItsHostWindow)
{
    LoadScene();
    auto* host = new QWidget;
    m_widget->setParent(host);
    delete host; // the host window destroys the widget
    ComPtr<IQWidgetHost> h(m_control);
    EXPECT_EQ(h->GetWidget(), nullptr);
    EXPECT_EQ(m_control->Refresh(), S_OK);
    EXPECT_EQ(m_control->EnableWaterLevel(1), S_OK);
    EXPECT_EQ(Get(&IPlotControl::GetVideoMode), LONG(RendererCode::Software));
    m_widget = nullptr;
}

TEST(ControlModule, CreatedThroughTheLoaderOrLinkedInSoftware)
{
    ComPtr<IPlotControl> control;
    ASSERT_EQ(platform::CreateInstance(CLSID_PlotControl, &control), S_OK);
    EXPECT_NE(ComPtr<IQWidgetHost>(control)->GetWidget(), nullptr);
    EXPECT_EQ(platform::StringFromGUID(CLSID_PlotControl), std::wstring(kPlotControlClassId));

    std::shared_ptr<ChartModel> model;
    EXPECT_EQ(CreateSoftwarePlotControl(nullptr, &model), E_POINTER);
    ASSERT_EQ(CreateSoftwarePlotControl(&control, &model), S_OK);
    control->WaterLevelUp();
    EXPECT_EQ(model->scene.WaterLevelStep(), 11);
}

// The value range colouring by value uses (S_FALSE while no visible series
// colours by value), and the pixel size's limits.
TEST_F(ControlTest, ValueRangeAndPixelSizes)
{
    double lo = -1, hi = -1;
    EXPECT_EQ(m_control->GetValueRange(nullptr, &hi), E_POINTER);
    LoadScene(); // a surface (values 1 .. 5) and one point (value 7), none coloured by value
    EXPECT_EQ(m_control->GetValueRange(&lo, &hi), S_FALSE);
    EXPECT_EQ(std::pair(lo, hi), std::pair(0.0, 0.0));
    ComPtr<IPointSeries> points;
    ASSERT_EQ(m_control->CreatePointSeries(&points), S_OK);
    const SurfaceVertex p[] = {{0.5, 2.0, 5.0, 0xFFFFFF, 0}, {1.5, 9.0, 15.0, 0xFFFFFF, 0}};
    ASSERT_EQ(points->SetData(p, 2, 0.0), S_OK);
    ASSERT_EQ(points->SetColorByValue(1), S_OK);
    ASSERT_EQ(m_control->GetValueRange(&lo, &hi), S_OK);
    EXPECT_EQ(std::pair(lo, hi), std::pair(2.0, 9.0));
    points->SetVisible(0);
    EXPECT_EQ(m_control->GetValueRange(&lo, &hi), S_FALSE);

    const PointCloud& cloud = *Model().scene.PointClouds().back();
    for (const auto& [size, result, kept] : {std::tuple{40.0, S_OK, kMaxPointPixels}, {-1.0, E_INVALIDARG, kMaxPointPixels},
                                            {NAN, E_INVALIDARG, kMaxPointPixels}, {0.0, S_OK, 0.0}, {8.0, S_OK, 8.0}}) {
        EXPECT_EQ(points->SetPixelSize(size), result) << size;
        EXPECT_EQ(cloud.PixelSize(), kept) << size;
    }
}

namespace {
// Records the keys that reach it, as the chart window behind the control.
class CKeyRecorder : public QWidget {
public:
    std::vector<int> keys;

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        if (e->key() != Qt::Key_Shift && e->key() != Qt::Key_Control) // QTest presses modifiers on their own
            keys.push_back(e->key());
    }
};
} // namespace

// Keys move the camera as the matching mouse gestures; the rest go on to the
// parent. A preset looks along an axis at the default zoom.
TEST_F(ControlTest, KeysAndPresetsMoveTheCamera)
{
    CKeyRecorder parent;
    m_widget->setParent(&parent);
    OrbitCamera& camera = Model().camera;
    const double yaw = camera.Yaw(), pitch = camera.Pitch();
    const double notch = [] { OrbitCamera c; c.ZoomSteps(1); return c.Zoom(); }();
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        double yaw, pitch, zoom;
    } cases[] = {
        {Qt::Key_Right, Qt::NoModifier, yaw - 5, pitch, 1}, {Qt::Key_Up, Qt::NoModifier, yaw, pitch + 5, 1},
        {Qt::Key_Plus, Qt::ShiftModifier, yaw, pitch, notch}, {Qt::Key_Minus, Qt::KeypadModifier, yaw, pitch, 1 / notch},
        {Qt::Key_Left, Qt::ControlModifier, yaw, pitch, 1}, // passed on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        camera.Reset();
        QTest::keyClick(m_widget, Qt::Key(c.key), c.modifiers);
        EXPECT_NEAR(camera.Yaw(), c.yaw, 1e-9);
        EXPECT_NEAR(camera.Pitch(), c.pitch, 1e-9);
        EXPECT_NEAR(camera.Zoom(), c.zoom, 1e-9);
    }
    EXPECT_EQ(parent.keys, (std::vector<int>{Qt::Key_Left}));
    QTest::keyClick(m_widget, Qt::Key_Up);
    QTest::keyClick(m_widget, Qt::Key_Home);
    EXPECT_EQ(camera.Pitch(), OrbitCamera::kDefaultPitch);
    m_widget->setParent(nullptr);

    camera.ZoomSteps(3);
    ASSERT_EQ(m_control->SetViewPreset(kViewTop), S_OK);
    EXPECT_LT(Length(Normalize(camera.Matrices(400, 300).eye) - Vec3{0, 1, 0}), 1e-6);
    EXPECT_EQ(camera.Zoom(), 1.0);
    EXPECT_EQ(m_control->SetViewPreset(4), E_INVALIDARG);
}

// The legend lists the visible named series (while two have names) in their
// creation order, hit by its lines, pushed down by the water level's caption;
// the colour bar takes a given scale and refuses a bad one.
TEST_F(ControlTest, LegendAndColourScale)
{
    LoadScene(); // two unnamed series: orders 0 and 1
    ComPtr<ISurfaceSeries> a, c;
    ComPtr<IPointSeries> b;
    ASSERT_EQ(m_control->CreateSurfaceSeries(&a), S_OK);
    ASSERT_EQ(m_control->CreatePointSeries(&b), S_OK);
    ASSERT_EQ(m_control->CreateSurfaceSeries(&c), S_OK);
    const Scene& scene = Model().scene;
    EXPECT_EQ(a->SetName(L"a"), S_OK);
    EXPECT_TRUE(scene.Legend().empty()); // one name: no legend
    b->SetName(L"b");
    c->SetName(L"c");
    EXPECT_TRUE(scene.Legend().at(1).points);
    b->SetVisible(0);
    // The answers down a column, each run once, and where the first line starts.
    const auto column = [&](int x) {
        std::pair<std::vector<LONG>, int> out{{}, -1};
        for (int y = 0; y < 120; ++y) {
            LONG k = -2;
            const HRESULT hr = m_control->LegendSeriesAt(x, y, &k);
            EXPECT_EQ(hr, k < 0 ? S_FALSE : S_OK);
            if (k >= 0 && out.second < 0)
                out.second = y;
            if (out.first.empty() || out.first.back() != k)
                out.first.push_back(k);
        }
        return out;
    };
    const auto dry = column(14);
    EXPECT_EQ(dry.first, (std::vector<LONG>{-1, 2, 4, -1}));
    EXPECT_EQ(column(380).first, std::vector<LONG>{-1}); // right of the legend
    m_control->EnableWaterLevel(1);
    const auto wet = column(14);
    EXPECT_EQ(wet.first, dry.first);
    EXPECT_GT(wet.second, dry.second + 10);
    LONG k = 0;
    EXPECT_EQ(m_control->LegendSeriesAt(0, 0, nullptr), E_POINTER);
    c->SetName(L"");
    EXPECT_EQ(m_control->LegendSeriesAt(14, wet.second + 2, &k), S_OK); // a alone is still listed: two are named
    a->SetName(L"");
    EXPECT_EQ(m_control->LegendSeriesAt(14, wet.second + 2, &k), S_FALSE);

    EXPECT_FALSE(scene.ColorBar()); // nothing colours by value
    for (const auto& [lo, hi, show, hr, shown] : {std::tuple{2.0, 1.0, kColorScaleShown, E_INVALIDARG, false},
                                                  {0.0, 1.0, 3, E_INVALIDARG, false}, {0.0, 1.0, kColorScaleShown, S_OK, true},
                                                  {0.0, 0.0, kColorScaleHidden, S_OK, false}}) {
        EXPECT_EQ(m_control->SetColorScale(L"r", lo, hi, show), hr);
        EXPECT_EQ(scene.ColorBar().has_value(), shown);
    }
}

// Pictures are the software renderer's, as the settled widget shows them,
// and files take the format of their extension: SVG and PDF embed the 3-D
// part as an image and write the labels as text.
TEST_F(ControlTest, PicturesAndTheirFiles)
{
    LoadScene();
    m_control->EnableWaterLevel(1);
    Model().camera.SetOrientation(Model().camera.Yaw() + 40, 20);
    QImage picture;
    ASSERT_EQ(m_control->RenderPicture(400, 300, &picture), S_OK);
    // The same frame; the walls' grid lines may move by a supersampled pixel.
    EXPECT_LT(test::MeanDifference(picture, m_widget->grab().toImage().convertToFormat(QImage::Format_RGB32)), 1.0);
    EXPECT_EQ(m_control->RenderPicture(0, 300, &picture), E_INVALIDARG);
    EXPECT_EQ(m_control->RenderPicture(400, kMaxPictureSide + 1, &picture), E_INVALIDARG);

    QTemporaryDir dir;
    const struct {
        const char* name;
        LONG width;
        HRESULT hr;
        std::vector<const char*> holds; // in the file
    } cases[] = {
        {"chart.png", 320, S_OK, {"PNG"}}, {"chart.SVG", 320, S_OK, {"<text", "<image", "data:image/png;base64"}},
        {"chart.pdf", 320, S_OK, {"%PDF", "/Subtype /Image", "/FontFile"}}, {"chart.gif", 320, E_INVALIDARG, {}},
        {"chart.png", 0, E_INVALIDARG, {}}, {"no-such-folder/chart.png", 320, E_FAIL, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString::fromLatin1(c.name));
        std::wstring error;
        EXPECT_EQ(m_control->WritePicture(path.toStdWString(), c.width, 240, &error), c.hr);
        EXPECT_EQ(error.empty(), c.hr == S_OK) << QString::fromStdWString(error).toStdString();
        QFile file(path);
        if (c.hr != S_OK) {
            EXPECT_TRUE(c.width == 0 || !file.exists());
            continue;
        }
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_GT(bytes.size(), 5000);
        for (const char* h : c.holds)
            EXPECT_TRUE(bytes.contains(h)) << h;
    }
    ASSERT_EQ(m_control->RenderPicture(320, 240, &picture), S_OK);
    EXPECT_EQ(QImage(dir.filePath(QStringLiteral("chart.png"))).convertToFormat(QImage::Format_RGB32),
              picture.convertToFormat(QImage::Format_RGB32));
}

// Axis scales and labelled ticks reach the scene; bad arguments change nothing.
TEST_F(ControlTest, AxisScalesAndTickLabels)
{
    const Scene& scene = Model().scene;
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        LONG axis;
        std::vector<double> positions;
        std::vector<std::wstring> labels;
        HRESULT hr;
    } cases[] = {{3, {}, {}, E_INVALIDARG},         {-1, {}, {}, E_INVALIDARG},
                 {0, {0, 1}, {L"a"}, E_INVALIDARG}, {0, {inf}, {L"a"}, E_INVALIDARG},
                 {2, {0, 1}, {L"adam", L"sgd"}, S_OK}};
    for (const auto& c : cases)
        EXPECT_EQ(m_control->SetAxisTickLabels(c.axis, c.positions, c.labels, 1), c.hr) << c.axis;
    EXPECT_TRUE(scene.Ticks(0).labels.empty());
    ASSERT_EQ(scene.Ticks(2).labels.size(), 2u);
    EXPECT_EQ(scene.Ticks(2).labels[1].text, L"sgd");
    EXPECT_TRUE(scene.Ticks(2).only);
    EXPECT_EQ(m_control->SetAxisTickLabels(2, {}, {}, 1), S_OK); // numbers again
    EXPECT_FALSE(scene.Ticks(2).only);

    for (const auto& [axis, scale, hr, log] : {std::tuple{1, kAxisScaleLog, S_OK, true}, {1, 2, E_INVALIDARG, true},
                                               {4, kAxisScaleLog, E_INVALIDARG, true}, {1, kAxisScaleLinear, S_OK, false}}) {
        EXPECT_EQ(m_control->SetAxisScale(axis, scale), hr);
        EXPECT_EQ(scene.Ticks(1).log, log);
    }
}

// Software OpenGL drivers draw slower than the software renderer and count as
// no OpenGL unless forced; platforms drawing into memory never host it.
TEST(OpenGLSupport, DecidedByPlatformContextAndDriver)
{
    const struct {
        const char *platform;
        bool context;
        const char* renderer;
        bool forced, usable;
    } cases[] = {
        {"xcb", true, "NVIDIA GeForce RTX 3060/PCIe/SSE2", false, true}, {"xcb", true, "softpipe", false, false},
        {"wayland", true, "AMD Radeon RX 6600 (radeonsi, navi23, LLVM 15.0.6, DRM 3.49)", false, true},
        {"xcb", true, "Mesa Intel(R) UHD Graphics 620 (KBL GT2)", false, true}, {"xcb", false, "", true, false},
        {"xcb", true, "llvmpipe (LLVM 15.0.6, 256 bits)", false, false}, {"xcb", true, "zink (llvmpipe)", false, false},
        {"xcb", true, "Mesa X11 swrast", false, false}, {"xcb", true, "llvmpipe (LLVM 15.0.6, 256 bits)", true, true},
        {"offscreen", true, "NVIDIA GeForce RTX 3060/PCIe/SSE2", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.platform) + " " + c.renderer);
        const OpenGLSupport got = DecideOpenGL({c.platform, c.context, c.renderer, c.forced});
        EXPECT_EQ(got.usable, c.usable);
        EXPECT_EQ(got.reason.isEmpty(), c.usable);
    }
}

// The settled frame is drawn on a thread of its own: input throws it away, a
// change stops it before the scene changes (reading a setting does not), and
// once the view rests the settled frame of that view is shown.
TEST_F(ControlTest, SettledFrameDrawsAsideAndInputAbandonsIt)
{
    LoadScene();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_widget));
    HeldSettledFrames held;
    const auto counts = [&] {
        const auto& c = m_widget->Settled();
        return std::tuple(c.started, c.abandoned, c.shown);
    };
    m_widget->Redraw();
    m_widget->repaint(); // the draft, and the settled frame set off
    ASSERT_TRUE(m_widget->SettledFrameDrawing());
    const auto [started, abandoned, shown] = counts();
    Drag(QPoint(200, 150), QPoint(40, 0));
    EXPECT_FALSE(m_widget->SettledFrameDrawing());
    EXPECT_EQ(counts(), std::tuple(started, abandoned + 1, shown));

    ASSERT_TRUE(WaitFor([&] { return m_widget->SettledFrameDrawing(); })); // the view rests
    EXPECT_EQ(Get(&IPlotControl::IsWaterLevel), 0);
    EXPECT_TRUE(m_widget->SettledFrameDrawing());
    EXPECT_EQ(m_control->EnableWaterLevel(1), S_OK);
    EXPECT_EQ(std::get<1>(counts()), abandoned + 2);

    held.release = true;
    ASSERT_TRUE(WaitFor([&] { return std::get<2>(counts()) == shown + 1; }));
    EXPECT_EQ(std::get<1>(counts()), abandoned + 2);
    RenderOptions options;
    options.mergeSubpixelCells = true;
    EXPECT_EQ(m_widget->SettledImage(), SceneRenderer().Render(Model().scene, Model().camera, m_widget->size(), options));
}
