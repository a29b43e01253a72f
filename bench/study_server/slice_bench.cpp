// A study opened above the memory budget, against its server: the time to
// open it (the distinct values), of reachability questions, counts and
// slices, and the peak memory. The URL is the first argument; the inputs
// are asked as the dialog would: the first held at one value, then a range.
#include "OrsDataProvider.h"
#include "ors_provider/IServerStudy.h"
#include "platform/comptr.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

using namespace IQX_VantixDataProvider;

namespace {

double secondsSince(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

long peakMiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: slice_bench URL\n");
        return 2;
    }
    const std::string url = argv[1];
    auto provider = platform::MakeCom<ors::COptimizationResultsDataProvider>();
    ComPtr<IOptimizationResultsLoadBudget>(provider.Get())->SetMemoryBudget(1);
    auto t0 = std::chrono::steady_clock::now();
    ComPtr<IUnknown> data;
    if (FAILED(provider->Load(std::wstring(url.begin(), url.end()), &data))) {
        std::fprintf(stderr, "the study could not be opened\n");
        return 1;
    }
    ComPtr<IOptimizationResultsServerStudy> server(data.Get());
    ComPtr<IOptimizationResultsDataSourceEx> ex(data.Get());
    std::uint64_t trials = 0;
    server->GetTrialCount(&trials);
    std::printf("open (distinct values of every input): %.2f s, %llu trials, peak %ld MiB\n", secondsSince(t0),
                static_cast<unsigned long long>(trials), peakMiB());
    std::uint64_t n0 = 0;
    for (double v = 0; ex->GetInputValueByIndex(n0, 0, &v) == S_OK;)
        ++n0;
    const std::vector<std::vector<HeldValues>> holds{
        {{0, n0 / 2, n0 / 2}},     // one value of the first input
        {{0, 0, n0 / 10}},         // a tenth of its values
    };
    for (const auto& held : holds) {
        std::printf("input 0 held at values %llu .. %llu:\n", static_cast<unsigned long long>(held[0].first),
                    static_cast<unsigned long long>(held[0].last));
        t0 = std::chrono::steady_clock::now();
        std::vector<std::uint64_t> reachable;
        server->GetReachableValues(1, held, &reachable);
        std::printf("  reachable values of input 1: %.2f s (%zu)\n", secondsSince(t0), reachable.size());
        t0 = std::chrono::steady_clock::now();
        std::uint64_t count = 0;
        server->CountTrials(held, &count);
        std::printf("  count: %.2f s (%llu trials)\n", secondsSince(t0), static_cast<unsigned long long>(count));
        t0 = std::chrono::steady_clock::now();
        std::vector<std::uint64_t> first;
        server->GetMatchingTrial(held, &first);
        std::printf("  a matching trial: %.2f s\n", secondsSince(t0));
        t0 = std::chrono::steady_clock::now();
        ComPtr<IUnknown> slice;
        if (FAILED(server->GetSlice(held, &slice)))
            return 1;
        ULONG records = 0;
        ComPtr<IOptimizationResultsDataSource>(slice.Get())->GetRecordCount(&records);
        std::printf("  slice: %.2f s (%lu records), peak %ld MiB\n", secondsSince(t0), static_cast<unsigned long>(records),
                    peakMiB());
    }
    return 0;
}
