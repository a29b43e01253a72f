// Optuna's relational storage, in an SQLite file or on a database server: the
// completed trials of one study. Parameters are stored in their internal form,
// which for a categorical parameter is the index of the choice, and objectives
// in trial_values by number.
#include "Importers.h"
#include "Json.h"
#include "db/SqlConnection.h"

#include "diagnostics/snagwise.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace ors::import {

namespace {

constexpr const char* kRequiredTables[] = {"studies", "trials", "trial_params", "trial_values"};

class StorageReader {
public:
    StorageReader(SqlConnection& db, std::string created, const ImportOptions& options, const ImportMessages& msg)
        : m_db(db), m_created(std::move(created)), m_options(options), m_msg(msg)
    {
    }
    OrsContent read();

private:
    [[noreturn]] void failure(const SqlError& e) const;
    // Runs a statement; SqlError becomes the reader's message.
    std::unique_ptr<SqlRows> query(std::string_view sql, std::span<const SqlParam> params = {}) const;
    bool step(SqlRows& rows) const;
    bool hasTable(const char* name) const { return m_db.HasTable(name); }
    std::vector<std::string> metricNames(std::int64_t study) const;

    SqlConnection& m_db;
    const std::string m_created;
    const ImportOptions& m_options;
    const ImportMessages& m_msg;
};

[[noreturn]] void StorageReader::failure(const SqlError& e) const
{
    switch (e.kind) {
    case SqlError::Kind::NoMemory:
        throw std::bad_alloc();
    case SqlError::Kind::Damaged:
        throw m_msg.file(L"is a damaged Optuna storage: its database structure is broken");
    case SqlError::Kind::Other:
        break;
    }
    throw m_msg.file(L"is an Optuna storage that could not be read (" + FromUtf8(e.detail) + L")");
}

std::unique_ptr<SqlRows> StorageReader::query(std::string_view sql, std::span<const SqlParam> params) const
{
    try {
        return m_db.Query(sql, params);
    } catch (const SqlError& e) {
        failure(e);
    }
}

bool StorageReader::step(SqlRows& rows) const
{
    try {
        return rows.Next();
    } catch (const SqlError& e) {
        failure(e);
    }
}

std::vector<std::string> StorageReader::metricNames(std::int64_t study) const
{
    std::vector<std::string> names;
    if (!hasTable("study_system_attributes"))
        return names;
    const SqlParam p[] = {study};
    auto s = query("SELECT value_json FROM study_system_attributes WHERE study_id = ? AND " + m_db.QuoteName("key") +
                       " = 'study:metric_names'",
                   p);
    JsonValue doc;
    if (!step(*s) || !ParseJson(s->Text(0), doc) || doc.type != JsonValue::Type::Array)
        return names;
    for (const JsonValue& item : doc.items) {
        if (item.type != JsonValue::Type::String)
            return {};
        names.push_back(item.text);
    }
    return names;
}

OrsContent StorageReader::read()
{
    for (const char* table : kRequiredTables) {
        std::string type;
        try {
            type = m_db.ObjectType(table);
        } catch (const SqlError& e) {
            failure(e);
        }
        if (type.empty())
            throw m_msg.file(L"is an Optuna storage without its table \"" + FromUtf8(table) + L"\"");
        if (type != "table")
            throw m_msg.file(L"is not an Optuna storage: \"" + FromUtf8(table) + L"\" is not a plain table");
    }

    struct Study {
        std::int64_t id;
        std::string name;
        std::int64_t completed;
        std::int64_t failed;
    };
    std::vector<Study> studies;
    {
        auto s = query("SELECT s.study_id, s.study_name, (SELECT count(*) FROM trials t WHERE t.study_id = "
                       "s.study_id AND t.state = 'COMPLETE'), (SELECT count(*) FROM trials t WHERE t.study_id = "
                       "s.study_id AND t.state = 'FAIL') FROM studies s ORDER BY s.study_id");
        while (step(*s))
            studies.push_back({s->Int(0), s->Text(1), s->Int(2), s->Int(3)});
    }
    if (studies.empty())
        throw m_msg.file(L"is an Optuna storage without studies");
    const Study* study = nullptr;
    const auto studyList = [&] {
        std::wstring list;
        for (const auto& st : studies)
            list += (list.empty() ? L"" : L", ") + Quoted(st.name) + L" (" + std::to_wstring(st.completed) +
                    (st.completed == 1 ? L" completed trial)" : L" completed trials)");
        return list;
    };
    if (!m_options.study.empty()) {
        for (const auto& st : studies)
            if (st.name == m_options.study)
                study = &st;
        if (!study)
            throw m_msg.file(L"holds no Optuna study named " + Quoted(m_options.study) + L"; its studies: " + studyList());
    } else {
        // Studies without completed trials are no choice.
        std::vector<const Study*> candidates;
        for (const auto& st : studies)
            if (st.completed > 0)
                candidates.push_back(&st);
        if (candidates.size() > 1) {
            ChoiceNeeded choice;
            choice.message = m_msg.file(L"holds several Optuna studies: " + studyList() + L". Choose one to open")
                                 .message;
            for (const Study* st : candidates)
                choice.studies.push_back({st->name, std::uint64_t(st->completed)});
            throw choice;
        }
        study = candidates.empty() ? &studies.front() : candidates.front();
    }
    if (study->completed == 0)
        throw m_msg.file(L"holds no completed trials of the Optuna study " + Quoted(study->name));
    if (std::uint64_t(study->completed) > kMaxRecords)
        throw m_msg.file(L"holds more than " + std::to_wstring(kMaxRecords) + L" completed trials");
    SW_TRACE(L"Data provider : Optuna study \"%ls\", %lu completed trials (%lu studies in the file)",
             FromUtf8(study->name).c_str(), static_cast<unsigned long>(study->completed),
             static_cast<unsigned long>(studies.size()));

    // Completed trials in the order of their numbers.
    const SqlParam studyId[] = {study->id};
    std::unordered_map<std::int64_t, std::size_t> rowOf;
    std::vector<std::int64_t> numbers;
    {
        auto s = query("SELECT trial_id, number FROM trials WHERE study_id = ? AND state = 'COMPLETE' "
                       "ORDER BY number, trial_id",
                       studyId);
        while (step(*s) && numbers.size() < std::size_t(study->completed)) {
            rowOf.emplace(s->Int(0), numbers.size());
            numbers.push_back(s->Int(1));
        }
    }
    std::size_t rows = numbers.size();
    const auto trial = [&](std::size_t row) { return L"trial " + std::to_wstring(numbers[row]); };

    // Objectives: one direction each; without directions, as many as values.
    std::int64_t objectives = 0;
    std::unordered_map<std::int64_t, std::int32_t> directions;
    if (hasTable("study_directions")) {
        auto s = query("SELECT objective, direction FROM study_directions WHERE study_id = ?", studyId);
        while (step(*s)) {
            const std::int64_t objective = s->Int(0);
            objectives = std::max(objectives, objective + 1);
            const std::string direction = s->Text(1);
            directions[objective] = direction == "MAXIMIZE" || direction == "StudyDirection.MAXIMIZE" || direction == "2"
                                        ? kMaximize
                                        : kMinimize;
        }
    }
    if (objectives <= 0) {
        auto s = query("SELECT max(v.objective) + 1 FROM trial_values v JOIN trials t ON t.trial_id = v.trial_id "
                       "WHERE t.study_id = ?",
                       studyId);
        if (step(*s))
            objectives = s->Int(0);
    }
    if (objectives <= 0 || objectives > 1000)
        throw m_msg.file(L"holds an Optuna study without objective values (" + Quoted(study->name) + L")");

    OrsContent content;
    OrsHeader& h = content.header;
    std::vector<std::string> metrics = metricNames(study->id);
    if (metrics.size() == std::size_t(objectives))
        h.functions = std::move(metrics);
    else if (objectives == 1)
        h.functions = {"value"};
    else
        for (std::int64_t k = 0; k < objectives; ++k)
            h.functions.push_back("value " + std::to_string(k));
    for (std::int64_t k = 0; k < objectives; ++k) {
        const auto it = directions.find(k);
        h.functionDirections.push_back(it == directions.end() ? kMinimize : it->second);
    }

    // Rows of a query on the study's completed trials (trial id first), each
    // with the record of its trial; trials beyond the records are skipped.
    const auto forEachTrialRow = [&](const char* sql, const auto& body) {
        auto s = query(sql, studyId);
        while (step(*s))
            if (const auto it = rowOf.find(s->Int(0)); it != rowOf.end())
                body(*s, it->second);
    };
    // A finite number in column 2.
    const auto finiteAt = [](const SqlRows& s, double& v) { return s.Number(2, &v) && std::isfinite(v); };

    // Objective values; infinite ones are stored as NULL with value_type. A
    // completed trial with one is a failed evaluation, left out.
    std::vector<double> values(std::size_t(objectives) * rows, 0.0);
    std::vector<bool> valuePresent(values.size(), false);
    std::vector<bool> failed(rows, false);
    forEachTrialRow("SELECT v.trial_id, v.objective, v.value FROM trial_values v JOIN trials t ON "
                    "t.trial_id = v.trial_id WHERE t.study_id = ? AND t.state = 'COMPLETE'",
                    [&](const SqlRows& s, std::size_t row) {
                        const std::int64_t objective = s.Int(1);
                        if (objective < 0 || objective >= objectives)
                            throw m_msg.file(L"has a value of objective " + std::to_wstring(objective) +
                                             L", which its study does not have (" + trial(row) + L")");
                        double v = 0;
                        if (!finiteAt(s, v))
                            failed[row] = true;
                        values[std::size_t(objective) * rows + row] = v;
                        valuePresent[std::size_t(objective) * rows + row] = true;
                    });
    for (std::size_t i = 0; i < values.size(); ++i)
        if (!valuePresent[i] && !failed[i % rows])
            throw m_msg.file(L"has a completed trial without a value of \"" + FromUtf8(h.functions[i / rows]) +
                             L"\" (" + trial(i % rows) + L")");
    // Records of the trials kept.
    std::vector<std::uint32_t> recordOf(rows);
    std::size_t kept = 0;
    for (std::size_t r = 0; r < rows; ++r)
        recordOf[r] = failed[r] ? UINT32_MAX : std::uint32_t(kept++);
    const std::uint64_t failedCompleted = rows - kept;
    if (kept == 0)
        throw m_msg.file(L"holds no completed trials of the Optuna study " + Quoted(study->name) +
                         L" with finite values");

    // Parameters, named in the order they first appear. Values are gathered
    // as (parameter, record) cells first: a storage of many names and few
    // trials per name must not hold a cell per name and trial but for the
    // one parameter being coded.
    struct Cell {
        std::uint32_t param;
        std::uint32_t row;
        InputCell::Kind kind;
        double value;
        std::uint32_t text; // into texts; kNoText: a number's text is made when needed
    };
    constexpr std::uint32_t kNoText = UINT32_MAX;
    std::vector<Cell> cells;
    std::vector<std::string> texts;
    std::unordered_map<std::string, std::uint32_t> textIndex;
    std::unordered_map<std::string, std::size_t> paramIndex;
    std::vector<bool> logParam;
    // Distributions by their JSON text; most trials share a few.
    struct Distribution {
        bool categorical = false;
        bool log = false;
        std::vector<JsonValue> choices;
    };
    std::unordered_map<std::string, Distribution> distributions;
    const auto distributionOf = [&](std::string json) -> const Distribution& {
        auto [it, added] = distributions.try_emplace(std::move(json));
        if (!added)
            return it->second;
        Distribution& d = it->second;
        JsonValue doc;
        if (!ParseJson(it->first, doc))
            return d; // unknown: the stored value is taken as it is
        const JsonValue* name = doc.find("name");
        const JsonValue* attributes = doc.find("attributes");
        const std::string kind = name ? name->text : std::string();
        d.categorical = kind == "CategoricalDistribution";
        d.log = kind.find("LogUniform") != std::string::npos;
        if (attributes) {
            if (const JsonValue* log = attributes->find("log"))
                d.log = log->type == JsonValue::Type::Bool && log->boolean;
            if (const JsonValue* choices = attributes->find("choices"); d.categorical && choices)
                d.choices = choices->items;
        }
        return d;
    };
    const auto textId = [&](std::string text) {
        auto [it, added] = textIndex.emplace(std::move(text), std::uint32_t(texts.size()));
        if (added)
            texts.push_back(it->first);
        return it->second;
    };
    forEachTrialRow("SELECT p.trial_id, p.param_name, p.param_value, p.distribution_json FROM trial_params p JOIN "
                    "trials t ON t.trial_id = p.trial_id WHERE t.study_id = ? AND t.state = 'COMPLETE' "
                    "ORDER BY t.number, t.trial_id, p.param_id",
                    [&](const SqlRows& s, std::size_t row) {
                        if (failed[row])
                            return;
                        std::string name = s.Text(1);
                        auto [at, added] = paramIndex.emplace(name, h.inputs.size());
                        if (added) {
                            h.inputs.push_back({study->name, name});
                            logParam.push_back(false);
                        }
                        double v = 0;
                        if (!finiteAt(s, v))
                            throw m_msg.file(L"has a parameter value that is not a finite number (" + trial(row) +
                                             L", parameter " + Quoted(name) + L")");
                        const Distribution& d = distributionOf(s.Text(3));
                        Cell cell{std::uint32_t(at->second), recordOf[row], InputCell::Kind::Number, v, kNoText};
                        if (d.categorical) {
                            // The stored value is the index of the choice.
                            if (v < 0 || v >= double(d.choices.size()) || v != std::floor(v))
                                throw m_msg.file(L"has a categorical parameter value that is not one of its choices (" +
                                                 trial(row) + L", parameter " + Quoted(name) + L")");
                            const JsonValue& choice = d.choices[std::size_t(v)];
                            switch (choice.type) {
                            case JsonValue::Type::Null:
                                cell.kind = InputCell::Kind::Missing;
                                break;
                            case JsonValue::Type::Number:
                                cell.value = choice.number;
                                cell.kind = std::isfinite(choice.number) ? InputCell::Kind::Number
                                                                         : InputCell::Kind::NotFinite;
                                cell.text = textId(choice.text);
                                break;
                            case JsonValue::Type::Bool:
                                // As pandas writes them.
                                cell.kind = InputCell::Kind::Text;
                                cell.text = textId(choice.boolean ? "True" : "False");
                                break;
                            default:
                                cell.kind = InputCell::Kind::Text;
                                cell.text = textId(choice.text);
                                break;
                            }
                        } else {
                            logParam[at->second] = logParam[at->second] || d.log;
                        }
                        cells.push_back(cell);
                    });
    paramIndex.clear();
    if (h.inputs.empty())
        throw m_msg.file(L"holds an Optuna study without parameters (" + Quoted(study->name) + L")");
    // By parameter, then record; the last of repeated cells counts.
    std::stable_sort(cells.begin(), cells.end(),
                     [](const Cell& a, const Cell& b) { return a.param != b.param ? a.param < b.param : a.row < b.row; });
    ParsedColumns parsed;
    parsed.capacity = parsed.rows = kept;
    parsed.inputs = HugeArray<double>(h.inputs.size() * kept);
    // A trial without a parameter (a conditional search space) has its "(none)".
    std::vector<InputCell> column(kept);
    std::size_t at = 0;
    for (std::size_t p = 0; p < h.inputs.size(); ++p) {
        for (InputCell& c : column)
            c.kind = InputCell::Kind::Missing;
        const std::size_t first = at;
        for (; at < cells.size() && cells[at].param == p; ++at) {
            InputCell& c = column[cells[at].row];
            c.kind = cells[at].kind;
            c.number = cells[at].value;
        }
        // Texts only where a choice is text: then numbers are labels too.
        if (std::any_of(cells.begin() + std::ptrdiff_t(first), cells.begin() + std::ptrdiff_t(at),
                        [](const Cell& c) { return c.kind == InputCell::Kind::Text; })) {
            for (std::size_t k = first; k < at; ++k) {
                std::string& text = column[cells[k].row].text;
                if (cells[k].text != kNoText) {
                    text = texts[cells[k].text];
                } else {
                    char buffer[32];
                    const auto end = std::to_chars(buffer, buffer + sizeof buffer, cells[k].value).ptr;
                    text.assign(buffer, end);
                }
            }
        }
        const std::size_t bad = CodeInputCells(column, h.inputs[p], parsed.inputs.data() + p * kept);
        if (bad < kept)
            throw m_msg.file(L"has a parameter value that is not a finite number (parameter " +
                             Quoted(h.inputs[p].name) + L")");
        // Log scale where every value is above zero (a "(none)" is past the others).
        const double* v = parsed.inputs.data() + p * kept;
        if (logParam[p] && !h.inputs[p].labelled() && std::all_of(v, v + kept, [](double x) { return x > 0; }))
            h.inputs[p].scale = kLogScale;
    }
    std::vector<Cell>().swap(cells);

    parsed.functions = HugeArray<double>(std::size_t(objectives) * kept);
    for (std::size_t k = 0; k < std::size_t(objectives); ++k)
        for (std::size_t r = 0; r < rows; ++r)
            if (!failed[r])
                parsed.functions.data()[k * kept + recordOf[r]] = values[k * rows + r];
    h.creator = "Optuna study \"" + study->name + "\"";
    h.created = m_created;
    FinishContent(content, std::move(parsed), m_msg);
    content.skippedRecords = std::uint64_t(study->failed) + failedCompleted;
    return content;
}

} // namespace

std::size_t OptunaTablesPresent(const std::wstring& path)
{
    StudyUrl url;
    url.database = ToUtf8(path);
    const auto db = ConnectSqlite(url, nullptr);
    if (!db)
        return 0;
    try {
        return std::size_t(std::count_if(std::begin(kRequiredTables), std::end(kRequiredTables),
                                         [&](const char* t) { return !db->ObjectType(t).empty(); }));
    } catch (const SqlError&) {
        return 0;
    }
}

OrsContent ReadOptunaStorage(const std::wstring& path, const ImportOptions& options, const ImportMessages& msg)
{
    StudyUrl url;
    url.database = ToUtf8(path);
    ConnectError error;
    const auto db = ConnectSqlite(url, &error);
    if (!db)
        throw msg.file(L"is an Optuna storage that could not be opened");
    return StorageReader(*db, FileTime(path), options, msg).read();
}

OrsContent ReadOptunaStudy(SqlConnection& db, const std::string& created, const ImportOptions& options,
                           const ImportMessages& msg)
{
    return StorageReader(db, created, options, msg).read();
}

} // namespace ors::import
