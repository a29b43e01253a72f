// Loading a 1,000,000-row CSV table (4 inputs, 2 functions, the layout of the
// peer pipelines' generator) through the data provider's Load, against the
// floor of reading the file's bytes, in the same run; Load also with a progress
// sink, to show what the progress calls cost and how evenly they follow the time.
// Usage: csv_load_bench [runs] [grid]   (defaults: 7 runs, grid 200: 25 * 200^2 rows)
#include "OrsDataProvider.h"
#include "import/Import.h"

#include "LoadBenchSupport.h"
#include "ors_provider/ILoadProgress.h"
#include "platform/comptr.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace IQX_VantixDataProvider;

namespace {

using namespace loadbench;


// x1, x2 on grid values in [-2, 2], x3, x4 in {0, .25, .5, .75, 1}, nested
// with x1 outermost; f1, f2 smooth with noise; numbers as "%.10g".
void writeTable(const std::string& path, int grid)
{
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::mt19937_64 rng(12345);
    std::normal_distribution<double> noise(0.0, 1.0);
    const double offsets[] = {0.0, 0.25, 0.5, 0.75, 1.0};
    std::fputs("x1,x2,x3,x4,f1,f2\n", f);
    for (int i = 0; i < grid; ++i)
        for (int j = 0; j < grid; ++j)
            for (double x3 : offsets)
                for (double x4 : offsets) {
                    const double x1 = -2.0 + 4.0 * i / (grid - 1);
                    const double x2 = -2.0 + 4.0 * j / (grid - 1);
                    const double f1 = std::sin(1.5 * x1) * std::cos(1.2 * x2) + 0.3 * x3 - 0.2 * x4 * x1 +
                                      0.02 * noise(rng);
                    const double f2 = (x1 - 0.5) * (x1 - 0.5) + 0.5 * (x2 + 0.3) * (x2 + 0.3) + x3 * x4 +
                                      0.05 * noise(rng);
                    std::fprintf(f, "%.10g,%.10g,%.10g,%.10g,%.10g,%.10g\n", x1, x2, x3, x4, f1, f2);
                }
    std::fclose(f);
}


} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const int grid = argc > 2 ? std::max(2, std::atoi(argv[2])) : 200;

    char pattern[] = "/tmp/csv-bench-XXXXXX";
    const char* dir = ::mkdtemp(pattern);
    if (!dir) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string file = std::string(dir) + "/bench.csv";
    writeTable(file, grid);
    const auto bytes = fs::file_size(file);
    const std::wstring wfile = ors::FromUtf8(file);

    auto provider = platform::MakeCom<ors::COptimizationResultsDataProvider>();
    ULONG records = 0;
    auto read = [&] { readBytes(file); };
    auto load = [&] {
        IUnknown* data = nullptr;
        if (FAILED(provider->Load(wfile, &data))) {
            std::fprintf(stderr, "Load failed\n");
            std::exit(1);
        }
        ComPtr<IOptimizationResultsDataSource> source(data);
        data->Release();
        source->GetRecordCount(&records);
    };
    auto sink = platform::MakeCom<TimingSink>();
    ComPtr<IOptimizationResultsLoadProgress> progress(static_cast<IOptimizationResultsDataProvider*>(provider.Get()));
    Clock::time_point loadStart;
    auto loadWithSink = [&] {
        sink->calls.clear();
        progress->SetProgressSink(sink.Get());
        loadStart = Clock::now();
        load();
        progress->SetProgressSink(nullptr);
    };
    // One of each first: warms the page cache and the huge-page pool.
    read();
    load();
    loadWithSink();
    // Interleaved, so that load from other processes on the machine falls on all alike.
    std::vector<double> ta, tb, te;
    for (int r = 0; r < runs; ++r) {
        ta.push_back(seconds(read));
        tb.push_back(seconds(load));
        te.push_back(seconds(loadWithSink));
    }
    const Timing a = summarize(ta), b = summarize(tb), e = summarize(te);
    // How far the reported progress strays from the share of time spent (last run).
    double worst = 0;
    const double loadTime = std::chrono::duration<double>(sink->calls.back().second - loadStart).count();
    for (const auto& [fraction, when] : sink->calls)
        worst = std::max(worst, std::abs(fraction - std::chrono::duration<double>(when - loadStart).count() / loadTime));
    std::printf("CSV table: %lu records (grid %d), 4 inputs, 2 functions, %.1f MB; %d runs\n",
                static_cast<unsigned long>(records), grid, double(bytes) / 1e6, runs);
    print("(a) read the file's bytes", a, a);
    print("(b) Load (parse, value indices, data object)", b, a);
    print("(e) Load with a progress sink", e, a);
    std::printf("(b) per record: %.1f ns; target: ratio within 5\n", b.min / records * 1e9);
    std::printf("progress: %zu calls in the last load with a sink; (e)/(b) %.3f (median %.3f); reported progress\n"
                "strays at most %.0f%% from the share of time spent\n",
                sink->calls.size(), e.min / b.min, e.median / b.median, worst * 100);

    fs::remove_all(dir);
    return 0;
}
