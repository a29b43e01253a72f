#include "FuzzHarness.h"

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace fuzz {

namespace {

const std::string& Folder()
{
    static const std::string folder = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/vantix-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            Fail("no temporary folder");
        return pattern;
    }();
    return folder;
}

template <class T>
bool SameBits(const T* a, const T* b, std::size_t n)
{
    return n == 0 || std::memcmp(a, b, n * sizeof(T)) == 0;
}

} // namespace

std::wstring InputFile(const std::uint8_t* data, std::size_t size)
{
    const std::string path = Folder() + "/input";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || (size && ::write(fd, data, size) != ssize_t(size)) || ::close(fd) != 0)
        Fail("cannot write the input file");
    return ors::FromUtf8(path);
}

std::wstring SavePath()
{
    return ors::FromUtf8(Folder() + "/saved.ors");
}

void Fail(const std::string& what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

void CheckContent(const ors::OrsContent& c)
{
    const std::size_t n = c.header.recordCount, inputs = c.header.inputs.size();
    if (c.distinctValues.size() != inputs || c.valueIndices.size() != inputs * n ||
        c.functionValues.size() != c.header.functions.size() * n)
        Fail("column sizes do not match the header");
    for (std::size_t i = 0; i < inputs; ++i) {
        const auto& d = c.distinctValues[i];
        for (std::size_t k = 0; k < d.size(); ++k)
            if (!std::isfinite(d[k]) || (std::signbit(d[k]) && d[k] == 0) || (k && !(d[k - 1] < d[k])))
                Fail("distinct values of input " + std::to_string(i) + " not finite and ascending");
        for (std::size_t r = 0; r < n; ++r)
            if (c.valueIndices[i * n + r] >= d.size())
                Fail("value index out of range");
    }
    for (std::size_t k = 0; k < c.functionValues.size(); ++k)
        if (!std::isfinite(c.functionValues[k]))
            Fail("function value not finite");
}

void CheckRoundTrip(const ors::OrsContent& c)
{
    const std::size_t n = c.header.recordCount;
    const ors::HugeArray<double> inputValues = ors::ExpandInputValues(c);
    std::vector<const double*> in, fn;
    for (std::size_t i = 0; i < c.header.inputs.size(); ++i)
        in.push_back(inputValues.data() + i * n);
    for (std::size_t f = 0; f < c.header.functions.size(); ++f)
        fn.push_back(c.functionValues.data() + f * n);
    ors::OrsContent back;
    try {
        ors::WriteOrsFile(SavePath(), c.header, in, fn);
        back = ors::ReadOrsFile(SavePath());
    } catch (const ors::OrsError& e) {
        Fail("what loaded does not save and load again: " + ors::ToUtf8(e.message));
    }
    const auto& a = c.header;
    const auto& b = back.header;
    bool same = a.dataType == b.dataType && a.creator == b.creator && a.created == b.created &&
                a.functions == b.functions && a.recordCount == b.recordCount && a.inputs.size() == b.inputs.size() &&
                c.distinctValues == back.distinctValues &&
                SameBits(c.valueIndices.data(), back.valueIndices.data(), c.valueIndices.size()) &&
                SameBits(c.functionValues.data(), back.functionValues.data(), c.functionValues.size());
    for (std::size_t i = 0; same && i < a.inputs.size(); ++i)
        same = a.inputs[i].signal == b.inputs[i].signal && a.inputs[i].name == b.inputs[i].name;
    if (!same)
        Fail("saved and loaded again, the content differs");
}

} // namespace fuzz
