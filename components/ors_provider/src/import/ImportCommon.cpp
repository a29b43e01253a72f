#include "ImportCommon.h"

#include "ReadProgress.h"

#include <algorithm>

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
#include <limits>
#include <map>
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
    ReadProgress none;
    read(path, msg, none);
}

MappedFile::MappedFile(const std::wstring& path, const ImportMessages& msg, ReadProgress& progress)
{
    read(path, msg, progress);
}

namespace {
// Below this a second reading thread costs more than it saves.
constexpr std::size_t kSplitReadBytes = std::size_t(16) << 20;
} // namespace

void MappedFile::Release() noexcept
{
    m_buffer = HugeBlock();
    m_data = nullptr;
    m_size = 0;
}

void MappedFile::read(const std::wstring& path, const ImportMessages& msg, ReadProgress& progress)
{
    const int fd = ::open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw msg.unreadable(errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (fstat(fd, &st) != 0)
        throw msg.unreadable(errno);
    m_modified = isoTime(st.st_mtime);
    // Read into huge pages: mapping the file instead costs a page fault per
    // few pages on first touch, more than the copy. Most of a read's time is
    // the kernel clearing the fresh pages, so a large file is read in two
    // halves at once.
    const auto size = std::size_t(st.st_size);
    m_buffer = HugeBlock(size);
    auto* out = static_cast<char*>(m_buffer.data());
    progress.BeginStage(kReadStageEnd, size);
    const std::size_t chunk = progress.Active() ? kProgressChunk : size;
    // Bytes of [begin, end) read; fewer when the file was shortened meanwhile.
    // What is not a regular file is read from where it stands.
    const bool seekable = S_ISREG(st.st_mode);
    const auto readRange = [&](std::size_t begin, std::size_t end) {
        std::size_t at = begin;
        while (at < end) {
            const std::size_t want = std::min(chunk, end - at);
            const ssize_t n = seekable ? ::pread(fd, out + at, want, off_t(at)) : ::read(fd, out + at, want);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                throw msg.unreadable(errno);
            if (n == 0)
                break;
            at += std::size_t(n);
            progress.Advance(std::size_t(n));
        }
        return at - begin;
    };
    if (seekable && size >= kSplitReadBytes) {
        const std::size_t half = size / 2;
        std::size_t second = 0;
        std::size_t first = 0;
        ParallelLoad(progress, 2, [&](int part, int) {
            if (part == 0)
                first = readRange(0, half);
            else
                second = readRange(half, size);
        });
        m_size = first < half ? first : half + second;
    } else {
        m_size = readRange(0, size);
    }
    m_data = out;
    // Text whose first line break is a carriage return alone has the line
    // ends of classic Mac OS: the readers take them as line feeds.
    const char* firstBreak = std::find_if(out, out + m_size, [](char c) { return c == '\n' || c == '\r'; });
    if (firstBreak + 1 < out + m_size && *firstBreak == '\r' && firstBreak[1] != '\n')
        for (char* p = out; p < out + m_size; ++p)
            if (*p == '\r' && (p + 1 == out + m_size || p[1] != '\n'))
                *p = '\n';
}

std::size_t CountNewlines(const char* p, const char* end)
{
    std::size_t n = 0;
#if defined(__SSE2__)
    // Byte counters of matches, summed every 255 blocks before they wrap.
    const __m128i nl = _mm_set1_epi8('\n');
    const __m128i zero = _mm_setzero_si128();
    while (end - p >= 16) {
        const std::size_t blocks = std::min<std::size_t>(std::size_t(end - p) / 16, 255);
        __m128i counts = zero;
        for (std::size_t k = 0; k < blocks; ++k, p += 16)
            counts = _mm_sub_epi8(counts, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), nl));
        const __m128i sums = _mm_sad_epu8(counts, zero);
        n += std::size_t(_mm_cvtsi128_si64(sums)) + std::size_t(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
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

std::size_t CodeInputCells(const std::vector<InputCell>& cells, InputInfo& in, double* values)
{
    using Kind = InputCell::Kind;
    const std::size_t n = cells.size();
    const bool labelled = std::any_of(cells.begin(), cells.end(), [](const InputCell& c) { return c.kind == Kind::Text; });
    bool missing = false;
    if (labelled) {
        std::map<std::string_view, double> codes;
        for (const InputCell& c : cells)
            if (c.kind != Kind::Missing)
                codes.emplace(c.text, 0.0);
        in.labels.clear();
        for (auto& [text, code] : codes) {
            code = double(in.labels.size());
            in.labels.emplace_back(text);
        }
        for (std::size_t r = 0; r < n; ++r) {
            missing |= cells[r].kind == Kind::Missing;
            values[r] = cells[r].kind == Kind::Missing ? double(codes.size()) : codes.find(cells[r].text)->second;
        }
        if (missing)
            in.noneValue = double(in.labels.size());
        return n;
    }
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (std::size_t r = 0; r < n; ++r) {
        if (cells[r].kind == Kind::NotFinite)
            return r;
        if (cells[r].kind == Kind::Missing) {
            missing = true;
            continue;
        }
        values[r] = cells[r].number == 0 ? 0.0 : cells[r].number;
        lo = std::min(lo, values[r]);
        hi = std::max(hi, values[r]);
    }
    if (missing) {
        const double none = lo <= hi ? NoneValueAfter(lo, hi) : 0.0;
        in.noneValue = none;
        for (std::size_t r = 0; r < n; ++r)
            if (cells[r].kind == Kind::Missing)
                values[r] = none;
    }
    return n;
}

namespace {

// The first len values of each column at [c * stride], moved to [c * len] in
// place: a copy would cost as much fresh memory again.
HugeArray<double> packed(HugeArray<double>&& values, std::size_t columns, std::size_t stride, std::size_t len)
{
    for (std::size_t c = 1; c < columns && stride != len; ++c)
        std::memmove(values.data() + c * len, values.data() + c * stride, len * sizeof(double));
    values.truncate(columns * len);
    return std::move(values);
}

} // namespace

void FinishContent(OrsContent& content, ParsedColumns&& columns, const ImportMessages& msg)
{
    ReadProgress none;
    FinishContent(content, std::move(columns), msg, none);
}

void FinishContent(OrsContent& content, ParsedColumns&& columns, const ImportMessages& msg, ReadProgress& progress)
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
    // Held only until the value indices are built; input c at [c * capacity].
    const HugeArray<double> inputValues = std::move(columns.inputs);
    content.functionValues = packed(std::move(columns.functions), nFn, columns.capacity, rows);

    for (std::size_t f = 0; f < nFn; ++f) {
        const double* v = content.functionValues.data() + f * rows;
        for (std::size_t r = 0; r < rows; ++r)
            if ((std::bit_cast<std::uint64_t>(v[r]) & 0x7FF0000000000000ull) == 0x7FF0000000000000ull)
                throw msg.file(L"holds a value of function \"" + FromUtf8(h.functions[f]) +
                               L"\" that is not a finite number (record " + std::to_wstring(r) + L")");
    }
    content.valueIndices = HugeArray<std::uint32_t>(nIn * rows);
    const std::vector<std::uint32_t> bad = BuildValueIndices(inputValues.data(), columns.capacity, std::uint32_t(rows), nIn,
                                                             content.valueIndices.data(), content.distinctValues,
                                                             progress);
    for (std::size_t i = 0; i < nIn; ++i)
        if (bad[i] < rows)
            throw msg.file(L"holds a value of input \"" + FromUtf8(h.inputs[i].name) +
                           L"\" that is not a finite number (record " + std::to_wstring(bad[i]) + L")");
    h.dataType = DecideDataType(content);
}

std::int32_t DecideDataType(const OrsContent& content)
{
    constexpr std::int32_t kSurface = 0, kPoints = 2;
    if (content.distinctValues.size() < 2)
        return kPoints;
    const std::uint64_t rows = content.header.recordCount;
    const std::uint64_t n0 = content.distinctValues[0].size(), n1 = content.distinctValues[1].size();
    const std::uint64_t cells = n0 * n1;
    // A record fills one cell at most: a scattered design ends here.
    if (n0 < 2 || n1 < 2 || cells > 2 * rows)
        return kPoints;
    std::vector<std::uint64_t> filled((cells + 63) / 64, 0);
    const std::uint32_t* i0 = content.valueIndices.data();
    const std::uint32_t* i1 = i0 + rows;
    for (std::uint64_t r = 0; r < rows; ++r) {
        const std::uint64_t cell = i0[r] * n1 + i1[r];
        filled[cell >> 6] |= std::uint64_t(1) << (cell & 63);
    }
    std::uint64_t count = 0;
    for (const std::uint64_t word : filled)
        count += unsigned(std::popcount(word));
    return 2 * count >= cells ? kSurface : kPoints;
}

} // namespace ors::import
