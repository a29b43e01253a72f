#pragma once
// A recording chart control and a data transfer served from a list of records,
// for tests of the chart adapter and the event receiver.
#include "IDataTransfer.h"

#include "platform/comptr.h"
#include "platform/dispatch.h"
#include "plot_control/IPlotControl.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vantix::test {

// Connection point of the control's IChartEvents, counting advises and unadvises.
class FakeEventsPoint final : public platform::ComObject<platform::IConnectionPoint> {
public:
    int advises = 0;
    int unadvises = 0;
    std::function<void()> onUnadvise;
    std::map<std::uint32_t, ComPtr<IDispatch>> sinks;

    HRESULT GetConnectionInterface(IID* pIID) override
    {
        *pIID = platform::uuidof<plot::IChartEvents>();
        return S_OK;
    }
    HRESULT Advise(IUnknown* pUnkSink, std::uint32_t* pdwCookie) override
    {
        ++advises;
        // The sink must dispatch and be the control's own events interface.
        ComPtr<IDispatch> sink;
        ComPtr<plot::IChartEvents> events;
        if (FAILED(sink.TryQueryFrom(pUnkSink)) || FAILED(events.TryQueryFrom(pUnkSink)))
            return CONNECT_E_CANNOTCONNECT;
        *pdwCookie = m_nextCookie++;
        sinks[*pdwCookie] = sink;
        return S_OK;
    }
    HRESULT Unadvise(std::uint32_t dwCookie) override
    {
        ++unadvises;
        if (onUnadvise)
            onUnadvise();
        return sinks.erase(dwCookie) ? S_OK : CONNECT_E_NOCONNECTION;
    }

    // The one advised sink (tests advise at most one).
    IDispatch* Sink() const { return sinks.empty() ? nullptr : sinks.begin()->second.Get(); }

    // Fires to every sink; returns the last sink's answer (S_OK without sinks).
    HRESULT Fire(DISPID id, std::vector<VARIANT> argsReversed)
    {
        HRESULT hr = S_OK;
        for (auto& [cookie, sink] : decltype(sinks)(sinks)) {
            DISPPARAMS params;
            params.rgvarg = argsReversed.empty() ? nullptr : argsReversed.data();
            params.cArgs = static_cast<std::uint32_t>(argsReversed.size());
            EXCEPINFO info;
            std::uint32_t argErr = 0;
            hr = sink->Invoke(id, platform::GUID_NULL, 0, platform::DISPATCH_METHOD, &params, nullptr, &info, &argErr);
        }
        return hr;
    }
    HRESULT FireSelect(double x, double y, double z)
    {
        return Fire(plot::DISPID_SelectPoint, {VARIANT::R8Ref(&z), VARIANT::R8Ref(&y), VARIANT::R8Ref(&x)});
    }
    HRESULT FireClear() { return Fire(plot::DISPID_ClearPoint, {}); }

private:
    std::uint32_t m_nextCookie = 1;
};

// What both kinds of series keep of their calls; data is kept as vertices
// (and indices for surfaces) unless refused.
template <class Interface>
class FakeSeries final : public platform::ComObject<Interface> {
public:
    int setDataCalls = 0;
    LONG colorByValue = -1; // -1: never set
    std::wstring name;
    HRESULT refuse = S_OK; // the answer to data other than none
    std::vector<plot::SurfaceVertex> vertices;
    std::vector<std::uint32_t> indices;
    double pointSize = -1, pixelSize = -1; // -1: never set

    HRESULT SetVisible(LONG) override { return S_OK; }
    HRESULT IsVisible(LONG* p) override { *p = 1; return S_OK; }
    HRESULT SetColorByValue(LONG on) override { colorByValue = on; return S_OK; }
    HRESULT SetName(const std::wstring& n) override { name = n; return S_OK; }
    HRESULT SetData(const plot::SurfaceVertex* data, LONG count, const std::uint32_t* idx, LONG indexCount)
    {
        ++setDataCalls;
        if (count > 0 && FAILED(refuse))
            return refuse;
        vertices.assign(data, data + count);
        indices.assign(idx, idx + indexCount);
        return S_OK;
    }
    HRESULT SetData(const plot::SurfaceVertex* data, LONG count, double size)
    {
        pointSize = size;
        return SetData(data, count, nullptr, 0);
    }
    HRESULT SetPixelSize(double pixels) { pixelSize = pixels; return S_OK; }
};
using FakeSurfaceSeries = FakeSeries<plot::ISurfaceSeries>;
using FakePointSeries = FakeSeries<plot::IPointSeries>;

// Records the calls that matter as lines ("Initialize 1", "Refresh", ...);
// settings the adapter restates with every series are kept instead.
class FakeChartControl final : public platform::ComObject<plot::IPlotControl, platform::IConnectionPointContainer> {
public:
    std::vector<std::string> calls;
    std::map<std::string, HRESULT> results; // answer per operation name, S_OK when absent
    LONG collision = 0, waterLevel = 0, wireFrame = 0, videoMode = 0;
    std::wstring titles[3];
    std::vector<ComPtr<FakeSurfaceSeries>> surfaces;
    std::vector<ComPtr<FakePointSeries>> pointSeries;
    ComPtr<FakeEventsPoint> events = platform::MakeCom<FakeEventsPoint>();
    std::array<LONG, 3> axisScale{}; // per axis: 0 X, 1 vertical, 2 Z
    struct TickLabelsCall {
        std::vector<double> positions;
        std::vector<std::wstring> labels;
        LONG only = 0;
    };
    std::array<TickLabelsCall, 3> tickLabels;
    struct ColorScaleCall {
        std::wstring title;
        double lo = 0, hi = 0;
        LONG show = -1; // -1: never set
    } colorScale;

    ULONG References() const { return RefCount(); }
    int Count(const std::string& call) const { return int(std::count(calls.begin(), calls.end(), call)); }

    HRESULT Refresh() override { return Log("Refresh"); }
    HRESULT Initialize(LONG renderer) override { return Log("Initialize", renderer); }
    HRESULT CreateSurfaceSeries(plot::ISurfaceSeries** pp) override
    {
        return Create("CreateSurfaceSeries", surfaces, pp);
    }
    HRESULT CreatePointSeries(plot::IPointSeries** pp) override { return Create("CreatePointSeries", pointSeries, pp); }
    HRESULT SetAxisTitles(const std::wstring& x, const std::wstring& y, const std::wstring& z) override
    {
        titles[0] = x, titles[1] = y, titles[2] = z;
        return Log("SetAxisTitles");
    }
    HRESULT EnableCollisionDetect(LONG on) override { return collision = on, Log("EnableCollisionDetect", on); }
    HRESULT IsEnableCollisionDetect(LONG* p) override { return Get("IsEnableCollisionDetect", p, collision); }
    HRESULT GetFieldOfView(LONG* p) override { return Get("GetFieldOfView", p, 45); }
    HRESULT SetFieldOfView(LONG v) override { return Log("SetFieldOfView", v); }
    HRESULT EnableWaterLevel(LONG on) override { return Log("EnableWaterLevel", on); }
    HRESULT IsWaterLevel(LONG* p) override { return Get("IsWaterLevel", p, waterLevel); }
    HRESULT WaterLevelUp() override { return Log("WaterLevelUp"); }
    HRESULT WaterLevelDown() override { return Log("WaterLevelDown"); }
    HRESULT SetVideoMode(LONG r) override { return Log("SetVideoMode", r); }
    HRESULT GetVideoMode(LONG* p) override { return Get("GetVideoMode", p, videoMode); }
    HRESULT EnableWireFrame(LONG on) override { return Log("EnableWireFrame", on); }
    HRESULT IsWireFramed(LONG* p) override { return Get("IsWireFramed", p, wireFrame); }
    // As the control without value-coloured series.
    HRESULT GetValueRange(double* pMin, double* pMax) override { return *pMin = *pMax = 0, S_FALSE; }
    HRESULT SetViewPreset(LONG preset) override { return Log("SetViewPreset", preset); }
    HRESULT SetColorScale(const std::wstring& title, double lo, double hi, LONG show) override
    {
        colorScale = {title, lo, hi, show};
        return S_OK;
    }
    HRESULT SetAxisScale(LONG axis, LONG scale) override { return axisScale.at(std::size_t(axis)) = scale, S_OK; }
    HRESULT SetAxisTickLabels(LONG axis, const std::vector<double>& positions, const std::vector<std::wstring>& labels,
                              LONG only) override
    {
        tickLabels.at(std::size_t(axis)) = {positions, labels, only};
        return S_OK;
    }
    // Pictures are the real control's; the fake draws nothing.
    HRESULT RenderPicture(LONG, LONG, QImage*) override { return Log("RenderPicture"); }
    HRESULT WritePicture(const std::wstring&, LONG, LONG, std::wstring*) override { return Log("WritePicture"); }
    HRESULT LegendSeriesAt(LONG, LONG, LONG* p) override { return *p = -1, S_FALSE; }

    HRESULT FindConnectionPoint(REFIID riid, platform::IConnectionPoint** pp) override
    {
        *pp = nullptr;
        return riid == platform::uuidof<plot::IChartEvents>() ? events.CopyTo(pp) : CONNECT_E_NOCONNECTION;
    }

private:
    HRESULT Log(const std::string& name, std::optional<LONG> v = std::nullopt)
    {
        calls.push_back(v ? name + " " + std::to_string(*v) : name);
        const auto it = results.find(name);
        return it == results.end() ? S_OK : it->second;
    }
    // A failing getter leaves the out value alone.
    HRESULT Get(const std::string& name, LONG* p, LONG value)
    {
        const HRESULT hr = Log(name);
        if (SUCCEEDED(hr))
            *p = value;
        return hr;
    }
    template <class Series, class Interface>
    HRESULT Create(const std::string& name, std::vector<ComPtr<Series>>& list, Interface** pp)
    {
        const HRESULT hr = Log(name);
        if (FAILED(hr))
            return hr;
        list.push_back(platform::MakeCom<Series>());
        return list.back().CopyTo(pp);
    }
};

inline IUnknown* Unk(FakeChartControl* p)
{
    return static_cast<plot::IPlotControl*>(p);
}

// One record of a slice: X and Y value indices and the function value.
struct SliceRecord {
    std::uint64_t i;
    std::uint64_t j;
    double v;
};

// A transfer that hands out iterators over a list of records. X values are
// 10 + k and Y values 20 + 2k for value index k (read as signed) unless replaced.
class FakeTransfer : public IDataTransfer {
public:
    DataStyle style = STYLE_SURFACE;
    std::vector<DataType> types = {DATA_2D}; // successive GetDataType answers, the last repeats
    std::vector<SliceRecord> records;
    std::function<double(std::uint64_t)> xValue = [](std::uint64_t k) { return 10.0 + static_cast<std::int64_t>(k); };
    std::function<double(std::uint64_t)> yValue = [](std::uint64_t k) {
        return 20.0 + 2.0 * static_cast<double>(static_cast<std::int64_t>(k));
    };
    bool iteratorResult = true;
    bool nullIterator = false;
    bool dataResult = true;
    std::wstring xName = L"Lowpass:Cutoff", yName = L"Lowpass:Q", functionName = L"Ripple";
    mutable int typeCalls = 0;
    mutable std::vector<std::uint64_t> xIndexRequests, yIndexRequests;
    // What the axes mean: log scales (X, Y, function); X's and Y's labels by
    // value index (labelled when any) and value index of "(none)".
    std::array<bool, 3> logAxes{};
    std::array<std::vector<std::wstring>, 2> labels;
    std::array<std::optional<std::uint64_t>, 2> none;
    bool IsAxisLogScaled(int axis) const override { return logAxes.at(std::size_t(axis)); }
    bool IsAxisLabelled(int axis) const override { return axis < 2 && !labels[std::size_t(axis)].empty(); }
    std::wstring GetAxisLabel(int axis, std::uint64_t index) const override
    {
        if (axis < 2 && none[std::size_t(axis)] == index)
            return L"(none)";
        return axis < 2 && index < labels[std::size_t(axis)].size() ? labels[std::size_t(axis)][index] : L"";
    }
    std::optional<std::uint64_t> GetAxisNoneIndex(int axis) const override
    {
        return axis < 2 ? none[std::size_t(axis)] : std::nullopt;
    }

    DataType GetDataType() const override { return types[std::min(std::size_t(typeCalls++), types.size() - 1)]; }
    DataStyle GetDataStyle() const override { return style; }
    bool GetDataIterator(boost::shared_ptr<IDataIterator>* pp) override
    {
        if (!nullIterator)
            pp->reset(new Iterator(this));
        return iteratorResult;
    }
    void GetFunctionName(std::wstring* p) const override { *p = functionName; }
    void GetInputXName(std::wstring* p) const override { *p = L"x"; }
    void GetInputYName(std::wstring* p) const override { *p = L"y"; }
    void GetInputXFullName(std::wstring* p) const override { *p = xName; }
    void GetInputYFullName(std::wstring* p) const override { *p = yName; }

private:
    class Iterator : public IDataIterator {
    public:
        explicit Iterator(const FakeTransfer* owner) : m_owner(owner) {}
        bool GetData(double* x, double* y, double* z) const override
        {
            std::uint64_t i = 0, j = 0;
            GetDataInt(&i, &j, z);
            *x = m_owner->xValue(i), *y = m_owner->yValue(j);
            return m_owner->dataResult;
        }
        bool GetData(double*, double*) const override { return false; }
        bool GetDataInt(std::uint64_t* x, std::uint64_t* y, double* z) const override
        {
            const SliceRecord& r = m_owner->records[m_pos];
            *x = r.i, *y = r.j, *z = r.v;
            return m_owner->dataResult;
        }
        bool GetDataInt(std::uint64_t*, double*) const override { return false; }
        bool GetInputXValue(const std::uint64_t& k, double* x) const override
        {
            m_owner->xIndexRequests.push_back(k);
            return *x = m_owner->xValue(k), true;
        }
        bool GetInputYValue(const std::uint64_t& k, double* y) const override
        {
            m_owner->yIndexRequests.push_back(k);
            return *y = m_owner->yValue(k), true;
        }
        bool Begin() override { return m_pos = 0, !m_owner->records.empty(); }
        bool Next() override { return ++m_pos < m_owner->records.size(); }
        bool GetRecord(std::uint32_t* pRecord) const override { return *pRecord = std::uint32_t(m_pos), true; }

    private:
        const FakeTransfer* m_owner;
        std::size_t m_pos = 0;
    };
};

} // namespace vantix::test
