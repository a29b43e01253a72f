#include "ImportCommon.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <unordered_set>

namespace ors::import {

OrsError ImportMessages::unreadable(int error) const
{
    return {m_file + L" could not be read: " + FromUtf8(std::strerror(error)) + L"."};
}

std::wstring Quoted(std::string_view text)
{
    constexpr std::size_t kMax = 60;
    if (text.size() <= kMax)
        return L"\"" + FromUtf8(text) + L"\"";
    // Cut on a character boundary.
    std::size_t cut = kMax;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return L"\"" + FromUtf8(text.substr(0, cut)) + L"...\" (" + std::to_wstring(text.size()) + L" characters)";
}

namespace {

std::string isoTime(std::time_t t)
{
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buffer;
}

} // namespace

std::string FileTime(const std::wstring& path)
{
    struct stat st {};
    if (::stat(ToUtf8(path).c_str(), &st) != 0)
        return CurrentTimestamp();
    return isoTime(st.st_mtime);
}

MappedFile::MappedFile(const std::wstring& path, const ImportMessages& msg)
{
    const int fd = ::open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw msg.unreadable(errno);
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        throw msg.unreadable(err);
    }
    m_size = std::size_t(st.st_size);
    m_modified = isoTime(st.st_mtime);
    if (m_size == 0) {
        ::close(fd);
        return;
    }
    // Populated at once: one pass of batched faults instead of one per page
    // during parsing.
    void* p = ::mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    const int err = errno;
    ::close(fd);
    if (p == MAP_FAILED)
        throw msg.unreadable(err);
    ::madvise(p, m_size, MADV_SEQUENTIAL);
    m_data = static_cast<const char*>(p);
}

MappedFile::~MappedFile()
{
    if (m_data)
        ::munmap(const_cast<char*>(m_data), m_size);
}

std::size_t CountNewlines(const char* p, const char* end)
{
    std::size_t n = 0;
#if defined(__SSE2__)
    const __m128i nl = _mm_set1_epi8('\n');
    while (end - p >= 64) {
        const auto load = [&](int k) {
            return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k)), nl);
        };
        const unsigned m0 = unsigned(_mm_movemask_epi8(load(0)));
        const unsigned m1 = unsigned(_mm_movemask_epi8(load(1)));
        const unsigned m2 = unsigned(_mm_movemask_epi8(load(2)));
        const unsigned m3 = unsigned(_mm_movemask_epi8(load(3)));
        n += std::size_t(std::popcount(std::uint64_t(m0) | std::uint64_t(m1) << 16 | std::uint64_t(m2) << 32 |
                                       std::uint64_t(m3) << 48));
        p += 64;
    }
#endif
    for (; p < end; ++p)
        n += *p == '\n';
    return n;
}

void CheckUniqueColumns(const std::vector<std::string>& names, std::uint64_t headerLine, const ImportMessages& msg)
{
    std::unordered_set<std::string_view> seen;
    for (const auto& name : names)
        if (!seen.insert(name).second)
            throw msg.line(headerLine, L"two columns are named " + Quoted(name));
}

namespace {

// The first len values of each column at [c * stride], packed to [c * len].
HugeArray<double> packed(HugeArray<double>&& values, std::size_t columns, std::size_t stride, std::size_t len)
{
    if (stride == len)
        return std::move(values);
    HugeArray<double> out(columns * len);
    for (std::size_t c = 0; c < columns; ++c)
        std::memcpy(out.data() + c * len, values.data() + c * stride, len * sizeof(double));
    return out;
}

} // namespace

void FinishContent(OrsContent& content, ParsedColumns&& columns, const ImportMessages& msg)
{
    OrsHeader& h = content.header;
    const std::size_t rows = columns.rows;
    if (rows > kMaxRecords)
        throw msg.file(L"holds " + std::to_wstring(rows) + L" records, more than the " +
                       std::to_wstring(kMaxRecords) + L" a results file can hold");
    {
        std::unordered_set<std::wstring> seen;
        for (const auto& in : h.inputs) {
            std::wstring full = FromUtf8(in.signal) + L":" + FromUtf8(in.name);
            if (!seen.insert(full).second)
                throw msg.file(L"has two inputs named \"" + full + L"\"");
        }
        seen.clear();
        for (const auto& f : h.functions)
            if (!seen.insert(FromUtf8(f)).second)
                throw msg.file(L"has two functions named \"" + FromUtf8(f) + L"\"");
    }
    const std::size_t nIn = h.inputs.size();
    const std::size_t nFn = h.functions.size();
    h.recordCount = std::uint32_t(rows);
    content.inputValues = packed(std::move(columns.inputs), nIn, columns.capacity, rows);
    content.functionValues = packed(std::move(columns.functions), nFn, columns.capacity, rows);

    for (std::size_t f = 0; f < nFn; ++f) {
        const double* v = content.functionValues.data() + f * rows;
        for (std::size_t r = 0; r < rows; ++r)
            if ((std::bit_cast<std::uint64_t>(v[r]) & 0x7FF0000000000000ull) == 0x7FF0000000000000ull)
                throw msg.file(L"holds a value of function \"" + FromUtf8(h.functions[f]) +
                               L"\" that is not a finite number (record " + std::to_wstring(r) + L")");
    }
    content.valueIndices = HugeArray<std::uint32_t>(nIn * rows);
    content.distinctValues.assign(nIn, {});
    for (std::size_t i = 0; i < nIn; ++i) {
        const std::uint32_t bad = BuildValueIndex(content.inputValues.data() + i * rows, std::uint32_t(rows),
                                                  content.valueIndices.data() + i * rows, content.distinctValues[i]);
        if (bad < rows)
            throw msg.file(L"holds a value of input \"" + FromUtf8(h.inputs[i].name) +
                           L"\" that is not a finite number (record " + std::to_wstring(bad) + L")");
    }
}

} // namespace ors::import
