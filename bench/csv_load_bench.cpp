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

    auto provider = platform::MakeCom<ors::COptimizationResultsDataProvider>();
    const LoadRuns m = MeasureLoads(provider.Get(), file, runs);
    const Timing &a = m.read, &b = m.load, &e = m.loadWithSink;
    const ULONG records = m.records;
    std::printf("CSV table: %lu records (grid %d), 4 inputs, 2 functions, %.1f MB; %d runs\n",
                static_cast<unsigned long>(records), grid, double(bytes) / 1e6, runs);
    print("(a) read the file's bytes", a, a);
    print("(b) Load (parse, value indices, data object)", b, a);
    print("(e) Load with a progress sink", e, a);
    std::printf("(b) per record: %.1f ns; target: ratio within 5\n", b.min / records * 1e9);
    std::printf("progress: %zu calls in the last load with a sink; (e)/(b) %.3f (median %.3f); reported progress\n"
                "strays at most %.0f%% from the share of time spent\n",
                m.sinkCalls, e.min / b.min, e.median / b.median, m.worstStray * 100);

    fs::remove_all(dir);
    return 0;
}
