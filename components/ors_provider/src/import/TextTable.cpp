#include "TextTable.h"

#include "platform/parallel.h"

#include "NumberParse.h"
#include "ReadProgress.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>

namespace ors::import {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

} // namespace

OrsError CellError(const ImportMessages& msg, std::uint64_t line, std::string_view column, std::string_view cell,
                   int status)
{
    const std::wstring where = L"column " + Quoted(column);
    switch (NumberStatus(status)) {
    case NumberStatus::Empty:
        return msg.line(line, where + L" is empty");
    case NumberStatus::NotFinite:
        return msg.line(line, where + L" holds " + Quoted(trimmed(cell)) + L", which is not a finite number");
    default:
        return msg.line(line, where + L" holds " + Quoted(trimmed(cell)) + L", which is not a number");
    }
}

bool IsFailedValue(std::string_view cell, int status)
{
    if (NumberStatus(status) == NumberStatus::NotFinite)
        return true;
    const std::string_view text = trimmed(cell);
    constexpr std::string_view kFail = "fail";
    return text.size() == kFail.size() &&
           std::equal(text.begin(), text.end(), kFail.begin(), [](char a, char b) { return (a | 0x20) == b; });
}

OrsError FieldCountError(const ImportMessages& msg, std::uint64_t line, std::size_t got, std::size_t expected)
{
    return msg.line(line, std::to_wstring(got) + (got == 1 ? L" cell" : L" cells") + L" where the header has " +
                              std::to_wstring(expected) + L" columns");
}

bool RowReader::next()
{
    // A cell is a range of the file (index < 0) or an unquoted copy.
    struct Cell {
        const char* b;
        std::size_t n;
        int copy;
    };
    std::vector<Cell> cells;
    for (;;) {
        if (m_p >= m_end)
            return false;
        m_rowLine = m_line;
        cells.clear();
        m_unquoted.clear();
        const char* p = m_p;
        bool blank = true;
        if (m_delimiter == kBlanks) {
            for (;;) {
                while (p < m_end && (isBlank(*p) || (*p == '\r' && p + 1 < m_end && p[1] != '\n')))
                    ++p;
                if (p >= m_end || *p == '\n' || (*p == '\r' && p + 1 < m_end && p[1] == '\n') ||
                    (*p == '\r' && p + 1 == m_end))
                    break;
                const char* b = p;
                while (p < m_end && !isBlank(*p) && *p != '\n' && !(*p == '\r' && (p + 1 == m_end || p[1] == '\n')))
                    ++p;
                cells.push_back({b, std::size_t(p - b), -1});
                blank = false;
            }
        } else {
            for (;;) {
                const char* b = p;
                if (p < m_end && *p == '"') {
                    // Quoted: "" is a quote; delimiters and line breaks are text.
                    std::string text;
                    const std::uint64_t quoteLine = m_line;
                    ++p;
                    for (;;) {
                        const char* q = p;
                        while (q < m_end && *q != '"') {
                            m_line += *q == '\n';
                            ++q;
                        }
                        text.append(p, q);
                        if (q >= m_end)
                            throw m_msg.line(quoteLine, L"unclosed quote: the quoted cell of column " +
                                                            std::to_wstring(cells.size() + 1) +
                                                            L" runs to the end of the file");
                        if (q + 1 < m_end && q[1] == '"') {
                            text.push_back('"');
                            p = q + 2;
                            continue;
                        }
                        p = q + 1;
                        break;
                    }
                    // Text after the closing quote belongs to the cell.
                    const char* q = p;
                    while (q < m_end && *q != m_delimiter && *q != '\n' && !(*q == '\r' && (q + 1 == m_end || q[1] == '\n')))
                        ++q;
                    text.append(p, q);
                    p = q;
                    cells.push_back({nullptr, 0, int(m_unquoted.size())});
                    m_unquoted.push_back(std::move(text));
                    blank = false;
                } else {
                    while (p < m_end && *p != m_delimiter && *p != '\n' && !(*p == '\r' && (p + 1 == m_end || p[1] == '\n')))
                        ++p;
                    cells.push_back({b, std::size_t(p - b), -1});
                    if (!trimmed(std::string_view(b, std::size_t(p - b))).empty())
                        blank = false;
                }
                if (p < m_end && *p == m_delimiter) {
                    blank = false;
                    ++p;
                    continue;
                }
                break;
            }
        }
        // Line end.
        if (p < m_end && *p == '\r')
            ++p;
        if (p < m_end && *p == '\n') {
            ++p;
            ++m_line;
        }
        m_p = p;
        if (blank)
            continue;
        m_cells.clear();
        for (const Cell& c : cells)
            m_cells.push_back(c.copy < 0 ? std::string_view(c.b, c.n) : std::string_view(m_unquoted[std::size_t(c.copy)]));
        return true;
    }
}

TextHeader ReadHeader(const char* begin, const char* end, const ImportMessages& msg)
{
    TextHeader h;
    const char* p = begin;
    if (end - p >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0)
        p += 3;
    std::uint64_t line = 1;
    // Skip blank lines. The header's own leading blanks stay: a leading tab
    // is the unnamed index column pandas writes.
    const char* first = nullptr;
    for (;;) {
        const char* q = p;
        while (q < end && (isBlank(*q) || *q == '\r'))
            ++q;
        if (q < end && *q == '\n') {
            p = q + 1;
            ++line;
            continue;
        }
        if (q >= end)
            throw msg.file(L"holds no table: it has no header line");
        first = q;
        break;
    }
    const char* eol = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)));
    if (!eol)
        eol = end;
    if (*first == '%') {
        h.dakota = true;
        h.delimiter = kBlanks;
        p = first + 1;
    } else {
        h.delimiter = std::memchr(p, '\t', std::size_t(eol - p)) ? '\t' : ',';
    }
    const auto allNumbers = [](const std::vector<std::string_view>& cells) {
        double v = 0;
        return cells.size() >= 2 && std::all_of(cells.begin(), cells.end(), [&](std::string_view c) {
                   return ParseNumberCell(c, v) == NumberStatus::Ok;
               });
    };
    if (!h.dakota && !std::memchr(p, ',', std::size_t(eol - p)) && h.delimiter != '\t') {
        RowReader blanks(p, end, line, kBlanks, msg);
        if (blanks.next() && allNumbers(blanks.cells())) {
            h.dakota = true;
            h.delimiter = kBlanks;
        }
    }
    RowReader reader(p, end, line, h.delimiter, msg);
    if (!reader.next())
        throw msg.file(L"holds no table: it has no header line");
    h.line = reader.line();
    if (allNumbers(reader.cells())) {
        h.freeform = true;
        for (std::size_t c = 0; c < reader.cells().size(); ++c)
            h.names.push_back("x" + std::to_string(c + 1));
        h.dataBegin = p;
        h.dataLine = line;
        return h;
    }
    for (const auto cell : reader.cells())
        h.names.emplace_back(trimmed(cell));
    h.dataBegin = reader.position();
    h.dataLine = reader.nextLine();
    return h;
}

namespace {

// Rows of [begin, end), the first on line `line`, into out[..][rowOffset ..
// rowOffset + capacity).
template <bool Blanks>
NumericResult loadRows(const TextHeader& header, const char* begin, const char* end, std::uint64_t firstLine,
                       const NumericPlan& plan, double* const* out, std::size_t rowOffset, std::size_t capacity,
                       const ImportMessages& msg, ReadProgress& progress)
{
    const std::size_t n = plan.use.size();
    const char d = header.delimiter;
    const ColumnUse* use = plan.use.data();
    std::vector<double*> dst(n, nullptr);
    for (std::size_t c = 0; c < n; ++c)
        if (use[c] >= ColumnUse::Number)
            dst[c] = out[plan.target[c]] + rowOffset;

    NumericResult result;
    bool haveLabel = false;
    const auto label = [&](std::string_view text) {
        if (!haveLabel) {
            result.firstLabel.assign(text);
            haveLabel = true;
        } else if (!result.labelsDiffer && text != result.firstLabel) {
            result.labelsDiffer = true;
        }
    };
    const auto endsCell = [&](char c) {
        if constexpr (Blanks)
            return c == ' ' || c == '\t' || c == '\n' || c == '\r';
        else
            return c == d || c == '\n' || c == '\r' || c == '"';
    };

    const char* p = begin;
    std::uint64_t line = firstLine;
    std::size_t row = 0;
    // Bytes parsed are passed to progress every so many rows.
    constexpr std::size_t kProgressRows = 4096;
    const char* counted = begin;
    while (p < end) {
        if (row % kProgressRows == 0 && row) {
            progress.Advance(std::size_t(p - counted));
            counted = p;
        }
        if (row >= capacity)
            throw msg.file(L"could not be read: it has more rows than lines");
        const char* rowStart = p;
        bool ok = true;
        if constexpr (Blanks)
            while (p < end && (*p == ' ' || *p == '\t'))
                ++p;
        if (p < end && (*p == '\n' || *p == '\r'))
            ok = false; // blank line: the cell reader skips it
        for (std::size_t c = 0; ok && c < n; ++c) {
            if (c) {
                if constexpr (Blanks) {
                    if (p == end || (*p != ' ' && *p != '\t')) {
                        ok = false;
                        break;
                    }
                    do
                        ++p;
                    while (p < end && (*p == ' ' || *p == '\t'));
                } else {
                    if (p == end || *p != d) {
                        ok = false;
                        break;
                    }
                    ++p;
                }
            }
            if (use[c] >= ColumnUse::Number) {
                double v;
                const char* q = ParseDecimalFast(p, end, v);
                if (!q) {
                    ok = false;
                    break;
                }
                dst[c][row] = v;
                p = q;
            } else {
                const char* q = p;
                while (q < end && !endsCell(*q))
                    ++q;
                if (!Blanks && q < end && *q == '"') {
                    ok = false;
                    break;
                }
                if (use[c] == ColumnUse::Label)
                    label(std::string_view(p, std::size_t(q - p)));
                p = q;
            }
        }
        if (ok) {
            if constexpr (Blanks)
                while (p < end && (*p == ' ' || *p == '\t'))
                    ++p;
            if (p == end) {
            } else if (*p == '\n') {
                ++p;
            } else if (*p == '\r' && p + 1 < end && p[1] == '\n') {
                p += 2;
            } else if (*p == '\r' && p + 1 == end) {
                ++p;
            } else {
                ok = false;
            }
        }
        if (ok) {
            ++line;
            ++row;
            continue;
        }
        // Anything unusual: quotes, blanks around numbers, blank lines, long
        // numbers, failed evaluations, or a bad row that needs its message.
        RowReader reader(rowStart, end, line, d, msg);
        if (!reader.next()) {
            p = end;
            break;
        }
        const auto& cells = reader.cells();
        if (cells.size() != n)
            throw FieldCountError(msg, reader.line(), cells.size(), n);
        // A failed evaluation leaves the row out, but only once every other
        // cell is known good: a bad input still refuses the file.
        bool failed = false;
        for (std::size_t c = 0; c < n; ++c) {
            if (use[c] >= ColumnUse::Number) {
                double v = 0;
                const NumberStatus status = ParseNumberCell(cells[c], v);
                if (status != NumberStatus::Ok) {
                    if (use[c] == ColumnUse::Function && IsFailedValue(cells[c], int(status)))
                        failed = true;
                    else
                        throw CellError(msg, reader.line(), header.names[c], cells[c], int(status));
                }
                dst[c][row] = v;
            }
        }
        p = reader.position();
        line = reader.nextLine();
        if (failed) {
            ++result.skipped;
            continue;
        }
        for (std::size_t c = 0; c < n; ++c)
            if (use[c] == ColumnUse::Label)
                label(trimmed(cells[c]));
        ++row;
    }
    progress.Advance(std::size_t(p - counted));
    result.rows = row;
    return result;
}

NumericResult loadRegion(const TextHeader& header, const char* begin, const char* end, std::uint64_t line,
                         const NumericPlan& plan, double* const* out, std::size_t rowOffset, std::size_t capacity,
                         const ImportMessages& msg, ReadProgress& progress)
{
    if (header.delimiter == kBlanks)
        return loadRows<true>(header, begin, end, line, plan, out, rowOffset, capacity, msg, progress);
    return loadRows<false>(header, begin, end, line, plan, out, rowOffset, capacity, msg, progress);
}

// Below this the second thread costs more than it saves.
constexpr std::size_t kSplitBytes = std::size_t(8) << 20;

} // namespace

RowPlan PlanRows(const TextHeader& header, const char* end)
{
    const char* begin = header.dataBegin;
    RowPlan rows;
    const char* cut = nullptr;
    if (std::size_t(end - begin) >= kSplitBytes) {
        const char* mid = begin + (end - begin) / 2;
        const char* nl = static_cast<const char*>(std::memchr(mid, '\n', std::size_t(end - mid)));
        if (nl && nl + 1 < end)
            cut = nl + 1;
    }
    if (!cut) {
        rows.lines = CountNewlines(begin, end);
        return rows;
    }
    // The line breaks of both parts count whether or not the table is cut.
    std::size_t second = 0;
    bool quoted = false;
    platform::ParallelFor(2, [&](int part, int) {
        if (part == 1) {
            second = CountNewlines(cut, end);
            return;
        }
        quoted = header.delimiter != kBlanks && std::memchr(begin, '"', std::size_t(cut - begin));
        rows.firstLines = CountNewlines(begin, cut);
    });
    rows.lines = rows.firstLines + second;
    if (quoted)
        rows.firstLines = 0;
    else
        rows.split = cut;
    return rows;
}

NumericResult LoadNumericColumns(const TextHeader& header, const char* end, const RowPlan& rows,
                                 const NumericPlan& plan, double* const* out, std::size_t capacity,
                                 const ImportMessages& msg, ReadProgress& progress)
{
    const char* begin = header.dataBegin;
    progress.BeginStage(kParseStageEnd, std::size_t(end - begin));
    // The first part holds at most one row per line break.
    const char* split = rows.split;
    const std::size_t firstLines = rows.firstLines;
    if (!split || firstLines >= capacity)
        return loadRegion(header, begin, end, header.dataLine, plan, out, 0, capacity, msg, progress);
    NumericResult first, second;
    // The error of the earlier line wins (the lower part); a cancel is noticed by both halves.
    ParallelLoad(progress, 2, [&](int part, int) {
        if (part == 0)
            first = loadRegion(header, begin, split, header.dataLine, plan, out, 0, firstLines, msg, progress);
        else
            second = loadRegion(header, split, end, header.dataLine + firstLines, plan, out, firstLines,
                                capacity - firstLines, msg, progress);
    });

    // Blank lines in the first half leave a gap before the second half's rows.
    if (first.rows < firstLines) {
        std::size_t columns = 0;
        for (const int t : plan.target)
            columns = std::max(columns, std::size_t(t + 1));
        for (std::size_t c = 0; c < columns; ++c)
            std::memmove(out[c] + first.rows, out[c] + firstLines, second.rows * sizeof(double));
    }
    NumericResult result;
    result.rows = first.rows + second.rows;
    result.skipped = first.skipped + second.skipped;
    if (first.rows) {
        result.firstLabel = std::move(first.firstLabel);
        result.labelsDiffer = first.labelsDiffer || second.labelsDiffer ||
                              (second.rows && second.firstLabel != result.firstLabel);
    } else {
        result.firstLabel = std::move(second.firstLabel);
        result.labelsDiffer = second.labelsDiffer;
    }
    return result;
}

} // namespace ors::import
