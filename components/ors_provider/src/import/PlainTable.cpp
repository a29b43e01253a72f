// Plain CSV/TSV tables: columns marked "in:[<signal>:]<name>" and
// "out:<name>", the x1, x2, ... / f1, f2, ... naming, or columns named
// explicitly by the caller.
#include "Importers.h"

#include "NumberParse.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>

namespace ors::import {

namespace {

constexpr const char* kPlainSignal = "csv";

bool startsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

// "x<digits>" with the given letter.
bool isNumbered(std::string_view name, char letter)
{
    return name.size() >= 2 && name[0] == letter &&
           std::all_of(name.begin() + 1, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

OrsError refusal(const ImportMessages& msg)
{
    return msg.file(L"is neither an Optimization Results File nor a table whose columns are marked as inputs and "
                    L"functions. Name the input columns \"in:<name>\" (or \"in:<signal>:<name>\") and the function "
                    L"columns \"out:<name>\" in its header line, or convert it with \"vantix-convert --inputs "
                    L"<columns> --functions <columns> <file> <output>.ors\"");
}

void requireBoth(const TableSplit& split, const TextHeader& header, const ImportMessages& msg)
{
    if (split.inputs.empty())
        throw msg.line(header.line, L"the header names no input column");
    if (split.functions.empty())
        throw msg.line(header.line, L"the header names no function column");
}

std::string_view trimmedText(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// Input columns whose first row holds text rather than a number: string
// variables (Dakota's discrete string sets), read as labels.
std::vector<bool> textInputs(const TextHeader& header, const char* end, const TableSplit& split,
                             const ImportMessages& msg)
{
    std::vector<bool> text(split.inputColumns.size(), false);
    RowReader reader(header.dataBegin, end, header.dataLine, header.delimiter, msg);
    if (!reader.next() || reader.cells().size() != header.names.size())
        return text;
    for (std::size_t k = 0; k < split.inputColumns.size(); ++k) {
        double v = 0;
        const std::string_view cell = reader.cells()[split.inputColumns[k]];
        text[k] = ParseNumberCell(cell, v) == NumberStatus::NotNumber && !IsFailedValue(cell, int(NumberStatus::NotNumber));
    }
    return text;
}

// A table with labelled inputs, read cell by cell: such tables are small,
// and their labels are only known when every row is read. Numeric columns
// are checked as the fast loader checks them.
NumericResult loadTextTable(const TextHeader& header, const char* end, const TableSplit& split,
                            const std::vector<bool>& text, ParsedColumns& parsed, std::vector<InputInfo>& inputs,
                            const ImportMessages& msg)
{
    const std::size_t nIn = split.inputColumns.size(), nFn = split.functionColumns.size();
    std::vector<std::vector<std::string>> labels(nIn);
    std::vector<std::vector<double>> numbers(nIn), functions(nFn);
    std::vector<double> rowValues(nFn);
    NumericResult result;
    RowReader reader(header.dataBegin, end, header.dataLine, header.delimiter, msg);
    while (reader.next()) {
        const auto& cells = reader.cells();
        if (cells.size() != header.names.size())
            throw FieldCountError(msg, reader.line(), cells.size(), header.names.size());
        bool failed = false;
        for (std::size_t k = 0; k < nFn; ++k) {
            const std::string_view cell = cells[split.functionColumns[k]];
            const NumberStatus status = ParseNumberCell(cell, rowValues[k]);
            if (status == NumberStatus::Ok)
                continue;
            if (!IsFailedValue(cell, int(status)))
                throw CellError(msg, reader.line(), header.names[split.functionColumns[k]], cell, int(status));
            failed = true;
        }
        for (std::size_t k = 0; k < nIn; ++k) {
            if (text[k])
                continue;
            double v = 0;
            const std::string_view cell = cells[split.inputColumns[k]];
            if (const NumberStatus status = ParseNumberCell(cell, v); status != NumberStatus::Ok)
                throw CellError(msg, reader.line(), header.names[split.inputColumns[k]], cell, int(status));
        }
        if (split.labelColumn) {
            const std::string_view id = trimmedText(cells[*split.labelColumn]);
            if (result.rows + result.skipped == 0)
                result.firstLabel.assign(id);
            else
                result.labelsDiffer = result.labelsDiffer || id != result.firstLabel;
        }
        if (failed) {
            ++result.skipped;
            continue;
        }
        if (result.rows >= kMaxRecords)
            throw msg.file(L"holds more than " + std::to_wstring(kMaxRecords) + L" records");
        for (std::size_t k = 0; k < nFn; ++k)
            functions[k].push_back(rowValues[k]);
        for (std::size_t k = 0; k < nIn; ++k) {
            const std::string_view cell = cells[split.inputColumns[k]];
            if (text[k]) {
                labels[k].emplace_back(trimmedText(cell));
            } else {
                double v = 0;
                ParseNumberCell(cell, v);
                numbers[k].push_back(v);
            }
        }
        ++result.rows;
    }
    const std::size_t rows = result.rows;
    parsed.capacity = std::max<std::size_t>(rows, 1);
    parsed.inputs = HugeArray<double>(nIn * parsed.capacity);
    parsed.functions = HugeArray<double>(nFn * parsed.capacity);
    for (std::size_t k = 0; k < nFn; ++k)
        std::copy(functions[k].begin(), functions[k].end(), parsed.functions.data() + k * parsed.capacity);
    std::vector<InputCell> column(rows);
    for (std::size_t k = 0; k < nIn; ++k) {
        double* out = parsed.inputs.data() + k * parsed.capacity;
        if (!text[k]) {
            std::copy(numbers[k].begin(), numbers[k].end(), out);
            continue;
        }
        for (std::size_t r = 0; r < rows; ++r) {
            column[r].kind = labels[k][r].empty() ? InputCell::Kind::Missing : InputCell::Kind::Text;
            column[r].text = std::move(labels[k][r]);
        }
        CodeInputCells(column, inputs[k], out);
    }
    return result;
}

} // namespace

bool IsIndexColumn(std::string_view name)
{
    return name.empty() || startsWith(name, "Unnamed: ");
}

OrsContent LoadSplitTable(MappedFile& file, const TextHeader& header, const TableSplit& split,
                          std::string creator, const ImportMessages& msg, ReadProgress& progress,
                          NumericResult* result)
{
    std::vector<std::string> used;
    for (const std::size_t c : split.inputColumns)
        used.push_back(header.names[c]);
    for (const std::size_t c : split.functionColumns)
        used.push_back(header.names[c]);
    CheckUniqueColumns(used, header.line, msg);

    const std::size_t nIn = split.inputColumns.size();
    const std::size_t nFn = split.functionColumns.size();
    const std::size_t columns = header.names.size();
    const std::vector<bool> text =
        split.textInputs ? textInputs(header, file.end(), split, msg) : std::vector<bool>(nIn, false);
    const bool labelled = std::find(text.begin(), text.end(), true) != text.end();
    // Every row ends in a line break (but the last), and holds at least one
    // character per number and a separator between cells: both bound the rows
    // before anything is allocated.
    const auto bytes = std::size_t(file.end() - header.dataBegin);
    const bool unterminated = bytes > 0 && file.end()[-1] != '\n';
    const RowPlan rows = PlanRows(header, file.end());
    const std::size_t byLines = rows.lines + (unterminated ? 1 : 0);
    const std::size_t bySize = bytes / std::max<std::size_t>(1, nIn + nFn + columns - 1) + 1;
    const std::size_t capacity = std::max<std::size_t>(1, std::min(byLines, bySize));

    ParsedColumns parsed;
    std::vector<InputInfo> inputs = split.inputs;
    NumericResult r;
    if (labelled) {
        r = loadTextTable(header, file.end(), split, text, parsed, inputs, msg);
    } else {
        parsed.capacity = capacity;
        parsed.inputs = HugeArray<double>(nIn * capacity);
        parsed.functions = HugeArray<double>(nFn * capacity);
        std::vector<double*> out;
        NumericPlan plan;
        plan.use.assign(columns, ColumnUse::Skip);
        plan.target.assign(columns, -1);
        for (std::size_t k = 0; k < nIn; ++k) {
            plan.use[split.inputColumns[k]] = ColumnUse::Number;
            plan.target[split.inputColumns[k]] = int(out.size());
            out.push_back(parsed.inputs.data() + k * capacity);
        }
        for (std::size_t k = 0; k < nFn; ++k) {
            plan.use[split.functionColumns[k]] = ColumnUse::Function;
            plan.target[split.functionColumns[k]] = int(out.size());
            out.push_back(parsed.functions.data() + k * capacity);
        }
        if (split.labelColumn)
            plan.use[*split.labelColumn] = ColumnUse::Label;

        r = LoadNumericColumns(header, file.end(), rows, plan, out.data(), capacity, msg, progress);
    }
    if (r.rows == 0 && r.skipped)
        throw msg.file(L"holds no records: " +
                       (r.skipped == 1 ? std::wstring(L"its only row is")
                                       : L"each of its " + std::to_wstring(r.skipped) + L" rows is") +
                       L" a failed evaluation (nan, inf or \"fail\" as a function value)");
    if (r.rows == 0)
        throw msg.file(L"holds no records: its table has a header line but no rows");
    parsed.rows = r.rows;

    OrsContent content;
    content.header.creator = std::move(creator);
    content.header.created = file.modified();
    // The text is parsed: its memory goes before the value indices take theirs.
    file.Release();
    content.header.inputs = std::move(inputs);
    content.header.functions = split.functions;
    FinishContent(content, std::move(parsed), msg, progress);
    content.skippedRecords = r.skipped;
    if (result)
        *result = std::move(r);
    return content;
}

TableSplit ExplicitSplit(const TextHeader& header, const ImportOptions& options, const std::string& signal,
                         const std::vector<bool>& ignored, const ImportMessages& msg)
{
    std::unordered_map<std::string_view, std::size_t> byName;
    for (std::size_t c = header.names.size(); c-- > 0;)
        byName[header.names[c]] = c; // the first of equal names
    const auto find = [&](const std::string& name) {
        const auto it = byName.find(name);
        if (it == byName.end())
            throw msg.file(L"has no column named " + Quoted(name));
        return it->second;
    };
    std::vector<int> role(header.names.size(), 0); // 1 input, 2 function
    TableSplit split;
    for (const auto& name : options.inputColumns) {
        const std::size_t c = find(name);
        if (role[c])
            throw msg.file(L"column " + Quoted(name) + L" is named twice");
        role[c] = 1;
        split.inputColumns.push_back(c);
    }
    for (const auto& name : options.functionColumns) {
        const std::size_t c = find(name);
        if (role[c])
            throw msg.file(L"column " + Quoted(name) + L" is named twice");
        role[c] = 2;
        split.functionColumns.push_back(c);
    }
    for (std::size_t c = 0; c < header.names.size(); ++c) {
        if (role[c] || ignored[c] || IsIndexColumn(header.names[c]) || options.unnamedIgnored)
            continue;
        if (options.inputColumns.empty())
            split.inputColumns.push_back(c);
        else if (options.functionColumns.empty())
            split.functionColumns.push_back(c);
    }
    std::sort(split.inputColumns.begin(), split.inputColumns.end());
    std::sort(split.functionColumns.begin(), split.functionColumns.end());
    for (const std::size_t c : split.inputColumns)
        split.inputs.push_back({signal, header.names[c]});
    for (const std::size_t c : split.functionColumns)
        split.functions.push_back(header.names[c]);
    requireBoth(split, header, msg);
    return split;
}

std::string HeaderHash(const std::vector<std::string>& names)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const auto& name : names) {
        for (const char c : name + "\n") {
            hash ^= static_cast<unsigned char>(c);
            hash *= 0x100000001b3ull;
        }
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

namespace {

// Rows looked at for a guess: enough to tell a repeating column from one
// that changes with every record, few enough to cost nothing.
constexpr std::size_t kGuessRows = 2000;

// Best guess of each column's role: columns known as functions by their
// names (Dakota's default responses, Optuna's values, "out:" marks); else the
// columns after the last one that repeats a value, which vary with every
// record as results do while a design's variables repeat; else the last
// column. Columns that are not numbers (but a Dakota table's string
// variables), indices and ids are ignored.
std::vector<std::int32_t> guessRoles(const TextHeader& header, const char* end, const std::vector<bool>& ignored,
                                     const ImportMessages& msg)
{
    const auto& names = header.names;
    const std::size_t n = names.size();
    std::vector<bool> numeric(n, true);
    std::vector<std::unordered_set<double>> seen(n);
    std::vector<bool> repeats(n, false);
    std::size_t rows = 0;
    RowReader reader(header.dataBegin, end, header.dataLine, header.delimiter, msg);
    while (rows < kGuessRows && reader.next()) {
        const auto& cells = reader.cells();
        if (cells.size() != n)
            continue;
        ++rows;
        for (std::size_t c = 0; c < n; ++c) {
            double v = 0;
            const NumberStatus status = ParseNumberCell(cells[c], v);
            if (status == NumberStatus::Ok)
                repeats[c] = repeats[c] || !seen[c].insert(v).second;
            else if (!IsFailedValue(cells[c], int(status)))
                numeric[c] = false;
        }
    }
    std::vector<std::int32_t> roles(n, kRoleIgnore);
    std::vector<std::size_t> data;
    for (std::size_t c = 0; c < n; ++c)
        if (numeric[c] && !ignored[c] && !IsIndexColumn(names[c]) && rows > 0)
            data.push_back(c);
    if (data.empty())
        return roles;
    for (const std::size_t c : data)
        roles[c] = IsDakotaResponseName(names[c]) || !OptunaFunctionName(names[c]).empty() ||
                           names[c].starts_with("out:")
                       ? kRoleFunction
                       : kRoleInput;
    // Text in Dakota tables is a string variable (the ids are ignored already).
    for (std::size_t c = 0; c < n; ++c)
        if (header.dakota && !numeric[c] && !ignored[c] && rows > 0)
            roles[c] = kRoleInput;
    if (std::count(roles.begin(), roles.end(), kRoleFunction) == 0) {
        std::size_t firstVarying = data.size();
        while (firstVarying > 0 && !repeats[data[firstVarying - 1]] && rows >= 3)
            --firstVarying;
        // Every column varies (a random design) or none does: the last is the function.
        if (firstVarying == 0 || firstVarying == data.size())
            firstVarying = data.size() - 1;
        for (std::size_t k = firstVarying; k < data.size(); ++k)
            roles[data[k]] = kRoleFunction;
    }
    return roles;
}

} // namespace

TableSplit UncertainSplit(const TextHeader& header, const char* end, const ImportOptions& options,
                          const std::string& signal, const std::vector<bool>& ignored, const std::wstring& question,
                          const OrsError& noGuess, const ImportMessages& msg, std::optional<RolesGuess>& taken)
{
    if (options.explicitColumns())
        return ExplicitSplit(header, options, signal, ignored, msg);
    RolesGuess guess;
    guess.columns = header.names;
    guess.roles = guessRoles(header, end, ignored, msg);
    guess.headerHash = HeaderHash(header.names);
    if (std::count(guess.roles.begin(), guess.roles.end(), kRoleInput) == 0 ||
        std::count(guess.roles.begin(), guess.roles.end(), kRoleFunction) == 0)
        throw noGuess;
    if (!options.acceptGuess) {
        ChoiceNeeded choice;
        choice.message = question;
        choice.roles = std::move(guess);
        throw choice;
    }
    TableSplit split;
    for (std::size_t c = 0; c < guess.roles.size(); ++c) {
        if (guess.roles[c] == kRoleInput) {
            split.inputColumns.push_back(c);
            split.inputs.push_back({signal, header.names[c]});
        } else if (guess.roles[c] == kRoleFunction) {
            split.functionColumns.push_back(c);
            split.functions.push_back(header.names[c]);
        }
    }
    taken = std::move(guess);
    return split;
}

OrsContent ReadPlainTable(MappedFile& file, const TextHeader& header, const ImportOptions& options,
                          const ImportMessages& msg, ReadProgress& progress)
{
    const std::string signal = options.signal.empty() ? kPlainSignal : options.signal;
    const std::vector<bool> none(header.names.size(), false);
    if (options.explicitColumns())
        return LoadSplitTable(file, header, ExplicitSplit(header, options, signal, none, msg), "CSV table", msg, progress);

    // Without marks or numbered names the file does not say which columns
    // are which.
    const auto uncertain = [&] {
        std::optional<RolesGuess> taken;
        const TableSplit guessed =
            UncertainSplit(header, file.end(), options, signal, none, refusal(msg).message, refusal(msg), msg, taken);
        OrsContent content = LoadSplitTable(file, header, guessed, "CSV table", msg, progress);
        content.guessedRoles = std::move(taken);
        return content;
    };
    if (header.freeform)
        return uncertain();

    TableSplit split;
    const auto& names = header.names;
    const bool marked = std::any_of(names.begin(), names.end(), [](const std::string& n) {
        return startsWith(n, "in:") || startsWith(n, "out:");
    });
    if (marked) {
        // Unmarked columns (an index, dates, notes) are not data.
        for (std::size_t c = 0; c < names.size(); ++c) {
            const std::string_view name = names[c];
            if (startsWith(name, "in:")) {
                const std::string_view rest = name.substr(3);
                const auto colon = rest.find(':');
                InputInfo in = colon == std::string_view::npos
                                   ? InputInfo{signal, std::string(rest)}
                                   : InputInfo{std::string(rest.substr(0, colon)), std::string(rest.substr(colon + 1))};
                if (in.name.empty())
                    throw msg.line(header.line, L"column " + Quoted(name) + L" names no input");
                split.inputColumns.push_back(c);
                split.inputs.push_back(std::move(in));
            } else if (startsWith(name, "out:")) {
                if (name.size() == 4)
                    throw msg.line(header.line, L"column " + Quoted(name) + L" names no function");
                split.functionColumns.push_back(c);
                split.functions.emplace_back(name.substr(4));
            }
        }
        requireBoth(split, header, msg);
        return LoadSplitTable(file, header, split, "CSV table", msg, progress);
    }

    // x1, x2, ... are the inputs and f1, f2, ... the functions, when every
    // column but an index is named so.
    for (std::size_t c = 0; c < names.size(); ++c) {
        if (isNumbered(names[c], 'x')) {
            split.inputColumns.push_back(c);
            split.inputs.push_back({signal, names[c]});
        } else if (isNumbered(names[c], 'f')) {
            split.functionColumns.push_back(c);
            split.functions.push_back(names[c]);
        } else if (!(c == 0 && IsIndexColumn(names[c]))) {
            return uncertain();
        }
    }
    if (split.inputs.empty() || split.functions.empty())
        return uncertain();
    return LoadSplitTable(file, header, split, "CSV table", msg, progress);
}

} // namespace ors::import
