// Dakota tabular data: a '%' header line, then blank-separated rows. The
// optional leading columns eval_id and interface are ids; the responses are
// told from the variables by Dakota's default response descriptors.
#include "Importers.h"

#include <algorithm>

namespace ors::import {

namespace {

// <stem>_<digits>
bool isNumberedDescriptor(std::string_view name, std::string_view stem)
{
    if (name.size() <= stem.size() + 1 || name.substr(0, stem.size()) != stem || name[stem.size()] != '_')
        return false;
    return std::all_of(name.begin() + std::ptrdiff_t(stem.size()) + 1, name.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

bool IsDakotaResponseName(std::string_view name)
{
    if (name == "obj_fn")
        return true;
    for (const std::string_view stem :
         {"obj_fn", "response_fn", "nln_ineq_con", "nln_eq_con", "least_sq_term"})
        if (isNumberedDescriptor(name, stem))
            return true;
    return false;
}

OrsContent ReadDakotaTable(MappedFile& file, const TextHeader& header, const ImportOptions& options,
                           const ImportMessages& msg, ReadProgress& progress)
{
    const auto& names = header.names;
    std::vector<bool> ids(names.size(), false);
    std::optional<std::size_t> interfaceColumn;
    std::size_t first = 0;
    if (first < names.size() && names[first] == "eval_id")
        ids[first++] = true;
    if (first < names.size() && names[first] == "interface") {
        interfaceColumn = first;
        ids[first++] = true;
    }

    const std::string fallbackSignal = options.signal.empty() ? "dakota" : options.signal;
    TableSplit split;
    std::optional<RolesGuess> taken;
    const bool defaultNames = std::any_of(names.begin() + std::ptrdiff_t(first), names.end(),
                                          [](const std::string& name) { return IsDakotaResponseName(name); });
    if (options.explicitColumns() || !defaultNames) {
        // Responses the user named (or a freeform table's columns) are not
        // told from the variables by their names.
        const std::wstring question =
            msg.file(header.freeform
                         ? L"is a Dakota table without a header: say which of its columns x1, x2, ... are "
                           L"functions (vantix-convert --functions <columns> <file> <output>.ors)"
                         : L"is a Dakota table whose responses have names of their own: say which columns are "
                           L"functions (vantix-convert --functions <columns> <file> <output>.ors)")
                .message;
        split = UncertainSplit(header, file.end(), options, fallbackSignal, ids, question,
                               msg.line(header.line, L"the Dakota header names no variable column"), msg, taken);
    } else {
        for (std::size_t c = first; c < names.size(); ++c)
            if (IsDakotaResponseName(names[c]))
                split.functionColumns.push_back(c);
        for (std::size_t c = first; c < names.size(); ++c)
            if (std::find(split.functionColumns.begin(), split.functionColumns.end(), c) == split.functionColumns.end())
                split.inputColumns.push_back(c);
        if (split.inputColumns.empty())
            throw msg.line(header.line, L"the Dakota header names no variable column");
        for (const std::size_t c : split.inputColumns)
            split.inputs.push_back({fallbackSignal, names[c]});
        for (const std::size_t c : split.functionColumns)
            split.functions.push_back(names[c]);
    }
    split.labelColumn = interfaceColumn;
    split.textInputs = true;

    NumericResult result;
    OrsContent content = LoadSplitTable(file, header, split, "Dakota tabular data", msg, progress, &result);
    content.guessedRoles = std::move(taken);
    // The interface id names the signal when every row has the same one.
    if (options.signal.empty() && interfaceColumn && !result.labelsDiffer && !result.firstLabel.empty() &&
        result.firstLabel != "NO_ID") {
        for (auto& in : content.header.inputs)
            in.signal = result.firstLabel;
    }
    return content;
}

} // namespace ors::import
