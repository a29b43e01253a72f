#pragma once
// The importers behind ReadResultsFile, one per source format.
#include "TextTable.h"

#include <memory>
#include <optional>

namespace ors {
class SqlConnection;
}

namespace ors::import {

// Which header columns become inputs and functions.
struct TableSplit {
    std::vector<std::size_t> inputColumns;
    std::vector<InputInfo> inputs;
    std::vector<std::size_t> functionColumns;
    std::vector<std::string> functions;
    std::optional<std::size_t> labelColumn; // read as text (Dakota's interface id)
    // Input columns holding text in the first row are labelled (Dakota's
    // string variables); else every input cell must be a number.
    bool textInputs = false;
};

// Reads the numeric columns of split from a text table.
OrsContent LoadSplitTable(MappedFile& file, const TextHeader& header, const TableSplit& split,
                          std::string creator, const ImportMessages& msg, ReadProgress& progress,
                          NumericResult* result = nullptr);

// The columns named in options (a column not named in the one list given
// belongs to the other; columns in ignored never do).
TableSplit ExplicitSplit(const TextHeader& header, const ImportOptions& options, const std::string& signal,
                         const std::vector<bool>& ignored, const ImportMessages& msg);

// Function name of an Optuna trials table's value column ("value",
// "values_<n>", "value_<metric>"), or empty when the column holds none.
std::string OptunaFunctionName(std::string_view column);
// One of Dakota's default response descriptors (obj_fn, response_fn_<n>, ...).
bool IsDakotaResponseName(std::string_view name);

// The split of a table whose file does not settle it: the caller's columns
// when options name them; else the best guess, taken when options accept it
// (and told in taken), otherwise thrown as ChoiceNeeded with question as its
// text. Columns in ignored are never data. noGuess is thrown when no guess
// gives an input and a function.
TableSplit UncertainSplit(const TextHeader& header, const char* end, const ImportOptions& options,
                          const std::string& signal, const std::vector<bool>& ignored, const std::wstring& question,
                          const OrsError& noGuess, const ImportMessages& msg, std::optional<RolesGuess>& taken);

// Sets the log scale of the inputs and functions of these names; throws for
// a name the content lacks and for values a log axis cannot show.
void ApplyLogScales(OrsContent& content, const std::vector<std::string>& names, const ImportMessages& msg);

// Hex FNV-1a 64 of the column names, one per line: identifies a layout.
std::string HeaderHash(const std::vector<std::string>& names);

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
// An Optuna study read through any connection (a database server, an SQLite
// file), keeping what it read so that a refresh reads only what may have
// changed: Optuna inserts a trial RUNNING and workers finish out of order, so
// each refresh reads again from the lowest trial id unfinished at the last
// one (or missing below a higher one: an insert not yet committed). created:
// the time the data were read, ISO 8601 UTC. Throws as ReadResultsFile.
// Input `input` held at value indices first .. last.
struct HeldRange {
    std::uint32_t input = 0;
    std::uint64_t first = 0, last = 0;
};

class OptunaStudyReader {
public:
    OptunaStudyReader(ImportOptions options, ImportMessages msg);
    ~OptunaStudyReader();
    OptunaStudyReader(const OptunaStudyReader&) = delete;
    OptunaStudyReader& operator=(const OptunaStudyReader&) = delete;

    // The first read: checks the tables, picks the study, reads every trial.
    OrsContent Read(SqlConnection& db, const std::string& created);
    // Every completed trial again when one finished (or failed) since the
    // last read; nothing otherwise. A failed refresh changes nothing.
    std::optional<OrsContent> Refresh(SqlConnection& db, const std::string& created);
    // Trials of the study seen, in any state.
    std::uint64_t TrialCount() const;

    // A study above the options' memory budget: Read gave its inputs and
    // their distinct values without records, and the questions below go to
    // the server; Refresh finds nothing new.
    bool ServerSide() const;
    std::uint64_t CompletedCount() const;
    std::vector<std::uint64_t> Reachable(SqlConnection& db, std::uint32_t input, const std::vector<HeldRange>& held) const;
    std::uint64_t Count(SqlConnection& db, const std::vector<HeldRange>& held) const;
    std::optional<std::vector<std::uint64_t>> Match(SqlConnection& db, const std::vector<HeldRange>& held) const;
    // A reader of only the trials of server-side `whole` whose held inputs
    // are at held values; its Read and Refresh read those alone.
    static std::unique_ptr<OptunaStudyReader> Slice(const OptunaStudyReader& whole, const std::vector<HeldRange>& held);

private:
    struct State;
    std::unique_ptr<State> m;
};

} // namespace ors::import
