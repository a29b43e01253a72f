#pragma once
// Timing, the read-the-bytes floor and a progress sink shared by the load
// benchmarks.
#include "OrsFormat.h"
#include "ors_provider/ILoadProgress.h"
#include "ors_provider/IQX_VantixDataProvider.h"
#include "platform/comptr.h"
#include "platform/unknown.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace loadbench {

using Clock = std::chrono::steady_clock;

struct Timing {
    double min = 0;
    double median = 0;
};

inline Timing summarize(std::vector<double> t)
{
    std::sort(t.begin(), t.end());
    return {t.front(), t[t.size() / 2]};
}

inline double seconds(const std::function<void()>& body)
{
    const auto start = Clock::now();
    body();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The baseline: the file's bytes into fresh memory, allocated the way the
// provider allocates its columns.
inline std::size_t readBytes(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
    struct stat st {};
    fstat(fd, &st);
    ors::HugeArray<char> buffer(std::size_t(st.st_size));
    std::size_t got = 0;
    while (got < buffer.size()) {
        const ssize_t n = ::read(fd, buffer.data() + got, buffer.size() - got);
        if (n <= 0)
            break;
        got += std::size_t(n);
    }
    ::close(fd);
    return got;
}

// Counts the calls and keeps when each was made.
class TimingSink final : public platform::ComObject<IQX_VantixDataProvider::ILoadProgressSink> {
public:
    std::vector<std::pair<double, Clock::time_point>> calls; // fraction done, when

    HRESULT OnProgress(std::uint64_t done, std::uint64_t total) override
    {
        calls.emplace_back(total ? double(done) / double(total) : 1.0, Clock::now());
        return S_OK;
    }
};

// Reading the file's bytes (a), Load (b) and Load with a progress sink (e),
// one untimed round first (it warms the page cache and the huge-page pool),
// then interleaved, so that load from other processes on the machine falls on
// all alike; and how the last sink's calls followed the time spent.
struct LoadRuns {
    Timing read, load, loadWithSink;
    ULONG records = 0;
    std::size_t sinkCalls = 0;
    double worstStray = 0; // largest |reported fraction - share of the time spent|
};

inline LoadRuns MeasureLoads(IQX_VantixDataProvider::IOptimizationResultsDataProvider* provider,
                             const std::string& file, int runs)
{
    using namespace IQX_VantixDataProvider;
    const std::wstring wfile = ors::FromUtf8(file);
    LoadRuns m;
    auto read = [&] { readBytes(file); };
    auto load = [&] {
        IUnknown* data = nullptr;
        if (FAILED(provider->Load(wfile, &data))) {
            std::fprintf(stderr, "Load failed\n");
            std::exit(1);
        }
        ComPtr<IOptimizationResultsDataSource> source(data);
        data->Release();
        source->GetRecordCount(&m.records);
    };
    auto sink = platform::MakeCom<TimingSink>();
    ComPtr<IOptimizationResultsLoadProgress> progress(provider);
    Clock::time_point loadStart;
    auto loadWithSink = [&] {
        sink->calls.clear();
        progress->SetProgressSink(sink.Get());
        loadStart = Clock::now();
        load();
        progress->SetProgressSink(nullptr);
    };
    read();
    load();
    loadWithSink();
    std::vector<double> ta, tb, te;
    for (int r = 0; r < runs; ++r) {
        ta.push_back(seconds(read));
        tb.push_back(seconds(load));
        te.push_back(seconds(loadWithSink));
    }
    m.read = summarize(ta);
    m.load = summarize(tb);
    m.loadWithSink = summarize(te);
    m.sinkCalls = sink->calls.size();
    const double loadTime = std::chrono::duration<double>(sink->calls.back().second - loadStart).count();
    for (const auto& [fraction, when] : sink->calls)
        m.worstStray = std::max(
            m.worstStray, std::abs(fraction - std::chrono::duration<double>(when - loadStart).count() / loadTime));
    return m;
}

inline void print(const char* what, const Timing& t, const Timing& base)
{
    std::printf("%-46s min %8.4f s  median %8.4f s  ratio to (a) %6.2f (median %6.2f)\n", what, t.min, t.median,
                t.min / base.min, t.median / base.median);
}

} // namespace loadbench
