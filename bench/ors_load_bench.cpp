// Loading an Optimization Results File, and the application's iterator passes
// over the loaded data, against the floor of just reading the file's bytes, on
// the 2,250,000-record benchmark layout (4 inputs, 2 functions). Load also
// with a progress sink, to show what the progress calls cost and how evenly
// the reported progress follows the time.
// Usage: ors_load_bench [runs] [grid]   (defaults: 7 runs, grid 300)
#include "DataTransformer.h"
#include "OrsDataProvider.h"

#include "LoadBenchSupport.h"
#include "ors_provider/ILoadProgress.h"
#include "platform/comptr.h"
#include "platform/loader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace IQX_VantixDataProvider;

namespace {

using namespace loadbench;



} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const int grid = argc > 2 ? std::max(2, std::atoi(argv[2])) : 300;

    char pattern[] = "/tmp/ors-bench-XXXXXX";
    const char* dir = ::mkdtemp(pattern);
    if (!dir) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string file = std::string(dir) + "/bench.ors";
    const std::string generator = (platform::ExecutableDirectory() / "ors-generate").string();
    const std::string command =
        generator + " --scenario benchmark --grid " + std::to_string(grid) + " '" + file + "' > /dev/null";
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "generating the file failed: %s\n", command.c_str());
        return 1;
    }
    const auto bytes = fs::file_size(file);
    const std::wstring wfile = ors::FromUtf8(file);

    auto provider = platform::MakeCom<ors::COptimizationResultsDataProvider>();
    const LoadRuns m = MeasureLoads(provider.Get(), file, runs);
    const Timing &a = m.read, &b = m.load, &e = m.loadWithSink;
    const ULONG records = m.records;

    // The application's walks over the loaded data: the slice x3 = 0.5,
    // x4 = 0.5 (value index 2 of each) with the shear iterator, and every
    // record with the base iterator's value indices.
    IUnknown* data = nullptr;
    if (FAILED(provider->Load(wfile, &data)))
        return 1;
    CDataTransformer transformer(data);
    data->Release();
    transformer.m_eType = IDataTransfer::DATA_2D;
    transformer.m_nInputX = 0;
    transformer.m_nInputY = 1;
    transformer.m_nFunction = 0;
    transformer.m_Fixed = {FixedInput{2, 2}, FixedInput{3, 2}};
    double checksum = 0;
    std::size_t sliceRecords = 0, allRecords = 0;
    auto shear = [&] {
        boost::shared_ptr<IDataIterator> it;
        transformer.GetDataIterator(&it);
        double x = 0, y = 0, z = 0;
        sliceRecords = 0;
        for (bool ok = it->Begin(); ok; ok = it->Next()) {
            it->GetData(&x, &y, &z);
            checksum += x + y + z;
            ++sliceRecords;
        }
    };
    auto base = [&] {
        CDataTransformer::CBaseDataIterator it(&transformer);
        std::uint64_t x = 0, y = 0;
        double z = 0;
        allRecords = 0;
        for (bool ok = it.Begin(); ok; ok = it.Next()) {
            it.GetDataInt(&x, &y, &z);
            checksum += double(x + y) + z;
            ++allRecords;
        }
    };
    shear();
    base();
    std::vector<double> tc, td;
    for (int i = 0; i < runs; ++i) {
        tc.push_back(seconds(shear));
        td.push_back(seconds(base));
    }
    const Timing c = summarize(tc), d = summarize(td);

    std::printf("file: %llu records, 4 inputs, 2 functions, %.1f MiB; %d runs each\n",
                static_cast<unsigned long long>(records), double(bytes) / (1 << 20), runs);
    print("(a) read the file's bytes", a, a);
    print("(b) Load", b, a);
    print("(e) Load with a progress sink", e, a);
    print("(c) CShearDataIterator pass, x3 = x4 = 0.5", c, a);
    print("(d) CBaseDataIterator pass with GetDataInt", d, a);
    std::printf("slice: %zu records, all: %zu records (checksum %g)\n", sliceRecords, allRecords, checksum);
    std::printf("progress: %zu calls in the last load with a sink; (e)/(b) %.3f (median %.3f); reported progress\n"
                "strays at most %.0f%% from the share of time spent\n",
                m.sinkCalls, e.min / b.min, e.median / b.median, m.worstStray * 100);
    std::printf("targets: (b) within 4x of (a): %s; (c) within 2x: %s; (d) within 2x: %s\n",
                b.min <= 4 * a.min ? "met" : "MISSED", c.min <= 2 * a.min ? "met" : "MISSED",
                d.min <= 2 * a.min ? "met" : "MISSED");

    fs::remove_all(dir);
    return 0;
}
