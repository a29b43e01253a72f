#pragma once
// Pieces shared by the importers: message texts, the mapped file, and turning
// parsed columns into loaded content.
#include "Import.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ors::import {

// Where the stages of a table's load end, in percent of its progress: the
// file's bytes read, the rows parsed; the value indices take the rest.
inline constexpr unsigned kReadStageEnd = 15;
inline constexpr unsigned kParseStageEnd = 85;
// While progress is reported, the file is read in pieces of this size.
inline constexpr std::size_t kProgressChunk = std::size_t(1) << 20;

// Largest record count a loaded file can have (a value column is one blob of
// at most 2 GiB when saved).
inline constexpr std::uint64_t kMaxRecords = 268435455;

class ImportMessages {
public:
    explicit ImportMessages(const std::wstring& path) : m_file(L"The file \"" + path + L"\"") {}
    // Messages about a study database named by its URL (without its password).
    static ImportMessages Database(const std::wstring& redactedUrl)
    {
        ImportMessages m(std::wstring{});
        m.m_file = L"The study database \"" + redactedUrl + L"\"";
        return m;
    }

    // "The file "p" <text>."
    OrsError file(const std::wstring& text) const { return {m_file + L" " + text + L"."}; }
    // "The file "p", line n: <detail>."
    OrsError line(std::uint64_t line, const std::wstring& detail) const
    {
        return {m_file + L", line " + std::to_wstring(line) + L": " + detail + L"."};
    }
    OrsError unreadable(int error) const;

private:
    std::wstring m_file;
};

// A name or a cell quoted for a message, cut short when it is long.
std::wstring Quoted(std::string_view text);

// The file's bytes, read into memory; lone carriage returns become line feeds
// where the first line ends in one.
class MappedFile {
public:
    MappedFile(const std::wstring& path, const ImportMessages& msg);
    // Reading is the first stage of progress; read in pieces while it is reported.
    MappedFile(const std::wstring& path, const ImportMessages& msg, ReadProgress& progress);
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    const char* begin() const { return m_data; }
    const char* end() const { return m_data + m_size; }
    std::size_t size() const { return m_size; }
    // Modification time, ISO 8601 UTC.
    const std::string& modified() const { return m_modified; }
    // Gives the text's memory back; the file then reads as empty.
    void Release() noexcept;

private:
    void read(const std::wstring& path, const ImportMessages& msg, ReadProgress& progress);

    HugeBlock m_buffer;
    const char* m_data = nullptr;
    std::size_t m_size = 0;
    std::string m_modified;
};

// Modification time of a file, ISO 8601 UTC; the current time when unknown.
std::string FileTime(const std::wstring& path);

// Columns as parsed: column-major, stride = capacity rows; rows of them used.
struct ParsedColumns {
    HugeArray<double> inputs;
    HugeArray<double> functions;
    std::size_t capacity = 0;
    std::size_t rows = 0;
};

// Moves the parsed values into content (the header must be filled in but for
// the data type), computes the value indices and decides the data type from
// them. Throws when a value is not finite. The last stage of progress.
void FinishContent(OrsContent& content, ParsedColumns&& columns, const ImportMessages& msg);
void FinishContent(OrsContent& content, ParsedColumns&& columns, const ImportMessages& msg, ReadProgress& progress);

// The data type of loaded content, from its value indices: 0 (a surface) when
// inputs 0 and 1, the default X and Y, each take at least two values and at
// least half of the cells of their grid hold a record; else 2 (points). Random
// and space-filling designs have about as many values per input as records,
// and a star or a line of values fills no square of its grid: a surface over
// them would be empty.
std::int32_t DecideDataType(const OrsContent& content);

// Number of '\n' bytes in [p, end).
std::size_t CountNewlines(const char* p, const char* end);

// One cell of an input read before its kind is known (Optuna's parameters).
struct InputCell {
    enum class Kind : std::uint8_t { Number, NotFinite, Text, Missing };
    Kind kind = Kind::Missing;
    double number = 0;
    std::string text; // as written; a Number's text counts when the input is labelled
};

// The values of an input from its cells. A text among them makes the input
// labelled: every present cell becomes the code of its text among the sorted
// texts, so any source of the same choices gives the same codes. Otherwise
// the numbers stay. Missing cells take the "(none)" value. Fills in.labels
// and in.noneValue; returns the first cell that is not a finite number of a
// numeric input, or cells.size().
std::size_t CodeInputCells(const std::vector<InputCell>& cells, InputInfo& in, double* values);

// Every name unique; else the error names the first repeated one.
void CheckUniqueColumns(const std::vector<std::string>& names, std::uint64_t headerLine, const ImportMessages& msg);

} // namespace ors::import
