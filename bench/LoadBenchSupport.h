#pragma once
// Timing, the read-the-bytes floor and a progress sink shared by the load
// benchmarks.
#include "HugeArray.h"
#include "ors_provider/ILoadProgress.h"
#include "platform/unknown.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
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

inline void print(const char* what, const Timing& t, const Timing& base)
{
    std::printf("%-46s min %8.4f s  median %8.4f s  ratio to (a) %6.2f (median %6.2f)\n", what, t.min, t.median,
                t.min / base.min, t.median / base.median);
}

} // namespace loadbench
