// Building a surface series from a 1000 x 1000 slice of a 5,000,000-record
// source (5 inputs, 2 functions) against the bare iterator pass over the same
// slice, measured in the same run.
// Usage: chart_series_bench [runs]   (default 7)
#include "ChartAdapter.h"
#include "DataTransformer.h"
#include "platform/hugepages.h"

#include "ors_provider/IQX_VantixDataProvider.h"
#include "platform/comptr.h"
#include "plot_control/IPlotControl.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

using namespace IQX_VantixDataProvider;
using platform::large_vector;

namespace {

constexpr ULONG kGrid = 1000;     // distinct values of X and of Y
constexpr ULONG kCombos = 5;      // evaluated settings of the three other inputs
constexpr ULONG kRecords = kGrid * kGrid * kCombos;
constexpr ULONG kInputs = 5;
constexpr ULONG kFunctions = 2;
// Value indices of inputs 2, 3 and 4 in each setting; the slice holds setting 1.
constexpr std::uint16_t kComboIndex[kCombos][3] = {{0, 0, 0}, {1, 0, 1}, {0, 1, 0}, {1, 1, 1}, {2, 0, 1}};
constexpr std::uint16_t kDistinct[kInputs] = {kGrid, kGrid, 3, 2, 2};

// A controller-tuning result held in plain column arrays: records run over
// X (outer), Y, then the five settings, as a full-factorial optimizer writes them.
class CArraySource final
    : public platform::ComObject<IOptimizationResultsDataSource, IOptimizationResultsDataSourceEx> {
public:
    CArraySource()
    {
        for (ULONG n = 0; n < kInputs; ++n) {
            m_values[n].resize(kDistinct[n]);
            for (ULONG k = 0; k < kDistinct[n]; ++k)
                m_values[n][k] = n == 0 ? 10.0 * std::pow(1000.0, k / double(kGrid - 1)) // cutoff, Hz
                                 : n == 1 ? 0.3 + 4.7 * k / double(kGrid - 1)              // Q
                                          : 0.5 + 0.25 * k;                                // gains
            m_index[n].resize(kRecords);
        }
        for (ULONG f = 0; f < kFunctions; ++f)
            m_functions[f].resize(kRecords);
        std::mt19937_64 rng(7);
        std::normal_distribution<double> noise(0.0, 0.02);
        ULONG r = 0;
        for (ULONG i = 0; i < kGrid; ++i) {
            for (ULONG j = 0; j < kGrid; ++j) {
                const double u = std::log10(m_values[0][i]) - 2.5, q = m_values[1][j] - 1.2;
                for (ULONG c = 0; c < kCombos; ++c, ++r) {
                    m_index[0][r] = static_cast<std::uint16_t>(i);
                    m_index[1][r] = static_cast<std::uint16_t>(j);
                    for (ULONG n = 2; n < kInputs; ++n)
                        m_index[n][r] = kComboIndex[c][n - 2];
                    const double g = 1.0 + 0.1 * c;
                    m_functions[0][r] = g * (u * u + 0.4 * q * q) + 0.3 * std::sin(3 * u) * std::cos(2 * q) + noise(rng);
                    m_functions[1][r] = std::exp(-q) * (1.0 + 0.2 * u) + noise(rng);
                }
            }
        }
    }

    HRESULT GetInputCount(ULONG* p) override { *p = kInputs; return S_OK; }
    HRESULT GetFunctionCount(ULONG* p) override { *p = kFunctions; return S_OK; }
    HRESULT GetInputName(ULONG n, std::wstring* p) override
    {
        static const wchar_t* names[kInputs] = {L"Cutoff", L"Q", L"Kp", L"Ki", L"Kd"};
        if (n >= kInputs) return E_INVALIDARG;
        *p = names[n];
        return S_OK;
    }
    HRESULT GetFunctionName(ULONG f, std::wstring* p) override
    {
        if (f >= kFunctions) return E_INVALIDARG;
        *p = f == 0 ? L"Tracking error" : L"Overshoot";
        return S_OK;
    }
    HRESULT GetRecordCount(ULONG* p) override { *p = kRecords; return S_OK; }
    HRESULT GetInputValue(ULONG r, ULONG n, double* p) override
    {
        if (r >= kRecords || n >= kInputs) return E_INVALIDARG;
        *p = m_values[n][m_index[n][r]];
        return S_OK;
    }
    HRESULT GetFunctionValue(ULONG r, ULONG f, double* p) override
    {
        if (r >= kRecords || f >= kFunctions) return E_INVALIDARG;
        *p = m_functions[f][r];
        return S_OK;
    }
    HRESULT GetDataType(LONG* p) override { *p = 0; return S_OK; }
    HRESULT GetSignalName(ULONG n, std::wstring* p) override
    {
        if (n >= kInputs) return E_INVALIDARG;
        *p = n < 2 ? L"Lowpass" : L"Controller";
        return S_OK;
    }
    HRESULT GetInputValueIndex(ULONG r, ULONG n, std::uint64_t* p) override
    {
        if (r >= kRecords || n >= kInputs) return E_INVALIDARG;
        *p = m_index[n][r];
        return S_OK;
    }
    HRESULT GetInputValueByIndex(std::uint64_t k, ULONG n, double* p) override
    {
        if (n >= kInputs || k >= m_values[n].size()) return E_INVALIDARG;
        *p = m_values[n][k];
        return S_OK;
    }

private:
    std::vector<double> m_values[kInputs];
    large_vector<std::uint16_t> m_index[kInputs];
    large_vector<double> m_functions[kFunctions];
};

// Accepts the arrays like a control would, without drawing; keeps a checksum.
class CSurfaceSink final : public platform::ComObject<plot::ISurfaceSeries> {
public:
    double* m_pChecksum;
    explicit CSurfaceSink(double* checksum) : m_pChecksum(checksum) {}
    HRESULT SetVisible(LONG) override { return S_OK; }
    HRESULT IsVisible(LONG* p) override { *p = 1; return S_OK; }
    HRESULT SetData(const plot::SurfaceVertex* data, LONG count, const std::uint32_t* idx, LONG indexCount) override
    {
        *m_pChecksum += count + indexCount + data[count - 1].y + data[0].color + idx[indexCount - 1];
        return S_OK;
    }
    HRESULT SetColorByValue(LONG) override { return S_OK; }
    HRESULT SetName(const std::wstring&) override { return S_OK; }
};

class CControlSink final : public platform::ComObject<plot::IPlotControl> {
public:
    double checksum = 0;
    HRESULT Refresh() override { return S_OK; }
    HRESULT Initialize(LONG) override { return S_OK; }
    HRESULT CreateSurfaceSeries(plot::ISurfaceSeries** pp) override
    {
        return platform::MakeCom<CSurfaceSink>(&checksum).CopyTo(pp);
    }
    HRESULT CreatePointSeries(plot::IPointSeries**) override { return E_NOTIMPL; }
    HRESULT SetAxisTitles(const std::wstring&, const std::wstring&, const std::wstring&) override { return S_OK; }
    HRESULT EnableCollisionDetect(LONG) override { return S_OK; }
    HRESULT IsEnableCollisionDetect(LONG* p) override { *p = 0; return S_OK; }
    HRESULT GetFieldOfView(LONG* p) override { *p = 45; return S_OK; }
    HRESULT SetFieldOfView(LONG) override { return S_OK; }
    HRESULT EnableWaterLevel(LONG) override { return S_OK; }
    HRESULT IsWaterLevel(LONG* p) override { *p = 0; return S_OK; }
    HRESULT WaterLevelUp() override { return S_OK; }
    HRESULT WaterLevelDown() override { return S_OK; }
    HRESULT SetVideoMode(LONG) override { return S_OK; }
    HRESULT GetVideoMode(LONG* p) override { *p = 0; return S_OK; }
    HRESULT EnableWireFrame(LONG) override { return S_OK; }
    HRESULT IsWireFramed(LONG* p) override { *p = 0; return S_OK; }
    HRESULT GetValueRange(double* pMin, double* pMax) override
    {
        *pMin = *pMax = 0;
        return S_FALSE;
    }
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
};

using Clock = std::chrono::steady_clock;

double Seconds(const std::function<void()>& body)
{
    const auto start = Clock::now();
    body();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::pair<double, double> MinMedian(std::vector<double> t)
{
    std::sort(t.begin(), t.end());
    return {t.front(), t[t.size() / 2]};
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;

    std::printf("building the source: %u records, %u inputs, %u functions ...\n", kRecords, kInputs, kFunctions);
    double setup = 0;
    ComPtr<CArraySource> source;
    setup = Seconds([&] { source = platform::MakeCom<CArraySource>(); });
    std::printf("  %.3f s\n", setup);

    CDataTransformer transformer(static_cast<IOptimizationResultsDataSource*>(source.Get()));
    transformer.m_nInputX = 0;
    transformer.m_nInputY = 1;
    transformer.m_nFunction = 0;
    transformer.m_Fixed = {{2, 1}, {3, 0}, {4, 1}};

    auto control = platform::MakeCom<CControlSink>();
    CChartAdapter adapter;
    if (!adapter.Initialize(static_cast<plot::IPlotControl*>(control.Get()))) {
        std::fprintf(stderr, "adapter did not attach\n");
        return 1;
    }

    std::vector<double> pass, build;
    double sink = 0;
    std::size_t delivered = 0;
    for (int run = 0; run < runs; ++run) {
        pass.push_back(Seconds([&] {
            boost::shared_ptr<IDataIterator> it;
            transformer.GetDataIterator(&it);
            std::size_t n = 0;
            for (bool b = it->Begin(); b; b = it->Next()) {
                std::uint64_t x = 0, y = 0;
                double v = 0;
                it->GetDataInt(&x, &y, &v);
                sink += v + static_cast<double>(x ^ y);
                ++n;
            }
            delivered = n;
        }));
        build.push_back(Seconds([&] { adapter.CreateNewSeries(&transformer, {}); }));
    }
    if (delivered != std::size_t(kGrid) * kGrid) {
        std::fprintf(stderr, "slice has %zu records, expected %u\n", delivered, kGrid * kGrid);
        return 1;
    }

    const auto [passMin, passMedian] = MinMedian(pass);
    const auto [buildMin, buildMedian] = MinMedian(build);
    std::printf("slice: %zu records of %u (checksums %.6g %.6g)\n", delivered, kRecords, sink, control->checksum);
    std::printf("%-38s min %8.4f s  median %8.4f s\n", "(a) iterator pass over the slice", passMin, passMedian);
    std::printf("%-38s min %8.4f s  median %8.4f s\n", "(b) CreateNewSeries (surface)", buildMin, buildMedian);
    std::printf("ratio (b)/(a): %.2f (min)  %.2f (median)   target <= 3\n", buildMin / passMin,
                buildMedian / passMedian);
    return 0;
}
