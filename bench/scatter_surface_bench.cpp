// A surface through 200,000 scattered results (uniform X and Y in different
// units, a noisy value), from the loaded records to the series a chart window
// hands to its control, against the baseline of one direct Qhull Delaunay call
// on the same points, already interleaved: qh_new_qhull, a walk over the facets
// counting triangles, and freeing. Runs alternate baseline and measured, and
// the medians of the pairs are printed. A third run in each round, the same
// Qhull call on the points already scaled to [0, 1]^2, separates the cost of
// the triangulation's own work from the effect of scaling on Qhull.
// Usage: scatter_surface_bench [pairs] [points]   (defaults 11, 200000)
#include "ChartAdapter.h"
#include "DataTransformer.h"
#include "ScatterTriangulation.h"

#include "ors_provider/IQX_VantixDataProvider.h"
#include "platform/comptr.h"
#include "plot_control/IPlotControl.h"

#include <libqhull_r/libqhull_r.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <span>
#include <vector>

namespace {

// ===========================================================================
// The path from scattered results to a drawable surface: what is measured.
// The records, loaded (a data source over column arrays, value indices by
// rank as the provider numbers them), go through the chart adapter as a chart
// window builds them with "Surface from Points" on: the iterator pass, records
// folded per X-Y position, the values looked up, the triangulation, and the
// surface and point series handed to the control (here sinks that keep the
// sizes). Returns the number of triangles, so that the work cannot be left out.
// ===========================================================================
using namespace IQX_VantixDataProvider;

class CScatterSource final
    : public platform::ComObject<IOptimizationResultsDataSource, IOptimizationResultsDataSourceEx> {
public:
    CScatterSource(std::span<const double> x, std::span<const double> y, std::span<const double> value)
        : m_value(value.begin(), value.end())
    {
        for (int n = 0; n < 2; ++n) {
            const std::span<const double> column = n == 0 ? x : y;
            std::vector<std::uint32_t> order(column.size());
            for (std::uint32_t k = 0; k < order.size(); ++k)
                order[k] = k;
            std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return column[a] < column[b]; });
            m_index[n].resize(column.size());
            for (std::uint32_t k = 0; k < order.size(); ++k) {
                if (k == 0 || column[order[k]] != m_distinct[n].back())
                    m_distinct[n].push_back(column[order[k]]);
                m_index[n][order[k]] = static_cast<std::uint32_t>(m_distinct[n].size() - 1);
            }
        }
    }
    HRESULT GetInputCount(ULONG* p) override { return *p = 2, S_OK; }
    HRESULT GetFunctionCount(ULONG* p) override { return *p = 1, S_OK; }
    HRESULT GetInputName(ULONG n, std::wstring* p) override { return *p = n ? L"Q" : L"CutoffHz", S_OK; }
    HRESULT GetFunctionName(ULONG, std::wstring* p) override { return *p = L"RmsError", S_OK; }
    HRESULT GetRecordCount(ULONG* p) override { return *p = static_cast<ULONG>(m_value.size()), S_OK; }
    HRESULT GetInputValue(ULONG r, ULONG n, double* p) override { return *p = m_distinct[n][m_index[n][r]], S_OK; }
    HRESULT GetFunctionValue(ULONG r, ULONG, double* p) override { return *p = m_value[r], S_OK; }
    HRESULT GetDataType(LONG* p) override { return *p = 2, S_OK; }
    HRESULT GetSignalName(ULONG, std::wstring* p) override { return *p = L"Filter", S_OK; }
    HRESULT GetInputValueIndex(ULONG r, ULONG n, std::uint64_t* p) override { return *p = m_index[n][r], S_OK; }
    HRESULT GetInputValueByIndex(std::uint64_t k, ULONG n, double* p) override { return *p = m_distinct[n][k], S_OK; }

private:
    std::vector<double> m_value;
    std::vector<std::uint32_t> m_index[2];
    std::vector<double> m_distinct[2];
};

class CSurfaceSink final : public platform::ComObject<plot::ISurfaceSeries> {
public:
    HRESULT SetVisible(LONG) override { return S_OK; }
    HRESULT IsVisible(LONG* p) override { return *p = 1, S_OK; }
    HRESULT SetData(const plot::SurfaceVertex*, LONG, const std::uint32_t*, LONG indexCount) override
    {
        triangles = static_cast<std::size_t>(indexCount) / 3;
        return S_OK;
    }
    HRESULT SetColorByValue(LONG) override { return S_OK; }
    HRESULT SetName(const std::wstring&) override { return S_OK; }
    std::size_t triangles = 0;
};

class CPointSink final : public platform::ComObject<plot::IPointSeries> {
public:
    HRESULT SetVisible(LONG) override { return S_OK; }
    HRESULT IsVisible(LONG* p) override { return *p = 1, S_OK; }
    HRESULT SetData(const plot::SurfaceVertex*, LONG, double) override { return S_OK; }
    HRESULT SetColorByValue(LONG) override { return S_OK; }
    HRESULT SetName(const std::wstring&) override { return S_OK; }
    HRESULT SetPixelSize(double) override { return S_OK; }
};

class CControlSink final : public platform::ComObject<plot::IPlotControl> {
public:
    HRESULT Refresh() override { return S_OK; }
    HRESULT Initialize(LONG) override { return S_OK; }
    HRESULT CreateSurfaceSeries(plot::ISurfaceSeries** pp) override
    {
        surface = platform::MakeCom<CSurfaceSink>();
        *pp = surface.Get();
        surface->AddRef();
        return S_OK;
    }
    HRESULT CreatePointSeries(plot::IPointSeries** pp) override
    {
        auto points = platform::MakeCom<CPointSink>();
        *pp = points.Get();
        points->AddRef();
        return S_OK;
    }
    HRESULT SetAxisTitles(const std::wstring&, const std::wstring&, const std::wstring&) override { return S_OK; }
    HRESULT EnableCollisionDetect(LONG) override { return S_OK; }
    HRESULT IsEnableCollisionDetect(LONG* p) override { return *p = 0, S_OK; }
    HRESULT GetFieldOfView(LONG* p) override { return *p = 60, S_OK; }
    HRESULT SetFieldOfView(LONG) override { return S_OK; }
    HRESULT EnableWaterLevel(LONG) override { return S_OK; }
    HRESULT IsWaterLevel(LONG* p) override { return *p = 0, S_OK; }
    HRESULT WaterLevelUp() override { return S_OK; }
    HRESULT WaterLevelDown() override { return S_OK; }
    HRESULT SetVideoMode(LONG) override { return S_OK; }
    HRESULT GetVideoMode(LONG* p) override { return *p = 0, S_OK; }
    HRESULT EnableWireFrame(LONG) override { return S_OK; }
    HRESULT IsWireFramed(LONG* p) override { return *p = 0, S_OK; }
    HRESULT GetValueRange(double* a, double* b) override { return *a = *b = 0, S_FALSE; }
    HRESULT SetViewPreset(LONG) override { return S_OK; }
    HRESULT SetColorScale(const std::wstring&, double, double, LONG) override { return S_OK; }
    HRESULT RenderPicture(LONG, LONG, QImage*) override { return E_NOTIMPL; }
    HRESULT WritePicture(const std::wstring&, LONG, LONG, std::wstring*) override { return E_NOTIMPL; }
    HRESULT LegendSeriesAt(LONG, LONG, LONG* p) override { *p = -1; return S_FALSE; }
    HRESULT SetAxisScale(LONG, LONG) override { return S_OK; }
    HRESULT SetAxisTickLabels(LONG, const std::vector<double>&, const std::vector<std::wstring>&, LONG) override
    {
        return S_OK;
    }
    ComPtr<CSurfaceSink> surface;
};

std::size_t SurfaceFromScatter(CScatterSource& source)
{
    auto control = platform::MakeCom<CControlSink>();
    CChartAdapter adapter;
    adapter.Initialize(static_cast<plot::IPlotControl*>(control.Get()));
    adapter.SetSurfaceFromPoints(true);
    CDataTransformer transformer(static_cast<IOptimizationResultsDataSource*>(&source));
    adapter.CreateNewSeries(&transformer, {});
    return control->surface ? control->surface->triangles : 0;
}

ssize_t DiscardWrite(void*, const char*, std::size_t size)
{
    return static_cast<ssize_t>(size);
}

// The baseline: one Qhull call with the options TriangulateScatter uses.
std::size_t DirectQhull(std::vector<coordT>& points)
{
    cookie_io_functions_t io{};
    io.write = DiscardWrite;
    FILE* err = fopencookie(nullptr, "w", io);
    qhT data;
    qhT* qh = &data;
    qh_zero(qh, err);
    char options[] = "qhull d Qbb Qz Qt";
    std::size_t triangles = 0;
    if (qh_new_qhull(qh, 2, static_cast<int>(points.size() / 2), points.data(), False, options, nullptr, err) == 0) {
        facetT* facet;
        FORALLfacets triangles += !facet->upperdelaunay;
    }
    qh_freeqhull(qh, !qh_ALL);
    int curlong = 0, totlong = 0;
    qh_memfreeshort(qh, &curlong, &totlong);
    std::fclose(err);
    return triangles;
}

using Clock = std::chrono::steady_clock;

template <class F>
double Milliseconds(F&& body)
{
    const auto start = Clock::now();
    body();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> v)
{
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int pairs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
    const std::size_t n = argc > 2 ? std::max(3L, std::atol(argv[2])) : 200000;

    // A random design over a filter cutoff (Hz) and a quality factor.
    std::mt19937_64 rng(17);
    std::uniform_real_distribution<double> cutoff(10.0, 1000.0), quality(0.3, 5.0);
    std::normal_distribution<double> noise(0.0, 0.02);
    std::vector<double> x(n), y(n), value(n), raw(2 * n), scaled(2 * n);
    for (std::size_t k = 0; k < n; ++k) {
        x[k] = cutoff(rng);
        y[k] = quality(rng);
        const double u = std::log10(x[k]) - 2.0, q = y[k] - 1.2;
        value[k] = u * u + 0.4 * q * q + 0.3 * std::sin(3 * u) * std::cos(2 * q) + noise(rng);
        raw[2 * k] = x[k];
        raw[2 * k + 1] = y[k];
    }
    const auto [x0, x1] = std::minmax_element(x.begin(), x.end());
    const auto [y0, y1] = std::minmax_element(y.begin(), y.end());
    for (std::size_t k = 0; k < n; ++k) {
        scaled[2 * k] = (x[k] - *x0) / (*x1 - *x0);
        scaled[2 * k + 1] = (y[k] - *y0) / (*y1 - *y0);
    }

    auto source = platform::MakeCom<CScatterSource>(x, y, value);
    std::vector<double> direct, measured, directScaled, ratio, ratioScaled;
    std::size_t directTriangles = 0, measuredTriangles = 0, scaledTriangles = 0;
    DirectQhull(raw); // warm-up, not counted
    SurfaceFromScatter(*source);
    for (int r = 0; r < pairs; ++r) {
        direct.push_back(Milliseconds([&] { directTriangles = DirectQhull(raw); }));
        measured.push_back(Milliseconds([&] { measuredTriangles = SurfaceFromScatter(*source); }));
        directScaled.push_back(Milliseconds([&] { scaledTriangles = DirectQhull(scaled); }));
        ratio.push_back(measured.back() / direct.back());
        ratioScaled.push_back(measured.back() / directScaled.back());
    }
    // Scaling an axis keeps the hull, so both direct calls count 2n - h - 2
    // triangles; the surface keeps those without a long edge.
    if (directTriangles != scaledTriangles || measuredTriangles == 0 || measuredTriangles > directTriangles) {
        std::fprintf(stderr, "triangle counts do not fit: direct %zu, surface %zu, scaled %zu\n", directTriangles,
                     measuredTriangles, scaledTriangles);
        return 1;
    }

    ScatterTriangulationStats stats;
    TriangulateScatter(x, y, kScatterMaxEdgeFactor, &stats);
    std::printf("%zu points: %zu triangles, %zu dropped for long edges, %zu on the hull, median edge %.3g\n", n,
                stats.triangles + stats.dropped, stats.dropped, stats.hullVertices, stats.medianEdge);
    std::printf("%-44s median %9.2f ms\n", "(a) direct Qhull call", Median(direct));
    std::printf("%-44s median %9.2f ms\n", "(b) records to a surface from points", Median(measured));
    std::printf("%-44s median %9.2f ms\n", "(c) direct Qhull call, points in [0, 1]^2", Median(directScaled));
    std::printf("ratio (b)/(a): %.3f (median of %d pairs), %.3f (ratio of medians)   target <= 2\n", Median(ratio),
                pairs, Median(measured) / Median(direct));
    std::printf("ratio (b)/(c): %.3f (median of %d pairs), %.3f (ratio of medians)\n", Median(ratioScaled), pairs,
                Median(measured) / Median(directScaled));
    return 0;
}
