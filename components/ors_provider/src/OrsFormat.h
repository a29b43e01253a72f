#pragma once
// Reading and writing Optimization Results Files (.ors): an SQLite 3 database
// with the metadata in small tables and every value column in one blob of
// little-endian float64. docs/ors-format.md describes the layout.
#include "platform/hugepages.h"
#include "platform/utf8.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ors {

using platform::HugeArray;
using platform::HugeBlock;

// PRAGMA application_id: "ORSF".
inline constexpr std::int32_t kApplicationId = 0x4F525346;
// PRAGMA user_version: the newest layout this code reads. Version 1 holds
// plain numbers; version 2 adds value labels, "(none)" values, scales and
// directions. Files that use none of them are written as version 1, so that
// older programs still open them.
inline constexpr std::int32_t kFormatVersion = 2;
inline constexpr std::int32_t kPlainFormatVersion = 1;

inline constexpr std::int32_t kLinearScale = 0;
inline constexpr std::int32_t kLogScale = 1;
inline constexpr std::int32_t kMinimize = 0;
inline constexpr std::int32_t kMaximize = 1;

// Text of the value a record lacks; a label of its own, after every other.
inline constexpr const char* kNoneText = "(none)";

struct InputInfo {
    std::string signal; // UTF-8 as stored (may be empty)
    std::string name;
    // A labelled (categorical) input: its values are the codes 0 .. n-1 of
    // these labels, which are in ascending byte order.
    std::vector<std::string> labels{};
    // The value standing for "(none)" in records that lack the input: above
    // every other value (for a labelled input, n).
    std::optional<double> noneValue{};
    std::int32_t scale = kLinearScale;

    bool labelled() const { return !labels.empty(); }
};

struct OrsHeader {
    std::int32_t dataType = 0; // 0, 1: surface; 2: points; other values are kept
    std::string creator;
    std::string created;       // ISO 8601, UTC
    std::vector<InputInfo> inputs;
    std::vector<std::string> functions;
    // Per function, or empty: every function linear / minimised.
    std::vector<std::int32_t> functionScales;
    std::vector<std::int32_t> functionDirections;
    std::uint32_t recordCount = 0;

    std::int32_t functionScale(std::size_t f) const { return f < functionScales.size() ? functionScales[f] : kLinearScale; }
    std::int32_t functionDirection(std::size_t f) const
    {
        return f < functionDirections.size() ? functionDirections[f] : kMinimize;
    }
    // Whether the file needs the layout of version 2.
    bool hasMeaning() const;
};

// A failure, in words for the user.
struct OrsError {
    std::wstring message;
};

// Roles of a table's columns: what a load guessed where the file does not say.
inline constexpr std::int32_t kRoleInput = 0;
inline constexpr std::int32_t kRoleFunction = 1;
inline constexpr std::int32_t kRoleIgnore = 2;
struct RolesGuess {
    std::vector<std::string> columns; // in file order
    std::vector<std::int32_t> roles;
    std::string headerHash;            // hex FNV-1a 64 of the header line
};

// A load that needs an answer it was not given: the study of a storage
// holding several, or the roles of a table's columns. The message says what
// to give (it is also the error of callers that cannot ask).
struct ChoiceNeeded : OrsError {
    struct Study {
        std::string name;
        std::uint64_t trials = 0; // completed
    };
    std::vector<Study> studies; // a study is needed when not empty
    RolesGuess roles;           // else the roles
    bool password = false;      // a database server wants a password (studies and roles empty)
};

// A loaded file. Arrays are column-major: column c, record r at
// [c * recordCount + r]. An input's values are held as their ordinals among
// the input's distinct values: input i of record r is
// distinctValues[i][valueIndices[i * recordCount + r]]. (Results hold few
// distinct values per input, and the doubles would be a second copy.)
struct OrsContent {
    OrsHeader header;
    HugeArray<double> functionValues;
    HugeArray<std::uint32_t> valueIndices;
    // Per input: its distinct values, ascending; -0.0 is held as 0.0.
    std::vector<std::vector<double>> distinctValues;
    // Rows or trials of an imported file left out as failed evaluations.
    // Known only while loaded: an .ors file holds the records alone.
    std::uint64_t skippedRecords = 0;
    // The roles an uncertain table was loaded with when the guess was accepted.
    std::optional<RolesGuess> guessedRoles;
};


class ReadProgress;

// Throws OrsError for any file that cannot be loaded (and std::bad_alloc);
// LoadCancelled when progress reports a cancel.
OrsContent ReadOrsFile(const std::wstring& path);
OrsContent ReadOrsFile(const std::wstring& path, ReadProgress& progress);

// Writes header and columns (recordCount doubles each) to a temporary file in
// the target's folder, syncs it and renames it over path. A symbolic link is
// written through; a target that is not a regular file or has several hard
// links is refused. Throws OrsError; the target is untouched on failure.
// docs/reliability.md lists the guarantees.
void WriteOrsFile(const std::wstring& path, const OrsHeader& header,
                  std::span<const double* const> inputColumns, std::span<const double* const> functionColumns);

// The temporary files of saves by process pid begin with this, followed by
// six letters; a save removes those of processes of this host that have died.
std::string SaveTemporaryPrefix(long pid);
// Saves write an unnamed temporary file where the file system has them (on),
// else a named one; off, always a named one (for tests).
void UseUnnamedSaveTemporaries(bool on);

// The current time as stored in "created".
std::string CurrentTimestamp();

// UTF-8 <-> wide text; names written by other programs in another encoding
// still load.
using platform::FromUtf8;
using platform::ToUtf8;

// A column handed over in pieces of at most kPieceValues: returns the values
// of records [first, first + count), valid until the next call. Pieces are
// asked for in ascending order, possibly more than once.
using ColumnPieces = std::function<const double*(std::uint32_t first, std::uint32_t count)>;
inline constexpr std::uint32_t kPieceValues = 1u << 15;

// Fills indices[r] with the ordinal of column[r] among the distinct values
// (ascending) and distinct with those values; -0.0 and 0.0 are one value.
// Returns n when every value is finite, else the record of the first value
// that is not (indices and distinct are then unspecified).
std::uint32_t BuildValueIndex(const double* column, std::uint32_t n, std::uint32_t* indices,
                              std::vector<double>& distinct);
std::uint32_t BuildValueIndex(const ColumnPieces& column, std::uint32_t n, std::uint32_t* indices,
                              std::vector<double>& distinct);

// The "(none)" value of a numeric input whose other values span [lo, hi]:
// a tenth of the span past its end (1 past a single value), so that it is
// drawn at a tick of its own.
double NoneValueAfter(double lo, double hi);

// Every input's values, column-major, for writing them out.
HugeArray<double> ExpandInputValues(const OrsContent& content);

class ReadProgress;
// The value indices of `inputs` columns of n values each (column c at
// values + c * stride) into indices (column-major, n each) and distinct (one
// list per column); large data on two threads, the columns taken in turns.
// The last stage of a load's progress. Returns per column what
// BuildValueIndex returned.
std::vector<std::uint32_t> BuildValueIndices(const double* values, std::size_t stride, std::uint32_t n,
                                             std::size_t inputs, std::uint32_t* indices,
                                             std::vector<std::vector<double>>& distinct, ReadProgress& progress);

} // namespace ors
