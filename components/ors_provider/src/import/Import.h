#pragma once
// Results of other optimizers: Optuna storage and trial tables, Dakota tabular
// data and CSV/TSV tables with marked columns. Each is recognised by its
// content and turned into the same in-memory form as an .ors file.
// docs/importing.md describes what is read from each.
#include "OrsFormat.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ors {

enum class SourceFormat {
    Ors,           // an Optimization Results File, or anything that is none of the below
    OptunaStorage, // Optuna's SQLite storage
    OptunaCsv,     // trials_dataframe() written as CSV
    Dakota,        // Dakota tabular data (annotated, custom_annotated with header)
    Table,         // any other delimited text table with a header
    StudyDatabase, // a database URL: Optuna's tables on a server or in an SQLite file
};

struct ImportOptions {
    // Plain tables: take these header columns as the inputs / functions. When
    // only one list is given, every other column belongs to the other one
    // (unless unnamedIgnored).
    std::vector<std::string> inputColumns;
    std::vector<std::string> functionColumns;
    bool unnamedIgnored = false;
    // Signal of inputs whose table names none ("csv" for plain tables).
    std::string signal;
    // Optuna storage: the study to read; empty: the only one with completed
    // trials, or ChoiceNeeded when there are several.
    std::string study;
    // A table whose split into inputs and functions is uncertain: false
    // throws ChoiceNeeded with the best guess, true loads the guess (and
    // tells it in OrsContent::guessedRoles).
    bool acceptGuess = false;
    // Log scale for these inputs or functions (by name).
    std::vector<std::string> logColumns;
    // A database URL's password when the URL and the client library's own
    // sources (environment, password files) hold none; never stored.
    std::optional<std::string> password;
    // A study whose estimated memory is above this many bytes stays on its
    // server (OptunaStudyReader::ServerSide); 0: no limit.
    std::uint64_t memoryBudget = 0;

    bool explicitColumns() const { return !inputColumns.empty() || !functionColumns.empty(); }
};

// What ReadResultsFile would read the file as; Ors for files it cannot open.
// A database URL (postgresql://, mysql://, sqlite:///) is a StudyDatabase.
SourceFormat DetectResultsFormat(const std::wstring& path);

// Reads a results file of any supported format. Throws OrsError with a text
// for the user (ChoiceNeeded when it needs an answer; and std::bad_alloc).
OrsContent ReadResultsFile(const std::wstring& path, const ImportOptions& options = {});
// The same, reporting to progress (and throwing LoadCancelled when it cancels).
OrsContent ReadResultsFile(const std::wstring& path, const ImportOptions& options, ReadProgress& progress);

class StudyLink;
// The same; for an optimizer's study (a database URL or a study storage
// file) *link is set to the way back to it, for reading it again.
OrsContent ReadResultsFile(const std::wstring& path, const ImportOptions& options, ReadProgress& progress,
                           std::shared_ptr<StudyLink>* link);

} // namespace ors
