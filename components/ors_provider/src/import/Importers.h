#pragma once
// The importers behind ReadResultsFile, one per source format.
#include "TextTable.h"

#include <optional>

namespace ors::import {

// Which header columns become inputs and functions.
struct TableSplit {
    std::vector<std::size_t> inputColumns;
    std::vector<InputInfo> inputs;
    std::vector<std::size_t> functionColumns;
    std::vector<std::string> functions;
    std::optional<std::size_t> labelColumn; // read as text (Dakota's interface id)
};

// Reads the numeric columns of split from a text table.
OrsContent LoadSplitTable(MappedFile& file, const TextHeader& header, const TableSplit& split,
                          std::string creator, const ImportMessages& msg, ReadProgress& progress,
                          NumericResult* result = nullptr);

// The columns named in options (a column not named in the one list given
// belongs to the other; columns in ignored never do).
TableSplit ExplicitSplit(const TextHeader& header, const ImportOptions& options, const std::string& signal,
                         const std::vector<bool>& ignored, const ImportMessages& msg);

// A pandas index column: unnamed or "Unnamed: <n>".
bool IsIndexColumn(std::string_view name);

OrsContent ReadPlainTable(MappedFile& file, const TextHeader& header, const ImportOptions& options,
                          const ImportMessages& msg, ReadProgress& progress);
OrsContent ReadDakotaTable(MappedFile& file, const TextHeader& header, const ImportOptions& options,
                           const ImportMessages& msg, ReadProgress& progress);

bool IsOptunaCsvHeader(const TextHeader& header);
OrsContent ReadOptunaCsv(const MappedFile& file, const TextHeader& header, const ImportMessages& msg);

// How many of the four tables every Optuna storage has the SQLite file at
// path holds.
std::size_t OptunaTablesPresent(const std::wstring& path);
OrsContent ReadOptunaStorage(const std::wstring& path, const ImportOptions& options, const ImportMessages& msg);

} // namespace ors::import
