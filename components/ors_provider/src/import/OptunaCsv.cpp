// Optuna's trials table as pandas writes it (trials_dataframe().to_csv()):
// params_<name> are the inputs, value / value_<metric> / values_<n or metric>
// the functions; rows whose state is not COMPLETE are left out, and so are
// rows with a failed value (nan, inf): both count as failed trials when the
// state says FAIL or a value does.
#include "Importers.h"

#include "NumberParse.h"

#include <algorithm>

namespace ors::import {

namespace {

constexpr std::string_view kParams = "params_";

bool startsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

} // namespace

std::string OptunaFunctionName(std::string_view column)
{
    if (column == "value")
        return "value";
    for (const std::string_view prefix : {"values_", "value_"}) {
        if (startsWith(column, prefix) && column.size() > prefix.size()) {
            const std::string_view rest = column.substr(prefix.size());
            if (std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return "value " + std::string(rest);
            return std::string(rest);
        }
    }
    return {};
}

namespace {

const auto functionName = OptunaFunctionName;

std::string_view trimmedCell(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

} // namespace

bool IsOptunaCsvHeader(const TextHeader& header)
{
    bool params = false, values = false;
    for (const auto& name : header.names) {
        if (startsWith(name, "in:") || startsWith(name, "out:"))
            return false;
        params |= startsWith(name, kParams) && name.size() > kParams.size();
        values |= !functionName(name).empty();
    }
    return params && values;
}

OrsContent ReadOptunaCsv(const MappedFile& file, const TextHeader& header, const ImportMessages& msg)
{
    const auto& names = header.names;
    std::vector<std::size_t> paramColumns, valueColumns;
    std::optional<std::size_t> stateColumn;
    OrsContent content;
    OrsHeader& h = content.header;
    for (std::size_t c = 0; c < names.size(); ++c) {
        if (startsWith(names[c], kParams) && names[c].size() > kParams.size()) {
            paramColumns.push_back(c);
            h.inputs.push_back({"optuna", names[c].substr(kParams.size())});
        } else if (std::string f = functionName(names[c]); !f.empty()) {
            valueColumns.push_back(c);
            h.functions.push_back(std::move(f));
        } else if (names[c] == "state") {
            stateColumn = c;
        }
    }
    std::vector<std::string> used;
    for (const std::size_t c : paramColumns)
        used.push_back(names[c]);
    for (const std::size_t c : valueColumns)
        used.push_back(names[c]);
    CheckUniqueColumns(used, header.line, msg);

    // Trial tables are small: cells are kept as text until every row is read,
    // because a parameter holding any text is categorical.
    std::vector<std::vector<std::string>> paramCells(paramColumns.size());
    std::vector<std::vector<double>> values(valueColumns.size());
    RowReader reader(header.dataBegin, file.end(), header.dataLine, header.delimiter, msg);
    std::vector<std::uint64_t> lines; // of the rows kept
    std::size_t rows = 0;
    std::uint64_t failedTrials = 0;
    std::vector<double> rowValues(valueColumns.size());
    while (reader.next()) {
        const auto& cells = reader.cells();
        if (cells.size() != names.size())
            throw FieldCountError(msg, reader.line(), cells.size(), names.size());
        if (stateColumn) {
            const std::string_view state = trimmedCell(cells[*stateColumn]);
            if (state != "COMPLETE" && state != "TrialState.COMPLETE") {
                failedTrials += state == "FAIL" || state == "TrialState.FAIL";
                continue;
            }
        }
        if (rows >= kMaxRecords)
            throw msg.file(L"holds more than " + std::to_wstring(kMaxRecords) + L" completed trials");
        bool failed = false;
        for (std::size_t k = 0; k < valueColumns.size(); ++k) {
            const auto status = ParseNumberCell(cells[valueColumns[k]], rowValues[k]);
            if (status == NumberStatus::Ok)
                continue;
            if (!IsFailedValue(cells[valueColumns[k]], int(status)))
                throw CellError(msg, reader.line(), names[valueColumns[k]], cells[valueColumns[k]], int(status));
            failed = true;
        }
        if (failed) {
            ++failedTrials;
            continue;
        }
        for (std::size_t k = 0; k < valueColumns.size(); ++k)
            values[k].push_back(rowValues[k]);
        for (std::size_t k = 0; k < paramColumns.size(); ++k)
            paramCells[k].emplace_back(trimmedCell(cells[paramColumns[k]]));
        lines.push_back(reader.line());
        ++rows;
    }
    if (rows == 0)
        throw msg.file(L"holds no completed trials");

    // A parameter no completed trial has is no input.
    for (std::size_t k = paramColumns.size(); k-- > 0;) {
        if (std::any_of(paramCells[k].begin(), paramCells[k].end(), [](const std::string& c) { return !c.empty(); }))
            continue;
        paramColumns.erase(paramColumns.begin() + std::ptrdiff_t(k));
        paramCells.erase(paramCells.begin() + std::ptrdiff_t(k));
        h.inputs.erase(h.inputs.begin() + std::ptrdiff_t(k));
    }

    ParsedColumns parsed;
    parsed.capacity = parsed.rows = rows;
    parsed.inputs = HugeArray<double>(paramColumns.size() * rows);
    parsed.functions = HugeArray<double>(valueColumns.size() * rows);
    for (std::size_t k = 0; k < valueColumns.size(); ++k)
        std::copy(values[k].begin(), values[k].end(), parsed.functions.data() + k * rows);
    std::vector<InputCell> inputCells(rows);
    for (std::size_t k = 0; k < paramColumns.size(); ++k) {
        // An empty cell is a trial without the parameter (or pandas' text of
        // the choice None); text makes the parameter categorical.
        for (std::size_t r = 0; r < rows; ++r) {
            InputCell& cell = inputCells[r];
            cell.text = std::move(paramCells[k][r]);
            if (cell.text.empty()) {
                cell.kind = InputCell::Kind::Missing;
                continue;
            }
            const NumberStatus status = ParseNumberCell(cell.text, cell.number);
            cell.kind = status == NumberStatus::Ok          ? InputCell::Kind::Number
                        : status == NumberStatus::NotFinite ? InputCell::Kind::NotFinite
                                                            : InputCell::Kind::Text;
        }
        // Numbers with an infinity or NaN among them are a numeric parameter
        // gone wrong, not choices.
        const std::size_t bad = CodeInputCells(inputCells, h.inputs[k], parsed.inputs.data() + k * rows);
        if (bad < rows)
            throw CellError(msg, lines[bad], names[paramColumns[k]], inputCells[bad].text, int(NumberStatus::NotFinite));
    }
    h.creator = "Optuna trials table";
    h.created = file.modified();
    FinishContent(content, std::move(parsed), msg);
    content.skippedRecords = failedTrials;
    return content;
}

} // namespace ors::import
