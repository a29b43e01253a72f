#include "PlotControl.h"

#include "AxisOverlay.h"
#include "diagnostics/snagwise.h"
#include "plot_control/ChartPicture.h"

#include <QApplication>

#include <algorithm>
#include <cmath>
#include <new>

namespace plot {

namespace {

class CSurfaceSeries final : public ComObject<ISurfaceSeries> {
public:
    CSurfaceSeries(std::shared_ptr<ChartModel> model, std::shared_ptr<SurfaceMesh> mesh, QPointer<CPlotWidget> widget)
        : m_pModel(std::move(model)), m_pMesh(std::move(mesh)), m_pWidget(std::move(widget))
    {
    }
    HRESULT SetVisible(LONG visible) override
    {
        m_pModel->Edit(); // the scene changes
        m_pMesh->SetVisible(visible != 0);
        Redraw();
        return S_OK;
    }
    HRESULT IsVisible(LONG* pVisible) override
    {
        if (!pVisible)
            return E_POINTER;
        *pVisible = m_pMesh->IsVisible() ? 1 : 0;
        return S_OK;
    }
    HRESULT SetData(const SurfaceVertex* data, LONG count, const std::uint32_t* indices, LONG indexCount) override
    {
        if (count < 0 || indexCount < 0)
            return E_INVALIDARG;
        if ((count > 0 && !data) || (indexCount > 0 && !indices))
            return E_POINTER;
        try {
            m_pModel->Edit(); // the scene changes
            m_pMesh->SetData(data, std::size_t(count), indices, std::size_t(indexCount));
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        Redraw();
        return S_OK;
    }
    HRESULT SetColorByValue(LONG on) override
    {
        m_pModel->Edit(); // the scene changes
        m_pMesh->SetColorByValue(on != 0);
        Redraw();
        return S_OK;
    }
    HRESULT SetName(const std::wstring& name) override
    {
        m_pModel->Edit(); // the scene changes
        m_pMesh->SetName(name);
        Redraw();
        return S_OK;
    }

private:
    void Redraw()
    {
        if (m_pWidget)
            m_pWidget->Redraw();
    }
    std::shared_ptr<ChartModel> m_pModel; // keeps the scene alive
    std::shared_ptr<SurfaceMesh> m_pMesh;
    QPointer<CPlotWidget> m_pWidget;
};

class CPointSeries final : public ComObject<IPointSeries> {
public:
    CPointSeries(std::shared_ptr<ChartModel> model, std::shared_ptr<PointCloud> cloud, QPointer<CPlotWidget> widget)
        : m_pModel(std::move(model)), m_pCloud(std::move(cloud)), m_pWidget(std::move(widget))
    {
    }
    HRESULT SetVisible(LONG visible) override
    {
        m_pModel->Edit(); // the scene changes
        m_pCloud->SetVisible(visible != 0);
        Redraw();
        return S_OK;
    }
    HRESULT IsVisible(LONG* pVisible) override
    {
        if (!pVisible)
            return E_POINTER;
        *pVisible = m_pCloud->IsVisible() ? 1 : 0;
        return S_OK;
    }
    HRESULT SetData(const SurfaceVertex* data, LONG count, double pointSize) override
    {
        if (count < 0)
            return E_INVALIDARG;
        if (count > 0 && !data)
            return E_POINTER;
        try {
            m_pModel->Edit(); // the scene changes
            m_pCloud->SetData(data, std::size_t(count), pointSize);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        Redraw();
        return S_OK;
    }
    HRESULT SetColorByValue(LONG on) override
    {
        m_pModel->Edit(); // the scene changes
        m_pCloud->SetColorByValue(on != 0);
        Redraw();
        return S_OK;
    }
    HRESULT SetPixelSize(double pixels) override
    {
        if (!std::isfinite(pixels) || pixels < 0)
            return E_INVALIDARG;
        m_pModel->Edit(); // the scene changes
        m_pCloud->SetPixelSize(pixels); // capped at kMaxPointPixels
        Redraw();
        return S_OK;
    }
    HRESULT SetName(const std::wstring& name) override
    {
        m_pModel->Edit(); // the scene changes
        m_pCloud->SetName(name);
        Redraw();
        return S_OK;
    }

private:
    void Redraw()
    {
        if (m_pWidget)
            m_pWidget->Redraw();
    }
    std::shared_ptr<ChartModel> m_pModel;
    std::shared_ptr<PointCloud> m_pCloud;
    QPointer<CPlotWidget> m_pWidget;
};

} // namespace

CPlotControl::CPlotControl(ChildViewFactory openGL) : m_pModel(std::make_shared<ChartModel>())
{
    m_pWidget = new CPlotWidget(m_pModel, std::move(openGL));
    m_pWidget->SetPickSink(this);
    m_pEvents = MakeCom<platform::ConnectionPoint>(static_cast<IConnectionPointContainer*>(this),
                                                   uuidof<IChartEvents>());
}

CPlotControl::~CPlotControl()
{
    if (m_pWidget) {
        m_pWidget->SetPickSink(nullptr);
        // A hosted widget belongs to its parent window; an unhosted one to us.
        if (!m_pWidget->parent())
            delete m_pWidget.data();
    }
}

void CPlotControl::Redraw()
{
    if (m_pWidget)
        m_pWidget->Redraw();
}

HRESULT CPlotControl::Refresh()
{
    Redraw();
    return S_OK;
}

HRESULT CPlotControl::Initialize(LONG renderer)
{
    return SetVideoMode(renderer);
}

HRESULT CPlotControl::CreateSurfaceSeries(ISurfaceSeries** ppSeries)
{
    if (!ppSeries)
        return E_POINTER;
    *ppSeries = nullptr;
    auto series = MakeCom<CSurfaceSeries>(m_pModel, m_pModel->Edit().AddSurface(), m_pWidget);
    *ppSeries = series.Detach();
    return S_OK;
}

HRESULT CPlotControl::CreatePointSeries(IPointSeries** ppSeries)
{
    if (!ppSeries)
        return E_POINTER;
    *ppSeries = nullptr;
    auto series = MakeCom<CPointSeries>(m_pModel, m_pModel->Edit().AddPointCloud(), m_pWidget);
    *ppSeries = series.Detach();
    return S_OK;
}

HRESULT CPlotControl::SetAxisTitles(const std::wstring& x, const std::wstring& y, const std::wstring& z)
{
    m_pModel->Edit().SetAxisTitles(x, y, z);
    Redraw();
    return S_OK;
}

HRESULT CPlotControl::EnableCollisionDetect(LONG on)
{
    m_pModel->bCollisionDetect = on != 0;
    if (!m_pModel->bCollisionDetect && m_pModel->scene.Marker()) {
        m_pModel->Edit().SetMarker(std::nullopt); // no pick is shown while picking is off
        Redraw();
    }
    return S_OK;
}

HRESULT CPlotControl::IsEnableCollisionDetect(LONG* pOn)
{
    if (!pOn)
        return E_POINTER;
    *pOn = m_pModel->bCollisionDetect ? 1 : 0;
    return S_OK;
}

HRESULT CPlotControl::GetFieldOfView(LONG* pDegrees)
{
    if (!pDegrees)
        return E_POINTER;
    *pDegrees = m_pModel->camera.FieldOfView();
    return S_OK;
}

HRESULT CPlotControl::SetFieldOfView(LONG degrees)
{
    m_pModel->camera.SetFieldOfView(int(degrees));
    Redraw();
    return S_OK;
}

HRESULT CPlotControl::EnableWaterLevel(LONG on)
{
    m_pModel->Edit().EnableWaterLevel(on != 0);
    Redraw();
    return S_OK;
}

HRESULT CPlotControl::IsWaterLevel(LONG* pOn)
{
    if (!pOn)
        return E_POINTER;
    *pOn = m_pModel->scene.WaterLevelEnabled() ? 1 : 0;
    return S_OK;
}

HRESULT CPlotControl::WaterLevelUp()
{
    m_pModel->Edit().WaterLevelUp();
    Redraw();
    return S_OK;
}

HRESULT CPlotControl::WaterLevelDown()
{
    m_pModel->Edit().WaterLevelDown();
    Redraw();
    return S_OK;
}

HRESULT CPlotControl::SetVideoMode(LONG renderer)
{
    const RendererCode wanted = ToRendererCode(renderer);
    m_renderer = m_pWidget ? m_pWidget->SetRenderer(wanted) : wanted;
    return S_OK;
}

HRESULT CPlotControl::GetVideoMode(LONG* pRenderer)
{
    if (!pRenderer)
        return E_POINTER;
    *pRenderer = LONG(m_pWidget ? m_pWidget->Renderer() : m_renderer);
    return S_OK;
}

HRESULT CPlotControl::EnableWireFrame(LONG on)
{
    m_pModel->Edit().SetWireFrame(on != 0);
    Redraw();
    return S_OK;
}

HRESULT CPlotControl::IsWireFramed(LONG* pOn)
{
    if (!pOn)
        return E_POINTER;
    *pOn = m_pModel->scene.WireFrame() ? 1 : 0;
    return S_OK;
}

HRESULT CPlotControl::GetValueRange(double* pMin, double* pMax)
{
    if (!pMin || !pMax)
        return E_POINTER;
    const auto range = m_pModel->scene.ValueRange(); // set with the data: read while a frame draws
    *pMin = range ? (*range)[0] : 0.0;
    *pMax = range ? (*range)[1] : 0.0;
    return range ? S_OK : S_FALSE;
}

HRESULT CPlotControl::SetViewPreset(LONG preset)
{
    if (preset < kViewDefault || preset > kViewSide)
        return E_INVALIDARG;
    static_assert(int(OrbitCamera::Preset::Side) == kViewSide);
    m_pModel->camera.SetPreset(OrbitCamera::Preset(preset));
    Redraw();
    return S_OK;
}

HRESULT CPlotControl::SetColorScale(const std::wstring& title, double lo, double hi, LONG show)
{
    using Mode = Scene::ColorScaleMode;
    switch (show) {
    case kColorScaleHidden:
        m_pModel->Edit().SetColorScale(Mode::Hidden);
        break;
    case kColorScaleShown:
        if (!std::isfinite(lo) || !std::isfinite(hi) || hi < lo)
            return E_INVALIDARG;
        m_pModel->Edit().SetColorScale(Mode::Given, {title, lo, hi});
        break;
    case kColorScaleAutomatic:
        m_pModel->Edit().SetColorScale(Mode::Automatic);
        break;
    default:
        return E_INVALIDARG;
    }
    Redraw();
    return S_OK;
}

HRESULT CPlotControl::RenderPicture(LONG width, LONG height, QImage* pImage)
{
    if (!pImage)
        return E_POINTER;
    if (width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide)
        return E_INVALIDARG;
    try {
        SceneRenderer renderer; // its buffers go with the picture
        *pImage = plot::RenderPicture(renderer, m_pModel->Edit(), m_pModel->camera, QSize(int(width), int(height)));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return pImage->isNull() ? E_OUTOFMEMORY : S_OK;
}

HRESULT CPlotControl::WritePicture(const std::wstring& path, LONG width, LONG height, std::wstring* pError)
{
    const QString file = QString::fromStdWString(path);
    if (!PictureFormatOf(file) || width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide) {
        if (pError)
            *pError = L"The picture must be a .png, .svg or .pdf file of 1 to " + std::to_wstring(kMaxPictureSide) +
                      L" pixels a side.";
        return E_INVALIDARG;
    }
    QString error;
    try {
        SceneRenderer renderer;
        error = plot::WritePicture(renderer, m_pModel->Edit(), m_pModel->camera, QSize(int(width), int(height)), file);
    } catch (const std::bad_alloc&) {
        error = QStringLiteral("Not enough memory for a picture of this size.");
    }
    if (pError)
        *pError = error.toStdWString();
    return error.isEmpty() ? S_OK : E_FAIL;
}

HRESULT CPlotControl::LegendSeriesAt(LONG x, LONG y, LONG* pSeries)
{
    if (!pSeries)
        return E_POINTER;
    *pSeries = -1;
    if (!m_pWidget)
        return S_FALSE;
    // The legend as the widget lays it out at its size.
    m_pModel->Edit().Prepare(); // fills the scene's caches: the settled frame's thread lets go first
    const ViewProjection vp = m_pModel->camera.Matrices(m_pWidget->width(), m_pWidget->height());
    const auto order = AxisOverlay(m_pModel->scene, vp).LegendEntryAt(QPointF(x, y));
    if (!order)
        return S_FALSE;
    *pSeries = LONG(*order);
    return S_OK;
}

HRESULT CPlotControl::SetAxisScale(LONG axis, LONG scale)
{
    if (axis < 0 || axis > 2 || (scale != kAxisScaleLinear && scale != kAxisScaleLog))
        return E_INVALIDARG;
    Scene::AxisTicks ticks = m_pModel->scene.Ticks(int(axis));
    ticks.log = scale == kAxisScaleLog;
    m_pModel->Edit().SetAxisTicks(int(axis), std::move(ticks));
    Redraw();
    return S_OK;
}

HRESULT CPlotControl::SetAxisTickLabels(LONG axis, const std::vector<double>& positions,
                                        const std::vector<std::wstring>& labels, LONG only)
{
    if (axis < 0 || axis > 2 || positions.size() != labels.size() ||
        !std::all_of(positions.begin(), positions.end(), [](double p) { return std::isfinite(p); }))
        return E_INVALIDARG;
    Scene::AxisTicks ticks = m_pModel->scene.Ticks(int(axis));
    ticks.only = only != 0 && !positions.empty();
    ticks.labels.clear();
    for (std::size_t k = 0; k < positions.size(); ++k)
        ticks.labels.push_back({positions[k], labels[k]});
    m_pModel->Edit().SetAxisTicks(int(axis), std::move(ticks));
    Redraw();
    return S_OK;
}

QWidget* CPlotControl::GetWidget()
{
    return m_pWidget.data();
}

HRESULT CPlotControl::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP)
{
    if (!ppCP)
        return E_POINTER;
    *ppCP = nullptr;
    if (!(riid == uuidof<IChartEvents>()))
        return CONNECT_E_NOCONNECTION;
    return m_pEvents.CopyTo(ppCP);
}

void CPlotControl::OnPointPicked(const std::array<double, 3>& point)
{
    ComPtr<IPlotControl> self(static_cast<IPlotControl*>(this)); // a sink may drop the last reference
    double x = point[0], y = point[1], z = point[2];
    // Dispatch order is reversed: pZ first, pX last.
    std::vector<VARIANT> args{VARIANT::R8Ref(&z), VARIANT::R8Ref(&y), VARIANT::R8Ref(&x)};
    m_pEvents->Fire(DISPID_SelectPoint, args);
}

void CPlotControl::OnPickCleared()
{
    ComPtr<IPlotControl> self(static_cast<IPlotControl*>(this));
    std::vector<VARIANT> none;
    m_pEvents->Fire(DISPID_ClearPoint, none);
}

HRESULT CreateSoftwarePlotControl(IPlotControl** ppControl, std::shared_ptr<ChartModel>* pModel)
{
    if (!ppControl || !pModel)
        return E_POINTER;
    *ppControl = nullptr;
    // The control is a widget: it needs the program's QApplication.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return E_UNEXPECTED;
    try {
        auto control = MakeCom<CPlotControl>();
        *pModel = control->SharedModel();
        *ppControl = control.Detach();
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

} // namespace plot
