#include "ChartAdapter.h"

#include "platform/hugepages.h"
#include "RendererSetting.h"
#include "ScatterTriangulation.h"

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

// Working record of the surface builder.
struct GridCell {
    bool bValid = false;
    std::uint32_t nVertex = 0;
    double dValue = 0.0;
};

struct Sample {
    std::int32_t i;
    std::int32_t j;
    double v;
};

// The 5x5 neighbourhood without the centre and the four corners, in the order
// the roughness is summed.
constexpr int kNeighbours[20][2] = {
    {-1, -1}, {-1, 0}, {-1, 1}, {0, -1}, {0, 1},  {1, -1},  {1, 0}, {1, 1},  {-2, -1}, {-2, 0},
    {-2, 1},  {2, -1}, {2, 0},  {2, 1},  {-1, -2}, {0, -2}, {1, -2}, {-1, 2}, {0, 2},   {1, 2},
};

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

// One more record's value v folded into a cell's height h (a sum for the mean,
// divided by the count once the cell is complete).
double FoldValue(CChartAdapter::Aggregate aggregate, double h, double v)
{
    switch (aggregate) {
    case CChartAdapter::Aggregate::Max:
        return v > h ? v : h;
    case CChartAdapter::Aggregate::Mean:
        return h + v;
    case CChartAdapter::Aggregate::Min:
    default:
        return v < h ? v : h;
    }
}

// Beyond this many cells, and this many per record, the grid is built sparse.
constexpr double kDenseGridCells = double(1 << 22);
constexpr double kSparseGridFactor = 16.0;

// The surface of a sparse grid, as the dense builder makes it: vertices in
// grid order (x, z left for the caller), their roughness colours, and two
// triangles per square where their corners exist.
struct SparseCell {
    std::uint32_t a, b; // grid position
    double v;
};
struct SparseSurface {
    std::vector<SparseCell> cells; // one per vertex
    std::vector<SurfaceVertex> vertices;
    std::vector<std::uint32_t> indices;
    double rMin = 0, rMax = 0; // the roughness range the colours span
};

// The records in grid order, those of one cell folded into one height.
std::vector<SparseCell> FoldCells(const platform::CChunkedList<Sample>& samples, std::int32_t iMin, std::int32_t jMin,
                                  CChartAdapter::Aggregate aggregate)
{
    std::vector<SparseCell> cells;
    cells.reserve(samples.Size());
    samples.ForEach([&](const Sample& x) {
        cells.push_back({static_cast<std::uint32_t>(std::int64_t{x.i} - iMin),
                         static_cast<std::uint32_t>(std::int64_t{x.j} - jMin), x.v});
    });
    const auto before = [](const SparseCell& l, const SparseCell& r) { return l.a < r.a || (l.a == r.a && l.b < r.b); };
    // Stable, so a mean sums in record order as the dense grid does.
    std::stable_sort(cells.begin(), cells.end(), before);
    std::size_t kept = 0;
    std::uint32_t nInCell = 0;
    const auto closeCell = [&] {
        if (aggregate == CChartAdapter::Aggregate::Mean && kept > 0)
            cells[kept - 1].v /= nInCell;
    };
    for (std::size_t k = 0; k < cells.size(); ++k) {
        if (kept > 0 && !before(cells[kept - 1], cells[k])) {
            cells[kept - 1].v = FoldValue(aggregate, cells[kept - 1].v, cells[k].v);
            ++nInCell;
            continue;
        }
        closeCell();
        cells[kept++] = cells[k];
        nInCell = 1;
    }
    closeCell();
    cells.resize(kept);
    return cells;
}

SparseSurface BuildSparseSurface(const platform::CChunkedList<Sample>& samples, std::int32_t iMin, std::int32_t jMin,
                                 std::int64_t nx, std::int64_t ny, double vMin, CChartAdapter::Aggregate aggregate)
{
    SparseSurface s;
    s.cells = FoldCells(samples, iMin, jMin, aggregate);
    const std::size_t kept = s.cells.size();

    std::unordered_map<std::uint64_t, std::uint32_t> at;
    at.reserve(kept);
    const auto key = [](std::int64_t a, std::int64_t b) { return std::uint64_t(a) << 32 | std::uint64_t(b); };
    for (std::size_t k = 0; k < kept; ++k)
        at.emplace(key(s.cells[k].a, s.cells[k].b), static_cast<std::uint32_t>(k));
    const auto find = [&](std::int64_t a, std::int64_t b) -> const std::uint32_t* {
        const auto it = at.find(key(a, b));
        return it == at.end() ? nullptr : &it->second;
    };

    // Roughness as the dense grid sums it: empty cells count as 0, cells
    // outside the grid as the lowest collected value.
    std::vector<double> roughness(kept);
    double rMin = DBL_MAX, rMax = -DBL_MAX;
    for (std::size_t k = 0; k < kept; ++k) {
        const SparseCell& c = s.cells[k];
        double sum = 0.0;
        for (int n = 0; n < 20; ++n) {
            const std::int64_t na = std::int64_t{c.a} + kNeighbours[n][0];
            const std::int64_t nb = std::int64_t{c.b} + kNeighbours[n][1];
            double w = vMin;
            if (na >= 0 && na < nx && nb >= 0 && nb < ny) {
                const std::uint32_t* other = find(na, nb);
                w = other ? s.cells[*other].v : 0.0;
            }
            sum += std::fabs(w - c.v);
        }
        const double r = sum / 20.0;
        rMin = std::min(rMin, r);
        rMax = std::max(rMax, r);
        roughness[k] = r;
    }
    s.vertices.resize(kept);
    for (std::size_t k = 0; k < kept; ++k)
        s.vertices[k] = {0.0, s.cells[k].v, 0.0, CChartAdapter::RoughnessColor(roughness[k], rMin, rMax), 0};
    if (kept > 0)
        s.rMin = rMin, s.rMax = rMax;

    // Squares in grid order, each found from its corner (a, b + 1).
    for (std::size_t k = 0; k < kept; ++k) {
        const SparseCell& c01 = s.cells[k];
        if (c01.b == 0)
            continue;
        const std::uint32_t* k10 = find(std::int64_t{c01.a} + 1, std::int64_t{c01.b} - 1);
        if (!k10)
            continue;
        const auto k01 = static_cast<std::uint32_t>(k);
        if (const std::uint32_t* k00 = find(c01.a, std::int64_t{c01.b} - 1))
            s.indices.insert(s.indices.end(), {*k00, k01, *k10});
        if (const std::uint32_t* k11 = find(std::int64_t{c01.a} + 1, c01.b))
            s.indices.insert(s.indices.end(), {k01, *k11, *k10});
    }
    return s;
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

    const int renderer = RendererFromVideoMode(ReadVideoModeSetting());
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

    // The grid spans the index ranges; a later record of a cell replaces an earlier one.
    const std::int64_t nx = std::int64_t{iMax} - iMin + 1;
    const std::int64_t ny = std::int64_t{jMax} - jMin + 1;
    // A slice whose grid would be mostly empty (X and Y with many values,
    // few records per value, as from a random design) is built from its
    // records alone, to the same vertices and triangles.
    const bool bSparse = m_GridStorage == GridStorage::Automatic
                             ? double(nx) * double(ny) > kSparseGridFactor * double(samples.Size()) + kDenseGridCells
                             : m_GridStorage == GridStorage::Sparse;
    if (bSparse) {
        SparseSurface surface = BuildSparseSurface(samples, iMin, jMin, nx, ny, vMin, m_Aggregate);
        samples = {};
        for (std::size_t k = 0; k < surface.vertices.size(); ++k) {
            SurfaceVertex& vertex = surface.vertices[k];
            const std::uint64_t i = WideIndex(iMin + std::int64_t{surface.cells[k].a});
            const std::uint64_t j = WideIndex(jMin + std::int64_t{surface.cells[k].b});
            iterator.GetInputXValue(i, &vertex.x);
            iterator.GetInputYValue(j, &vertex.z);
            NoteValues(axes, vertex.x, i, vertex.z, j);
            vertex.x = axes[0].Position(vertex.x, i);
            vertex.z = axes[1].Position(vertex.z, j);
            vertex.y = axes[2].Position(vertex.y);
        }
        if (!surface.vertices.empty() && !surface.indices.empty())
            ComPtr<plot::ISurfaceSeries>(pSeries)->SetData(surface.vertices.data(),
                                                           static_cast<LONG>(surface.vertices.size()),
                                                           surface.indices.data(),
                                                           static_cast<LONG>(surface.indices.size()));
        m_spControl->Refresh();
        if (surface.vertices.empty())
            return std::nullopt;
        return std::array<double, 2>{surface.rMin, surface.rMax};
    }
    if (nx > static_cast<std::int64_t>(std::numeric_limits<std::ptrdiff_t>::max() / sizeof(GridCell)) / ny)
        throw std::bad_alloc();
    // All-zero bytes are a fresh cell {false, 0, 0.0}.
    platform::CZeroedArray<GridCell> grid(static_cast<std::size_t>(nx * ny));
    GridCell* const cells = grid.data();
    // The records of one cell fold into one height; nVertex counts them until
    // the vertices are numbered.
    std::size_t nValid = 0;
    const Aggregate aggregate = m_Aggregate;
    samples.ForEach([&](const Sample& s) {
        GridCell& cell = cells[(std::int64_t{s.i} - iMin) * ny + (std::int64_t{s.j} - jMin)];
        if (!cell.bValid) {
            ++nValid;
            cell = {true, 1, s.v};
            return;
        }
        cell.dValue = FoldValue(aggregate, cell.dValue, s.v);
        ++cell.nVertex;
    });
    samples = {};
    // Outside neighbours still count with the lowest value collected.
    if (aggregate == Aggregate::Mean)
        for (std::int64_t c = 0; c < nx * ny; ++c)
            if (cells[c].bValid)
                cells[c].dValue /= cells[c].nVertex;

    // Vertices in grid order, with the roughness of each.
    std::ptrdiff_t offsets[20];
    for (int k = 0; k < 20; ++k)
        offsets[k] = kNeighbours[k][0] * static_cast<std::ptrdiff_t>(ny) + kNeighbours[k][1];
    platform::CZeroedArray<SurfaceVertex> vertices(nValid);
    platform::CZeroedArray<double> roughness(nValid);
    std::uint32_t nVertices = 0;
    double rMin = DBL_MAX, rMax = -DBL_MAX;
    for (std::int64_t a = 0; a < nx; ++a) {
        const bool bInnerRow = a >= 2 && a + 2 < nx;
        for (std::int64_t b = 0; b < ny; ++b) {
            GridCell& cell = cells[a * ny + b];
            if (!cell.bValid)
                continue;
            const double v = cell.dValue;
            double sum = 0.0;
            if (bInnerRow && b >= 2 && b + 2 < ny) {
                const GridCell* const centre = &cell;
                for (int k = 0; k < 20; ++k)
                    sum += std::fabs(centre[offsets[k]].dValue - v);
            } else {
                // Neighbours outside the grid count with the lowest collected value.
                for (int k = 0; k < 20; ++k) {
                    const std::int64_t na = a + kNeighbours[k][0];
                    const std::int64_t nb = b + kNeighbours[k][1];
                    const double w = (na >= 0 && na < nx && nb >= 0 && nb < ny) ? cells[na * ny + nb].dValue : vMin;
                    sum += std::fabs(w - v);
                }
            }
            const double r = sum / 20.0;
            if (r < rMin)
                rMin = r;
            if (r > rMax)
                rMax = r;
            double x = 0.0, z = 0.0;
            iterator.GetInputXValue(WideIndex(iMin + a), &x);
            iterator.GetInputYValue(WideIndex(jMin + b), &z);
            NoteValues(axes, x, WideIndex(iMin + a), z, WideIndex(jMin + b));
            cell.nVertex = nVertices;
            vertices[nVertices] = {axes[0].Position(x, WideIndex(iMin + a)), axes[2].Position(v),
                                   axes[1].Position(z, WideIndex(jMin + b)), 0, 0};
            roughness[nVertices] = r;
            ++nVertices;
        }
    }
    for (std::uint32_t k = 0; k < nVertices; ++k)
        vertices[k].color = RoughnessColor(roughness[k], rMin, rMax);
    roughness = {};

    // Two triangles per grid square, each only where all three corners exist.
    const std::int64_t nSquares = nx > 1 && ny > 1 ? std::min<std::int64_t>((nx - 1) * (ny - 1), nValid) : 0;
    platform::CZeroedArray<std::uint32_t> indices(static_cast<std::size_t>(nSquares) * 6);
    std::uint32_t* pIndex = indices.data();
    for (std::int64_t a = 0; a + 1 < nx; ++a) {
        const GridCell* const row0 = cells + a * ny;
        const GridCell* const row1 = row0 + ny;
        for (std::int64_t b = 0; b + 1 < ny; ++b) {
            const GridCell& k00 = row0[b];
            const GridCell& k01 = row0[b + 1];
            const GridCell& k10 = row1[b];
            const GridCell& k11 = row1[b + 1];
            if (!k01.bValid || !k10.bValid)
                continue;
            if (k00.bValid) {
                *pIndex++ = k00.nVertex;
                *pIndex++ = k01.nVertex;
                *pIndex++ = k10.nVertex;
            }
            if (k11.bValid) {
                *pIndex++ = k01.nVertex;
                *pIndex++ = k11.nVertex;
                *pIndex++ = k10.nVertex;
            }
        }
    }
    const std::size_t nIndices = static_cast<std::size_t>(pIndex - indices.data());

    if (nVertices > 0 && nIndices > 0) {
        ComPtr<plot::ISurfaceSeries>(pSeries)->SetData(vertices.data(), static_cast<LONG>(nVertices), indices.data(),
                                                       static_cast<LONG>(nIndices));
    }
    m_spControl->Refresh();
    if (nVertices == 0)
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

    pSeries->SetData(points.data(), static_cast<LONG>(points.size()), pointSize);
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
    const std::vector<SparseCell> cells = FoldCells(samples, iMin, jMin, m_Aggregate);
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
    parts.spPointSurface->SetData(vertices.data(), static_cast<LONG>(vertices.size()), indices.data(),
                                  static_cast<LONG>(indices.size()));
    parts.spPointSurface->SetColorByValue(1);
    parts.spPointSurface->SetVisible(parts.bVisible ? 1 : 0);
}
