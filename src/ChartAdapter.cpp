#include "ChartAdapter.h"

#include "platform/hugepages.h"
#include "RendererSetting.h"
#include "ScatterTriangulation.h"
#include "SurfaceGrid.h"

#include "diagnostics/snagwise.h"
#include "ors_provider/IDataMeaning.h"
#include "plot_control/ColorRamp.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstddef>
#include <limits>
#include <new>
#include <unordered_map>
#include <vector>

using plot::SurfaceVertex;
using platform::large_vector;

namespace {

using Sample = GridSample;

constexpr std::uint32_t kPointColor = 0x00FFFFFF;

// Index as the adapter keeps it: the low 32 bits, read as signed.
std::int32_t LowIndex(std::uint64_t index)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(index));
}

std::uint64_t WideIndex(std::int64_t index)
{
    return static_cast<std::uint64_t>(index);
}

// A series whose data the control refused shows nothing rather than the slice
// before; false then.
template <class Series, class... Data>
bool SetSeriesData(Series* pSeries, Data... data)
{
    const HRESULT hr = pSeries->SetData(data...);
    SW_ASSERT_OR(SUCCEEDED(hr) && L"the control refused the series data", {
        pSeries->SetData(decltype(data){}...);
        return false;
    });
    return true;
}

} // namespace

CChartAdapter::CChartAdapter() : m_EventReceiver(static_cast<IReceive*>(this))
{
}

// The titles go first, then the receiver (ending any subscription), then the control.
CChartAdapter::~CChartAdapter() = default;

bool CChartAdapter::Initialize(IUnknown* pControl)
{
    SW_TRACE(L"Chart adapter : Initialize %p", static_cast<void*>(pControl));
    m_spControl.QueryFrom(pControl);

    const auto renderer = LONG(RendererFromVideoMode(ReadVideoModeSetting()));
    if (!m_spControl)
        return false;

    HRESULT hr = m_spControl->Initialize(renderer);
    SW_ASSERT(SUCCEEDED(hr) && L"error RE Ruvir initialize");
    const bool bInitialized = S_OK == hr;
    if (bInitialized) {
        LONG lDetect = 0;
        hr = m_spControl->IsEnableCollisionDetect(&lDetect);
        SW_ASSERT(SUCCEEDED(hr) && L"IsEnableCollisionDetect error");
        if (lDetect)
            HookPicking();
    }
    return bInitialized;
}

const wchar_t* CChartAdapter::GetControlClassId() const
{
    return plot::kPlotControlClassId;
}

bool CChartAdapter::SetUpdateEvent(IUpdateEvent* pUpdate)
{
    m_pUpdate = pUpdate;
    return true;
}

bool CChartAdapter::MoveWaterLevel(int direction)
{
    if (0 == direction)
        m_spControl->WaterLevelUp();
    else if (1 == direction)
        m_spControl->WaterLevelDown();
    return true;
}

bool CChartAdapter::SetViewPreset(long preset)
{
    return m_spControl && SUCCEEDED(m_spControl->SetViewPreset(LONG(preset)));
}

bool CChartAdapter::EnableWaterLevel(bool bOn)
{
    const HRESULT hr = m_spControl->EnableWaterLevel(bOn ? 1 : 0);
    SW_ASSERT(SUCCEEDED(hr) && L"error while Enable Waterlevel");
    return true;
}

bool CChartAdapter::IsWaterLevel() const
{
    if (!m_spControl)
        return false;
    LONG lOn = 0;
    const HRESULT hr = m_spControl->IsWaterLevel(&lOn);
    SW_ASSERT(SUCCEEDED(hr) && L"error while get state of Waterlevel");
    return lOn != 0;
}

bool CChartAdapter::EnableWireFrame(bool bOn)
{
    const HRESULT hr = m_spControl->EnableWireFrame(bOn ? 1 : 0);
    SW_ASSERT(SUCCEEDED(hr) && L"error while Enable WireFrame");
    return true;
}

bool CChartAdapter::IsWireFramed() const
{
    if (!m_spControl)
        return false;
    LONG lOn = 0;
    const HRESULT hr = m_spControl->IsWireFramed(&lOn);
    SW_ASSERT(SUCCEEDED(hr) && L"error while get state of WireFrame");
    return lOn != 0;
}

HRESULT CChartAdapter::SetVideoMode(int renderer)
{
    return m_spControl->SetVideoMode(renderer);
}

int CChartAdapter::GetVideoMode()
{
    LONG lRenderer = 0;
    m_spControl->GetVideoMode(&lRenderer);
    return lRenderer;
}

bool CChartAdapter::GetSelectedPoint(double* x, double* y, double* z) const
{
    if (!x || !y || !z || !m_bPointSelected)
        return false;
    *x = m_dPickedX;
    *y = m_dPickedY;
    *z = m_dPickedZ;
    return true;
}

bool CChartAdapter::IsPointSelected() const
{
    return m_bPointSelected;
}

std::wstring CChartAdapter::GetXAxisTitle() const
{
    return m_XAxisTitle;
}

std::wstring CChartAdapter::GetYAxisTitle() const
{
    return m_YAxisTitle;
}

std::wstring CChartAdapter::GetFunctionTitle() const
{
    return m_FunctionTitle;
}

void CChartAdapter::OnSelectPoint(double* pX, double* pY, double* pZ)
{
    if (!pX || !pY || !pZ)
        return;
    m_dPickedX = *pX;
    m_dPickedY = *pY;
    m_dPickedZ = *pZ;
    m_bPointSelected = true;
    if (m_pUpdate)
        m_pUpdate->OnChartEvent(IUpdateEvent::EVENT_POINT_SELECTED);
}

void CChartAdapter::OnClearPoint()
{
    if (m_pUpdate)
        m_pUpdate->OnChartEvent(IUpdateEvent::EVENT_POINT_CLEARED);
    // The picked values stay; only the flag goes.
    m_bPointSelected = false;
}

void CChartAdapter::SetSelection(int mode)
{
    const HRESULT hr = m_spControl->EnableCollisionDetect(mode);
    if (1 == mode)
        HookPicking();
    else
        UnhookPicking();
    SW_ASSERT(SUCCEEDED(hr) && L"EnableCollisionDetect error");
}

int CChartAdapter::GetSelection() const
{
    LONG lValue = 1;
    const HRESULT hr = m_spControl->IsEnableCollisionDetect(&lValue);
    SW_ASSERT(SUCCEEDED(hr) && L"IsEnableCollisionDetect error");
    return lValue;
}

void CChartAdapter::HookPicking()
{
    m_EventReceiver.Hook(CEventReceiver::EVENT_SELECT_POINT, m_spControl.Get());
    m_EventReceiver.Hook(CEventReceiver::EVENT_CLEAR_POINT, m_spControl.Get());
}

void CChartAdapter::UnhookPicking()
{
    m_EventReceiver.Unhook(CEventReceiver::EVENT_SELECT_POINT, m_spControl.Get());
    m_EventReceiver.Unhook(CEventReceiver::EVENT_CLEAR_POINT, m_spControl.Get());
}

unsigned CChartAdapter::CreateNewSeries(IDataTransfer* pDataSource, const Palette&)
{
    SW_TRACE(L"Chart adapter : Create new series");
    SW_ASSERT_OR(pDataSource && L"bad data transfer pointer", return 0);
    // One entry per data slice, series or not, so that the k-th slice the
    // chart loaded is entry k.
    m_Series.emplace_back();
    const IDataTransfer::DataStyle style = pDataSource->GetDataStyle();
    const IDataTransfer::DataType type = pDataSource->GetDataType();

    bool bSurface = false;
    switch (style) {
    case IDataTransfer::STYLE_SURFACE:
    case IDataTransfer::STYLE_POINT3D:
        if (IDataTransfer::DATA_1D == type)
            return 0;
        if (IDataTransfer::DATA_2D != type) {
            SW_ASSERT(! L"Unknown data type");
            return 0;
        }
        bSurface = IDataTransfer::STYLE_SURFACE == style;
        break;
    default:
        SW_ASSERT(! L"Unknown data style");
        return 0;
    }

    if (!m_spControl)
        return 0;
    SeriesParts& parts = m_Series.back();
    if (m_Series.size() == 1)
        for (int a = 0; a < 3; ++a)
            m_DataLog[std::size_t(a)] = pDataSource->IsAxisLogScaled(a);
    const HRESULT hr = bSurface ? m_spControl->CreateSurfaceSeries(&parts.spSurface)
                                : m_spControl->CreatePointSeries(&parts.spPoints);
    SW_ASSERT(SUCCEEDED(hr));
    if (FAILED(hr))
        return 0;
    parts.order = m_nCreated++;
    FillSeries(parts, pDataSource);

    std::wstring xName;
    std::wstring yName;
    std::wstring functionName;
    pDataSource->GetInputXFullName(&xName);
    pDataSource->GetInputYFullName(&yName);
    pDataSource->GetFunctionName(&functionName);
    // The function is the vertical axis.
    m_spControl->SetAxisTitles(xName, functionName, yName);
    m_XAxisTitle = std::move(xName);
    m_YAxisTitle = std::move(yName);
    m_FunctionTitle = std::move(functionName);
    UpdateColorScale();
    UpdateAxes();
    return 0;
}

void CChartAdapter::SetAxisLog(int axis, bool bLog)
{
    if (axis >= 0 && axis < 3)
        m_AxisLog[std::size_t(axis)] = bLog;
}

bool CChartAdapter::CanAxisLog(int axis) const
{
    if (axis < 0 || axis >= 3)
        return false;
    // Before any data (DBL_MAX) nothing speaks against it.
    return m_AxisMin[std::size_t(axis)] > 0;
}

bool CChartAdapter::IsAxisLog(int axis) const
{
    if (axis < 0 || axis >= 3)
        return false;
    const auto a = std::size_t(axis);
    return m_AxisLog[a].value_or(m_DataLog[a]) && CanAxisLog(axis);
}

const SliceAxes* CChartAdapter::SeriesAxes(std::size_t k) const
{
    return k < m_Series.size() ? &m_Series[k].axes : nullptr;
}

std::wstring CChartAdapter::AxisText(int axis, double position) const
{
    if (m_Series.empty() || axis < 0 || axis >= 3)
        return AxisPositions{}.Text(position);
    return m_Series.front().axes[std::size_t(axis)].Text(position);
}

SliceAxes CChartAdapter::MakeAxes(IDataTransfer* pDataSource)
{
    SliceAxes axes;
    boost::shared_ptr<IDataIterator> pIterator;
    if (!pDataSource->GetDataIterator(&pIterator) || !pIterator)
        return axes;
    for (int a = 0; a < 2; ++a) {
        AxisPositions& p = axes[std::size_t(a)];
        p.bLabelled = pDataSource->IsAxisLabelled(a);
        p.none = pDataSource->GetAxisNoneIndex(a);
        const auto value = [&](std::uint64_t index) {
            double v = 0.0;
            (a == 0 ? pIterator->GetInputXValue(index, &v) : pIterator->GetInputYValue(index, &v));
            return v;
        };
        // Codes start at 0; numbers are noted as they are placed.
        const bool bNumbers = !p.none || *p.none > 0;
        if (p.bLabelled)
            m_AxisMin[std::size_t(a)] = std::min(m_AxisMin[std::size_t(a)], 0.0);
        p.bLog = !p.bLabelled && IsAxisLog(a);
        if (p.bLabelled)
            for (std::uint64_t k = 0; k < 100000; ++k) {
                std::wstring label = pDataSource->GetAxisLabel(a, k);
                if (label.empty())
                    break;
                p.labels.emplace(k, std::move(label));
            }
        if (p.none) {
            p.labels[*p.none] = IQX_VantixDataProvider::kNoneLabel;
            if (p.bLabelled) {
                p.nonePos = static_cast<double>(*p.none);
            } else if (bNumbers) {
                // A tenth of the numbers' span past their end (a whole unit when they are one).
                const double lo = p.Position(value(0)), hi = p.Position(value(*p.none - 1));
                p.nonePos = hi + (hi > lo ? 0.1 * (hi - lo) : 1.0);
            }
        }
    }
    axes[2].bLog = IsAxisLog(2);
    return axes;
}

void CChartAdapter::NoteValues(const SliceAxes& axes, double x, std::uint64_t i, double y, std::uint64_t j)
{
    // Indices are known where "(none)" exists; its value is no number.
    if (!(axes[0].none && i == *axes[0].none) && x < m_AxisMin[0])
        m_AxisMin[0] = x;
    if (!(axes[1].none && j == *axes[1].none) && y < m_AxisMin[1])
        m_AxisMin[1] = y;
}

void CChartAdapter::UpdateAxes()
{
    if (!m_spControl || m_Series.empty())
        return;
    const SliceAxes& axes = m_Series.front().axes;
    // The control's axes: 0 X, 1 the function (vertical), 2 Y.
    static constexpr LONG kControlAxis[3] = {0, 2, 1};
    for (std::size_t a = 0; a < 3; ++a) {
        const AxisPositions& p = axes[a];
        m_spControl->SetAxisScale(kControlAxis[a], p.bLog ? plot::kAxisScaleLog : plot::kAxisScaleLinear);
        std::vector<double> positions;
        std::vector<std::wstring> labels;
        for (const auto& [index, label] : p.labels) {
            positions.push_back(p.none && index == *p.none ? p.nonePos : static_cast<double>(index));
            labels.push_back(label);
        }
        m_spControl->SetAxisTickLabels(kControlAxis[a], positions, labels, p.bLabelled ? 1 : 0);
    }
}

void CChartAdapter::SetSeriesName(std::size_t k, const std::wstring& name)
{
    if (k >= m_Series.size())
        return;
    m_Series[k].name = name;
    NameSeries(m_Series[k]);
}

void CChartAdapter::NameSeries(SeriesParts& parts)
{
    // The surface through a slice's points stays unnamed: the slice is listed once.
    const std::wstring& name = m_bLegend ? parts.name : std::wstring();
    if (parts.spSurface)
        parts.spSurface->SetName(name);
    if (parts.spPoints)
        parts.spPoints->SetName(name);
}

void CChartAdapter::SetLegend(bool bOn)
{
    m_bLegend = bOn;
    for (SeriesParts& parts : m_Series)
        NameSeries(parts);
    UpdateColorScale();
}

void CChartAdapter::SetColorByValue(bool bOn)
{
    m_bColorByValue = bOn;
    // The control keeps the roughness colours and recolours by value itself.
    for (SeriesParts& parts : m_Series)
        if (parts.spSurface)
            parts.spSurface->SetColorByValue(bOn ? 1 : 0);
    UpdateColorScale();
    if (m_spControl)
        m_spControl->Refresh();
}

void CChartAdapter::UpdateColorScale()
{
    if (!m_spControl)
        return;
    if (!m_bLegend) {
        m_spControl->SetColorScale(std::wstring(), 0, 0, plot::kColorScaleHidden);
        return;
    }
    // Grid surfaces are coloured by roughness, each over its own range: the
    // bar follows the first one shown. Points and the surfaces through them
    // colour by value, which the control's own bar describes.
    for (const SeriesParts& parts : m_Series)
        if (!m_bColorByValue && parts.bVisible && parts.spSurface && parts.roughness) {
            m_spControl->SetColorScale(L"Roughness of " + m_FunctionTitle + L" (mean |difference| to neighbours)",
                                       (*parts.roughness)[0], (*parts.roughness)[1], plot::kColorScaleShown);
            return;
        }
    m_spControl->SetColorScale(std::wstring(), 0, 0, plot::kColorScaleAutomatic);
}

std::uint32_t CChartAdapter::RoughnessColor(double r, double rMin, double rMax)
{
    // The chart's one ramp, which also colours points and surfaces by value.
    return plot::RampColor(r, rMin, rMax);
}

void CChartAdapter::FillSeries(SeriesParts& parts, IDataTransfer* pDataSource)
{
    if (!parts.spPoints && !parts.spSurface)
        return;
    parts.axes = MakeAxes(pDataSource);
    if (parts.spSurface) {
        parts.roughness = FillSurfaceSeries(parts.spSurface.Get(), pDataSource, parts.axes);
        parts.spSurface->SetColorByValue(m_bColorByValue ? 1 : 0);
        return;
    }
    FillPointSurface(parts, pDataSource);
    FillPoint3dSeries(parts.spPoints.Get(), pDataSource, parts.axes);
}

bool CChartAdapter::RefillSeries(std::size_t k, IDataTransfer* pDataSource)
{
    if (k >= m_Series.size() || !pDataSource || !m_spControl)
        return false;
    FillSeries(m_Series[k], pDataSource);
    ShowSeries(k, m_Series[k].bVisible);
    UpdateColorScale();
    UpdateAxes();
    return true;
}

bool CChartAdapter::ShowSeries(std::size_t k, bool bVisible)
{
    if (k >= m_Series.size())
        return false;
    SeriesParts& parts = m_Series[k];
    parts.bVisible = bVisible;
    const LONG on = bVisible ? 1 : 0;
    if (parts.spSurface)
        parts.spSurface->SetVisible(on);
    if (parts.spPoints)
        parts.spPoints->SetVisible(on);
    if (parts.spPointSurface)
        parts.spPointSurface->SetVisible(on && m_bSurfaceFromPoints);
    UpdateColorScale();
    if (m_spControl)
        m_spControl->Refresh();
    return true;
}

QImage CChartAdapter::Picture(QSize size)
{
    QImage image;
    if (!m_spControl || FAILED(m_spControl->RenderPicture(size.width(), size.height(), &image)))
        return {};
    return image;
}

bool CChartAdapter::WritePicture(const std::wstring& path, QSize size, std::wstring* pError)
{
    if (!m_spControl) {
        if (pError)
            *pError = L"The chart has no control.";
        return false;
    }
    std::wstring error;
    const HRESULT hr = m_spControl->WritePicture(path, size.width(), size.height(), &error);
    if (pError)
        *pError = error;
    return SUCCEEDED(hr);
}

std::optional<std::size_t> CChartAdapter::SeriesAtLegend(QPoint pos) const
{
    LONG order = -1;
    if (!m_spControl || m_spControl->LegendSeriesAt(pos.x(), pos.y(), &order) != S_OK)
        return std::nullopt;
    for (std::size_t k = 0; k < m_Series.size(); ++k)
        if (m_Series[k].order == std::size_t(order) && (m_Series[k].spSurface || m_Series[k].spPoints))
            return k;
    return std::nullopt;
}

double CChartAdapter::PointPixels(std::size_t nPoints)
{
    if (nPoints <= 10000)
        return 7.0;
    if (nPoints <= 200000)
        return 5.0;
    if (nPoints <= 2000000)
        return 4.0;
    return 3.0;
}

std::optional<std::array<double, 2>> CChartAdapter::FillSurfaceSeries(plot::ISurfaceSeries* pSeries,
                                                                      IDataTransfer* pDataSource,
                                                                      const SliceAxes& axes)
{
    SW_TRACE(L"Chart adapter : Fill surface series");
    boost::shared_ptr<IDataIterator> pIterator;
    const bool bSuccess = pDataSource->GetDataIterator(&pIterator);
    SW_ASSERT_OR(bSuccess && L"Can't get data iterator", return std::nullopt);
    SW_ASSERT_OR(pIterator && L"bad iterator", return std::nullopt);
    IDataIterator& iterator = *pIterator;

    // Collect the slice: value indices of X and Y, and the function value.
    platform::CChunkedList<Sample> samples;
    double vMin = DBL_MAX;
    std::int32_t iMin = INT_MAX, iMax = INT_MIN, jMin = INT_MAX, jMax = INT_MIN;
    for (bool bPositioned = iterator.Begin(); bPositioned; bPositioned = iterator.Next()) {
        std::uint64_t nX = 0, nY = 0;
        double v = 0.0;
        const bool bSucc = iterator.GetDataInt(&nX, &nY, &v);
        SW_ASSERT(bSucc && L"Can't get data from iterator");
        const std::int32_t i = LowIndex(nX);
        const std::int32_t j = LowIndex(nY);
        samples.PushBack({i, j, v});
        if (v < vMin)
            vMin = v;
        if (i < iMin)
            iMin = i;
        if (i > iMax)
            iMax = i;
        if (j < jMin)
            jMin = j;
        if (j > jMax)
            jMax = j;
    }
    if (samples.Empty())
        return std::nullopt;
    m_AxisMin[2] = std::min(m_AxisMin[2], vMin);

    // The grid spans the index ranges.
    const std::int64_t nx = std::int64_t{iMax} - iMin + 1;
    const std::int64_t ny = std::int64_t{jMax} - jMin + 1;
    const bool bSparse = m_GridStorage == GridStorage::Automatic ? CSurfaceGrid::PreferSparse(nx, ny, samples.Size())
                                                                 : m_GridStorage == GridStorage::Sparse;
    std::optional<CSurfaceGrid> grid;
    grid.emplace(samples, iMin, jMin, nx, ny, vMin, m_Aggregate, bSparse);
    samples = {};

    // Vertices in grid order, coloured by their roughness.
    const std::size_t nVertices = grid->VertexCount();
    const double rMin = grid->RoughnessMin(), rMax = grid->RoughnessMax();
    platform::CZeroedArray<SurfaceVertex> vertices(nVertices);
    grid->ForEachVertex([&](std::size_t k, std::int64_t a, std::int64_t b, double v, double r) {
        const std::uint64_t i = WideIndex(iMin + a), j = WideIndex(jMin + b);
        double x = 0.0, z = 0.0;
        iterator.GetInputXValue(i, &x);
        iterator.GetInputYValue(j, &z);
        NoteValues(axes, x, i, z, j);
        vertices[k] = {axes[0].Position(x, i), axes[2].Position(v), axes[1].Position(z, j),
                       RoughnessColor(r, rMin, rMax), 0};
    });
    std::size_t nIndices = 0;
    const platform::CZeroedArray<std::uint32_t> indices = grid->Triangles(&nIndices);
    grid.reset();

    bool bShown = true;
    if (nVertices > 0 && nIndices > 0)
        bShown = SetSeriesData(pSeries, static_cast<const SurfaceVertex*>(vertices.data()),
                               static_cast<LONG>(nVertices), indices.data(), static_cast<LONG>(nIndices));
    m_spControl->Refresh();
    if (nVertices == 0 || !bShown)
        return std::nullopt;
    return std::array<double, 2>{rMin, rMax};
}

void CChartAdapter::FillPoint3dSeries(plot::IPointSeries* pSeries, IDataTransfer* pDataSource, const SliceAxes& axes)
{
    SW_TRACE(L"Chart adapter : Fill point 3d series");
    SW_ASSERT_OR(pSeries && L"bad point 3d series", return);
    SW_ASSERT_OR(pDataSource && L"bad data transfer pointer", return);
    const IDataTransfer::DataType type = pDataSource->GetDataType();
    SW_ASSERT(IDataTransfer::DATA_2D == type && L"series not compatible to this data type");

    boost::shared_ptr<IDataIterator> pIterator;
    const bool bSuccess = pDataSource->GetDataIterator(&pIterator);
    SW_ASSERT_OR(bSuccess && L"Can't get data iterator", return);
    SW_ASSERT_OR(pIterator && L"bad iterator", return);
    IDataIterator& iterator = *pIterator;

    large_vector<SurfaceVertex> points;
    points.reserve(4096);
    // Value indices are read only where a value's place depends on them.
    const bool bIndices = axes[0].none || axes[1].none || axes[0].bLabelled || axes[1].bLabelled;
    double vMin = DBL_MAX;
    for (bool bPositioned = iterator.Begin(); bPositioned; bPositioned = iterator.Next()) {
        double x = 0.0, z = 0.0, v = 0.0;
        const bool bSucc = iterator.GetData(&x, &z, &v);
        SW_ASSERT(bSucc && L"Can't get data from iterator");
        std::uint64_t nX = 0, nY = 0;
        if (bIndices)
            iterator.GetDataInt(&nX, &nY, &v);
        vMin = std::min(vMin, v);
        NoteValues(axes, x, nX, z, nY);
        points.push_back({axes[0].Position(x, nX), axes[2].Position(v), axes[1].Position(z, nY), kPointColor, 0});
    }
    if (points.empty())
        return;
    m_AxisMin[2] = std::min(m_AxisMin[2], vMin);

    // Half the smaller spacing of the first two values of X and Y; a tie takes X.
    double x0 = 0.0, x1 = 0.0, y0 = 0.0, y1 = 0.0;
    iterator.GetInputXValue(0, &x0);
    iterator.GetInputXValue(1, &x1);
    iterator.GetInputYValue(0, &y0);
    iterator.GetInputYValue(1, &y1);
    x0 = axes[0].Position(x0, 0), x1 = axes[0].Position(x1, 1);
    y0 = axes[1].Position(y0, 0), y1 = axes[1].Position(y1, 1);
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    const double pointSize = 0.5 * (dy < dx ? dy : dx);

    if (!SetSeriesData(pSeries, static_cast<const SurfaceVertex*>(points.data()), static_cast<LONG>(points.size()),
                       pointSize)) {
        m_spControl->Refresh();
        return;
    }
    // Coloured by value over the range the chart's series share, sized on
    // screen: one point and millions both read.
    pSeries->SetColorByValue(1);
    pSeries->SetPixelSize(PointPixels(points.size()));
    m_spControl->Refresh();
}

void CChartAdapter::FillPointSurface(SeriesParts& parts, IDataTransfer* pDataSource)
{
    if (!m_bSurfaceFromPoints) {
        if (parts.spPointSurface)
            parts.spPointSurface->SetVisible(0);
        return;
    }
    boost::shared_ptr<IDataIterator> pIterator;
    if (!pDataSource->GetDataIterator(&pIterator) || !pIterator) {
        SW_ASSERT(pIterator && L"bad iterator");
        return;
    }
    IDataIterator& iterator = *pIterator;
    // Records sharing an X-Y position fold into one height, as on a grid.
    platform::CChunkedList<Sample> samples;
    std::int32_t iMin = INT_MAX, jMin = INT_MAX;
    for (bool bPositioned = iterator.Begin(); bPositioned; bPositioned = iterator.Next()) {
        std::uint64_t nX = 0, nY = 0;
        double v = 0.0;
        const bool bSucc = iterator.GetDataInt(&nX, &nY, &v);
        SW_ASSERT(bSucc && L"Can't get data from iterator");
        const Sample sample{LowIndex(nX), LowIndex(nY), v};
        iMin = std::min(iMin, sample.i);
        jMin = std::min(jMin, sample.j);
        samples.PushBack(sample);
    }
    const std::vector<CSurfaceGrid::Cell> cells = CSurfaceGrid::FoldCells(samples, iMin, jMin, m_Aggregate);
    samples = {};
    std::vector<SurfaceVertex> vertices(cells.size());
    std::vector<double> xs(cells.size()), ys(cells.size());
    for (std::size_t k = 0; k < cells.size(); ++k) {
        const std::uint64_t i = WideIndex(iMin + std::int64_t{cells[k].a});
        const std::uint64_t j = WideIndex(jMin + std::int64_t{cells[k].b});
        iterator.GetInputXValue(i, &xs[k]);
        iterator.GetInputYValue(j, &ys[k]);
        NoteValues(parts.axes, xs[k], i, ys[k], j);
        xs[k] = parts.axes[0].Position(xs[k], i);
        ys[k] = parts.axes[1].Position(ys[k], j);
        vertices[k] = {xs[k], parts.axes[2].Position(cells[k].v), ys[k], kPointColor, 0};
    }
    const std::vector<std::uint32_t> indices = TriangulateScatter(xs, ys, kScatterMaxEdgeFactor);
    if (!parts.spPointSurface) {
        const HRESULT hr = m_spControl->CreateSurfaceSeries(&parts.spPointSurface);
        SW_ASSERT(SUCCEEDED(hr));
        if (FAILED(hr))
            return;
        ++m_nCreated;
    }
    SetSeriesData(parts.spPointSurface.Get(), static_cast<const SurfaceVertex*>(vertices.data()),
                  static_cast<LONG>(vertices.size()), indices.data(), static_cast<LONG>(indices.size()));
    parts.spPointSurface->SetColorByValue(1);
    parts.spPointSurface->SetVisible(parts.bVisible ? 1 : 0);
}
