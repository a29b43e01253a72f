// vantix-render: batch rendering of a results file into a PNG (BatchRender.h).
// This launcher holds the command line and the load and does not link Qt: the
// load starts on its own thread at once, while the chart module, and with it
// Qt, is loaded.
#include "BatchOptions.h"

#include "platform/loader.h"

#include <dlfcn.h>
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

namespace {

// A batch run allocates its picture buffers and working arrays once and
// exits. Fresh memory costs a page fault per 4 KiB page on first touch, which
// here costs more than the work done on it (about 10 us a page, 2.5 ms a
// megabyte); so the heap grows in one step into a region that asks for huge
// pages, every thread allocates from it, and freed memory stays for reuse.
// Blocks beyond 32 MiB are still mapped by malloc (the data provider maps its
// large arrays with huge pages itself).
void PrepareHeap()
{
    constexpr std::uintptr_t kHuge = std::uintptr_t(2) << 20;
    constexpr int kReserve = 512 << 20; // address space; only touched pages count
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_TOP_PAD, kReserve);
    const auto before = reinterpret_cast<std::uintptr_t>(sbrk(0));
    // Used, so that the compiler keeps the allocation that grows the heap.
    char* volatile probe = static_cast<char*>(std::malloc(1 << 20));
    if (probe)
        probe[0] = 1;
    const auto after = reinterpret_cast<std::uintptr_t>(sbrk(0));
    std::free(probe);
    mallopt(M_TOP_PAD, 16 << 20);
    const std::uintptr_t start = (before + kHuge - 1) & ~(kHuge - 1);
    if (after > start + kHuge)
        madvise(reinterpret_cast<void*>(start), (after - start) & ~(kHuge - 1), MADV_HUGEPAGE);
    // The working arrays of the chart code come from this heap too, so the
    // picture buffers reuse what the choice of the slice freed.
    setenv("VANTIX_LARGE_BLOCKS", "heap", 1);
}

// The chart module lies beside the program's platform library (bin/ of a
// build, lib/vantix/ of an installation). Named by its full path: a bare name
// would be searched along the run path of whoever calls dlopen, which under a
// sanitizer is the sanitizer's library.
std::string ChartModulePath()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&platform::CoCreateInstance), &info) && info.dli_fname) {
        const std::string platformPath = info.dli_fname;
        if (const auto slash = platformPath.rfind('/'); slash != std::string::npos)
            return platformPath.substr(0, slash + 1) + batch::kChartModule;
    }
    return batch::kChartModule;
}

} // namespace

int main(int argc, char** argv)
{
    const auto started = std::chrono::steady_clock::now();
    const auto msSince = [](std::chrono::steady_clock::time_point t) {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
    };
    // VANTIX_RENDER_PLAIN_HEAP=1 keeps the C library's defaults (for comparison).
    const char* plain = std::getenv("VANTIX_RENDER_PLAIN_HEAP");
    if (!plain || !*plain || *plain == '0')
        PrepareHeap();

    batch::BatchOptions options;
    try {
        options = batch::ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const batch::BatchError& e) {
        std::fprintf(stderr, "vantix-render: %s\n", e.what());
        return e.Code();
    }
    if (options.help) {
        std::fputs(batch::UsageText(), stdout);
        return 0;
    }

    // The provider's module is loaded here first: while the chart module is
    // being loaded no other module can be.
    using Provider = IQX_VantixDataProvider::IOptimizationResultsDataProvider;
    ComPtr<Provider> provider;
    batch::LoadOutcome failed;
    try {
        provider = batch::StartProvider();
    } catch (const batch::BatchError& e) {
        failed = {nullptr, e.what(), e.Code()};
    } catch (...) {
        failed = {nullptr, "the data provider component could not be started", 1};
    }
    std::promise<batch::LoadOutcome> loaded;
    std::future<batch::LoadOutcome> outcome = loaded.get_future();
    const std::jthread loader([&] {
        try {
            const auto begun = std::chrono::steady_clock::now();
            batch::LoadOutcome result = std::move(failed);
            if (provider)
                result = batch::LoadOutcomeOf([&] { return batch::LoadResults(provider.Get(), options); });
            result.loadMs = msSince(begun);
            loaded.set_value(std::move(result));
        } catch (...) {
            loaded.set_value({nullptr, "the file could not be loaded", 1});
        }
    });

    void* module = dlopen(ChartModulePath().c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto entry = module ? reinterpret_cast<batch::ChartEntry>(dlsym(module, batch::kChartEntry)) : nullptr;
    if (!entry) {
        std::fprintf(stderr, "vantix-render: the chart module %s could not be loaded: %s\n", batch::kChartModule,
                     dlerror());
        return 1;
    }
    return entry(options, [&outcome] { return outcome.get(); }, msSince(started));
}
