#pragma once
// Delimited text tables with a header line: CSV (RFC 4180 quoting), TSV, and
// blank-separated columns (Dakota). Rows are read either cell by cell
// (RowReader) or straight into numeric columns (LoadNumericColumns), which
// falls back to the cell reader for any row its fast path does not take.
#include "ImportCommon.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ors::import {

// ',' or '\t'; kBlanks: runs of spaces and tabs separate cells.
inline constexpr char kBlanks = ' ';

struct TextHeader {
    std::vector<std::string> names;
    std::uint64_t line = 0;           // line number of the header (1-based)
    const char* dataBegin = nullptr;  // first byte after the header line
    std::uint64_t dataLine = 0;       // line number of that byte
    char delimiter = ',';
    bool dakota = false;              // the header line starts with '%', or freeform
    bool freeform = false;            // no header: the first line holds numbers, named x1, x2, ...
};

// Reads the header: the first line that is not blank, after a UTF-8 byte order
// mark. A line starting with '%' is a Dakota header (blank-separated, '%'
// dropped); otherwise a tab in it makes the table tab-separated, else commas.
// A first line of numbers alone is no header but the first row of a table
// without one (Dakota's freeform tabular data when blank-separated): its
// columns are named x1, x2, ...
TextHeader ReadHeader(const char* begin, const char* end, const ImportMessages& msg);

// Splits rows into cells.
class RowReader {
public:
    RowReader(const char* p, const char* end, std::uint64_t line, char delimiter, const ImportMessages& msg)
        : m_p(p), m_end(end), m_line(line), m_delimiter(delimiter), m_msg(msg)
    {
    }

    // Next row that is not blank; false at the end. cells() views into the
    // file or into the reader's own storage (quoted cells), valid until the
    // next call. Throws for a quote that is never closed.
    bool next();
    const std::vector<std::string_view>& cells() const { return m_cells; }
    // Line on which the current row starts.
    std::uint64_t line() const { return m_rowLine; }
    const char* position() const { return m_p; }
    std::uint64_t nextLine() const { return m_line; }

private:
    const char* m_p;
    const char* m_end;
    std::uint64_t m_line;
    std::uint64_t m_rowLine = 0;
    char m_delimiter;
    const ImportMessages& m_msg;
    std::vector<std::string_view> m_cells;
    std::vector<std::string> m_unquoted;
};

// What a numeric load does with each column.
enum class ColumnUse : std::uint8_t {
    Skip,     // ignored
    Label,    // text; the loader reports whether all rows hold the same
    Number,   // a finite number, stored
    Function, // as Number, but nan, inf or "fail" marks a failed evaluation:
              // the row is left out and counted
};

struct NumericPlan {
    std::vector<ColumnUse> use;       // per header column
    std::vector<int> target;          // Number and Function columns: index into the output columns
};

// A function cell that marks a failed evaluation: nan, an infinity (also one
// too large to represent) or Dakota's "fail", in any case.
bool IsFailedValue(std::string_view cell, int status);

struct NumericResult {
    std::size_t rows = 0;     // rows stored
    std::size_t skipped = 0;  // rows left out as failed evaluations
    std::string firstLabel;  // the Label column's cell in the first row
    bool labelsDiffer = false;
};

// How the data rows are read: a large table in two parts at once, cut after
// a line break near its middle (not when a quoted cell could hold line
// breaks before the cut), and the line breaks of each part.
struct RowPlan {
    const char* split = nullptr; // start of the second part; null: read in one part
    std::size_t firstLines = 0;  // line breaks before split
    std::size_t lines = 0;       // line breaks of all the data
};
// Counts the two parts' line breaks at once.
RowPlan PlanRows(const TextHeader& header, const char* end);

// Reads every data row into out (numberColumns columns of capacity rows each,
// column-major; capacity must be at least the number of rows: rows.lines + 1).
// Throws with the line number on a bad row; a failed evaluation is no bad row. The parse stage of progress,
// counted in bytes.
NumericResult LoadNumericColumns(const TextHeader& header, const char* end, const RowPlan& rows,
                                 const NumericPlan& plan, double* const* out, std::size_t capacity,
                                 const ImportMessages& msg, ReadProgress& progress);

// The message for a cell that is not a finite number (status from ParseNumberCell).
OrsError CellError(const ImportMessages& msg, std::uint64_t line, std::string_view column, std::string_view cell,
                   int status);

// Message for a row with the wrong number of cells.
OrsError FieldCountError(const ImportMessages& msg, std::uint64_t line, std::size_t got, std::size_t expected);

} // namespace ors::import
