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
#include <chrono>
#include <limits>
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>

namespace ors::import {

namespace {

constexpr const char* kRequiredTables[] = {"studies", "trials", "trial_params", "trial_values"};

// A parameter's distribution, decoded once per distinct JSON text.
struct Distribution {
    bool categorical = false;
    bool log = false;
    std::vector<JsonValue> choices;
};

Distribution decodeDistribution(const std::string& json)
{
    Distribution d;
    JsonValue doc;
    if (!ParseJson(json, doc))
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
}

} // namespace

// What was read of the study so far. Trials are kept as the server gave them
// (parameters by interned name and distribution) so a refresh adds the new
// ones and the records are coded again from all of them.
struct OptunaStudyReader::State {
    ImportOptions options;
    ImportMessages msg;
    std::int64_t studyId = 0;
    std::string studyName;
    std::int64_t objectives = 0;
    std::vector<std::string> functions;
    std::vector<std::int32_t> directions;

    struct Trial {
        std::int64_t id = 0;
        std::int64_t number = 0;
        std::uint32_t present = 0; // values given
        bool failed = false;       // a value that is not a finite number
    };
    std::vector<Trial> trials; // completed trials in the order they were read
    // Trial k's value of objective j at [k * objectives + j]; NaN where it is
    // missing or not finite.
    std::vector<double> values;
    struct Param {
        std::uint32_t trial;
        std::uint32_t name;
        std::uint32_t dist;
        bool number; // param_value held a number
        double value;
    };
    std::vector<Param> params;
    std::vector<std::string> names;
    std::unordered_map<std::string, std::uint32_t> nameIndex;
    std::vector<Distribution> dists;
    std::unordered_map<std::string, std::uint32_t> distIndex;
    // Every trial below `from` is finished and read: only ids from there on
    // are kept to tell what is new. Counts below it are kept as numbers.
    std::unordered_set<std::int64_t> completedAbove; // completed trials read, id >= from
    std::unordered_set<std::int64_t> failedAbove;    // state FAIL, id >= from
    std::uint64_t failedBelow = 0;
    std::uint64_t trialsBelow = 0; // trials of the study below `from`, any state
    std::uint64_t trialCount = 0;  // trials of the study seen, any state

    // The next refresh reads trials from this id: the lowest one unfinished,
    // or missing below one seen (a worker's insert not yet committed).
    std::int64_t from = 0;
    std::int64_t maxSeen = -1;
    std::map<std::int64_t, std::chrono::steady_clock::time_point> gaps;

    std::int64_t completed = 0; // completed trials when the study was picked
    // A study left on its server: per input, what its value indices stand for.
    bool serverSide = false;
    struct ServerInput {
        std::string name;
        std::uint64_t count = 0;         // values, "(none)" included
        std::uint64_t none = UINT64_MAX; // value index of "(none)"
        // Without choices the value indices follow the stored numbers, held
        // once (the distinct values of the data object): a million distinct
        // numbers are common. With choices, the stored values of each index.
        bool ordered = true;
        std::vector<double> numbers;
        std::vector<std::vector<double>> stored;
        std::unordered_map<double, std::uint64_t> index;

        // The value index of a stored value; count when it has none.
        std::uint64_t find(double v) const
        {
            if (!ordered) {
                const auto it = index.find(v);
                return it == index.end() ? count : it->second;
            }
            const auto it = std::lower_bound(numbers.begin(), numbers.end(), v);
            return it != numbers.end() && *it == v ? std::uint64_t(it - numbers.begin()) : count;
        }
        // The stored values of value indices first .. last ("(none)" aside).
        std::vector<double> storedIn(std::uint64_t first, std::uint64_t last) const
        {
            std::vector<double> out;
            for (std::uint64_t k = first; k <= last; ++k)
                if (ordered && k != none)
                    out.push_back(numbers[k]);
                else if (!ordered)
                    out.insert(out.end(), stored[k].begin(), stored[k].end());
            return out;
        }
    };

    std::vector<ServerInput> server;
    // A slice's conditions on the trials (alias t), " AND ..."; empty: every trial.
    std::string where;
    std::vector<SqlParam> whereParams;
    // A slice has every input of its study, in the study's order, even one
    // none of its trials has (held at "(none)").
    std::vector<std::string> inputOrder;

    State(ImportOptions o, ImportMessages m) : options(std::move(o)), msg(std::move(m)) {}

    [[noreturn]] void failure(const SqlError& e) const;
    std::unique_ptr<SqlRows> query(SqlConnection& db, std::string_view sql, std::span<const SqlParam> params = {}) const;
    bool step(SqlRows& rows) const;
    void pickStudy(SqlConnection& db);
    void readObjectives(SqlConnection& db);
    bool fetch(SqlConnection& db);
    OrsContent build(const std::string& created) const;
    std::uint64_t estimate(SqlConnection& db) const;
    OrsContent describe(SqlConnection& db, const std::string& created);
    // The held inputs as conditions on the trials (alias t), " AND ..." with
    // their parameters appended to params.
    std::string condition(const std::vector<HeldRange>& held, std::vector<SqlParam>& params) const;
};

// A missing id below the highest one seen is waited for this long, then taken
// for a rolled-back insert.
constexpr auto kGapPatience = std::chrono::seconds(60);

[[noreturn]] void OptunaStudyReader::State::failure(const SqlError& e) const
{
    switch (e.kind) {
    case SqlError::Kind::NoMemory:
        throw std::bad_alloc();
    case SqlError::Kind::Damaged:
        throw msg.file(L"is a damaged Optuna storage: its database structure is broken");
    case SqlError::Kind::Other:
        break;
    }
    throw msg.file(L"is an Optuna storage that could not be read (" + FromUtf8(e.detail) + L")");
}

std::unique_ptr<SqlRows> OptunaStudyReader::State::query(SqlConnection& db, std::string_view sql,
                                                          std::span<const SqlParam> params) const
{
    try {
        return db.Query(sql, params);
    } catch (const SqlError& e) {
        failure(e);
    }
}

bool OptunaStudyReader::State::step(SqlRows& rows) const
{
    try {
        return rows.Next();
    } catch (const SqlError& e) {
        failure(e);
    }
}

void OptunaStudyReader::State::pickStudy(SqlConnection& db)
{
    for (const char* table : kRequiredTables) {
        std::string type;
        try {
            type = db.ObjectType(table);
        } catch (const SqlError& e) {
            failure(e);
        }
        if (type.empty())
            throw msg.file(L"is an Optuna storage without its table \"" + FromUtf8(table) + L"\"");
        if (type != "table")
            throw msg.file(L"is not an Optuna storage: \"" + FromUtf8(table) + L"\" is not a plain table");
    }
    struct Study {
        std::int64_t id;
        std::string name;
        std::int64_t completed;
    };
    std::vector<Study> studies;
    {
        auto s = query(db, "SELECT s.study_id, s.study_name, (SELECT count(*) FROM trials t WHERE t.study_id = "
                           "s.study_id AND t.state = 'COMPLETE') FROM studies s ORDER BY s.study_id");
        while (step(*s))
            studies.push_back({s->Int(0), s->Text(1), s->Int(2)});
    }
    if (studies.empty())
        throw msg.file(L"is an Optuna storage without studies");
    const Study* study = nullptr;
    const auto studyList = [&] {
        std::wstring list;
        for (const auto& st : studies)
            list += (list.empty() ? L"" : L", ") + Quoted(st.name) + L" (" + std::to_wstring(st.completed) +
                    (st.completed == 1 ? L" completed trial)" : L" completed trials)");
        return list;
    };
    if (!options.study.empty()) {
        for (const auto& st : studies)
            if (st.name == options.study)
                study = &st;
        if (!study)
            throw msg.file(L"holds no Optuna study named " + Quoted(options.study) + L"; its studies: " + studyList());
    } else {
        // Studies without completed trials are no choice.
        std::vector<const Study*> candidates;
        for (const auto& st : studies)
            if (st.completed > 0)
                candidates.push_back(&st);
        if (candidates.size() > 1) {
            ChoiceNeeded choice;
            choice.message = msg.file(L"holds several Optuna studies: " + studyList() + L". Choose one to open").message;
            for (const Study* st : candidates)
                choice.studies.push_back({st->name, std::uint64_t(st->completed)});
            throw choice;
        }
        study = candidates.empty() ? &studies.front() : candidates.front();
    }
    if (study->completed == 0)
        throw msg.file(L"holds no completed trials of the Optuna study " + Quoted(study->name));
    if (std::uint64_t(study->completed) > kMaxRecords)
        throw msg.file(L"holds more than " + std::to_wstring(kMaxRecords) + L" completed trials");
    SW_TRACE(L"Data provider : Optuna study \"%ls\", %lu completed trials (%lu studies in the file)",
             FromUtf8(study->name).c_str(), static_cast<unsigned long>(study->completed),
             static_cast<unsigned long>(studies.size()));
    studyId = study->id;
    studyName = study->name;
    completed = study->completed;
}

// Objectives: one direction each; without directions, as many as values.
void OptunaStudyReader::State::readObjectives(SqlConnection& db)
{
    const SqlParam id[] = {studyId};
    std::unordered_map<std::int64_t, std::int32_t> byObjective;
    if (db.HasTable("study_directions")) {
        auto s = query(db, "SELECT objective, direction FROM study_directions WHERE study_id = ?", id);
        while (step(*s)) {
            const std::int64_t objective = s->Int(0);
            objectives = std::max(objectives, objective + 1);
            const std::string direction = s->Text(1);
            byObjective[objective] = direction == "MAXIMIZE" || direction == "StudyDirection.MAXIMIZE" || direction == "2"
                                         ? kMaximize
                                         : kMinimize;
        }
    }
    if (objectives <= 0) {
        auto s = query(db,
                       "SELECT max(v.objective) + 1 FROM trial_values v JOIN trials t ON t.trial_id = v.trial_id "
                       "WHERE t.study_id = ?",
                       id);
        if (step(*s))
            objectives = s->Int(0);
    }
    if (objectives <= 0 || objectives > 1000)
        throw msg.file(L"holds an Optuna study without objective values (" + Quoted(studyName) + L")");

    std::vector<std::string> metrics;
    if (db.HasTable("study_system_attributes")) {
        auto s = query(db,
                       "SELECT value_json FROM study_system_attributes WHERE study_id = ? AND " + db.QuoteName("key") +
                           " = 'study:metric_names'",
                       id);
        JsonValue doc;
        if (step(*s) && ParseJson(s->Text(0), doc) && doc.type == JsonValue::Type::Array)
            for (const JsonValue& item : doc.items) {
                if (item.type != JsonValue::Type::String) {
                    metrics.clear();
                    break;
                }
                metrics.push_back(item.text);
            }
    }
    if (metrics.size() == std::size_t(objectives))
        functions = std::move(metrics);
    else if (objectives == 1)
        functions = {"value"};
    else
        for (std::int64_t k = 0; k < objectives; ++k)
            functions.push_back("value " + std::to_string(k));
    for (std::int64_t k = 0; k < objectives; ++k) {
        const auto it = byObjective.find(k);
        directions.push_back(it == byObjective.end() ? kMinimize : it->second);
    }
}

// Reads the trials from `from` on; true when a trial finished since the last
// read. What is read joins the state only when every query succeeded.
bool OptunaStudyReader::State::fetch(SqlConnection& db)
{
    const auto now = std::chrono::steady_clock::now();
    const std::int64_t scanFrom = from;
    // Every study's trials, in id order: an id missing in between is a gap,
    // not another study's.
    std::vector<std::int64_t> seen;
    struct Fresh {
        std::int64_t id, number;
    };
    std::vector<Fresh> fresh;                           // completed since the last read
    std::vector<std::pair<std::int64_t, bool>> study;   // this study's ids, and whether FAIL
    std::int64_t lowestUnfinished = INT64_MAX, maxId = maxSeen;
    // A slice reads only the completed trials its conditions select.
    std::unordered_set<std::int64_t> selected;
    if (!where.empty()) {
        std::vector<SqlParam> p{studyId, scanFrom};
        p.insert(p.end(), whereParams.begin(), whereParams.end());
        auto s = query(db,
                       "SELECT t.trial_id FROM trials t WHERE t.study_id = ? AND t.trial_id >= ? AND t.state = "
                       "'COMPLETE'" + where,
                       p);
        while (step(*s))
            selected.insert(s->Int(0));
    }
    {
        const SqlParam p[] = {scanFrom};
        auto s = query(db, "SELECT trial_id, study_id, number, state FROM trials WHERE trial_id >= ? ORDER BY trial_id",
                       p);
        while (step(*s)) {
            const std::int64_t id = s->Int(0);
            seen.push_back(id);
            maxId = std::max(maxId, id);
            if (s->Int(1) != studyId)
                continue;
            const std::string state = s->Text(3);
            const bool failed = state == "FAIL" || state == "TrialState.FAIL" || state == "4";
            study.emplace_back(id, failed);
            if (state == "COMPLETE" || state == "TrialState.COMPLETE" || state == "1") {
                if (!completedAbove.count(id) && (where.empty() || selected.count(id)))
                    fresh.push_back({id, s->Int(2)});
            } else if (!failed && state != "PRUNED" && state != "TrialState.PRUNED" && state != "2") {
                lowestUnfinished = std::min(lowestUnfinished, id); // RUNNING or WAITING
            }
        }
    }
    std::sort(seen.begin(), seen.end()); // servers order as asked; a cheap guarantee
    const auto wasSeen = [&](std::int64_t id) { return std::binary_search(seen.begin(), seen.end(), id); };
    if (trials.size() + fresh.size() > kMaxRecords)
        throw msg.file(L"holds more than " + std::to_wstring(kMaxRecords) + L" completed trials");

    // Values and parameters of the new trials, into scratch that joins the
    // state only when every query succeeded.
    std::unordered_map<std::int64_t, std::uint32_t> addedIndex; // id -> index into trials
    std::vector<double> addedValues(fresh.size() * std::size_t(objectives), std::numeric_limits<double>::quiet_NaN());
    std::vector<Trial> added;
    std::vector<Param> addedParams;
    auto addedNames = names;
    auto addedNameIndex = nameIndex;
    auto addedDists = dists;
    auto addedDistIndex = distIndex;
    if (!fresh.empty()) {
        added.reserve(fresh.size());
        addedIndex.reserve(fresh.size());
        for (const Fresh& f : fresh) {
            addedIndex.emplace(f.id, std::uint32_t(trials.size() + added.size()));
            added.push_back({f.id, f.number});
        }
        std::vector<Fresh>().swap(fresh);
        std::vector<SqlParam> p{studyId, scanFrom};
        p.insert(p.end(), whereParams.begin(), whereParams.end());
        {
            auto s = query(db,
                           "SELECT v.trial_id, v.objective, v.value FROM trial_values v JOIN trials t ON t.trial_id = "
                           "v.trial_id WHERE t.study_id = ? AND t.trial_id >= ? AND t.state = 'COMPLETE'" + where,
                           p);
            while (step(*s)) {
                const auto it = addedIndex.find(s->Int(0));
                if (it == addedIndex.end())
                    continue;
                const std::size_t k = it->second - trials.size();
                Trial& t = added[k];
                const std::int64_t objective = s->Int(1);
                if (objective < 0 || objective >= objectives)
                    throw msg.file(L"has a value of objective " + std::to_wstring(objective) +
                                   L", which its study does not have (trial " + std::to_wstring(t.number) + L")");
                double v = 0;
                // Infinite values are stored as NULL with value_type: a failed evaluation.
                if (!s->Number(2, &v) || !std::isfinite(v))
                    t.failed = true;
                else
                    addedValues[k * std::size_t(objectives) + std::size_t(objective)] = v;
                ++t.present;
            }
        }
        auto s = query(db,
                       "SELECT p.trial_id, p.param_name, p.param_value, p.distribution_json FROM trial_params p JOIN "
                       "trials t ON t.trial_id = p.trial_id WHERE t.study_id = ? AND t.trial_id >= ? AND t.state = "
                       "'COMPLETE'" + where + " ORDER BY t.number, t.trial_id, p.param_id",
                       p);
        while (step(*s)) {
            const auto it = addedIndex.find(s->Int(0));
            if (it == addedIndex.end())
                continue;
            const auto name = addedNameIndex.emplace(s->Text(1), std::uint32_t(addedNames.size()));
            if (name.second)
                addedNames.push_back(name.first->first);
            const auto dist = addedDistIndex.emplace(s->Text(3), std::uint32_t(addedDists.size()));
            if (dist.second)
                addedDists.push_back(decodeDistribution(dist.first->first));
            double v = 0;
            const bool number = s->Number(2, &v);
            addedParams.push_back({it->second, name.first->second, dist.first->second, number, v});
        }
    }

    // Everything read: the state takes it.
    trials.insert(trials.end(), added.begin(), added.end());
    values.insert(values.end(), addedValues.begin(), addedValues.end());
    params.insert(params.end(), addedParams.begin(), addedParams.end());
    names = std::move(addedNames);
    nameIndex = std::move(addedNameIndex);
    dists = std::move(addedDists);
    distIndex = std::move(addedDistIndex);
    for (const auto& [id, index] : addedIndex)
        completedAbove.insert(id);
    const std::uint64_t failedBefore = failedBelow + failedAbove.size();
    for (const auto& [id, failed] : study)
        if (failed)
            failedAbove.insert(id);
    trialCount = trialsBelow + study.size();
    // Ids missing below the highest seen may be inserts not yet committed.
    for (auto it = gaps.begin(); it != gaps.end();)
        it = wasSeen(it->first) || now - it->second > kGapPatience ? gaps.erase(it) : std::next(it);
    // New gaps lie above the highest id of the last read (the most recent
    // few thousand suffice: workers hold few inserts open at once).
    if (!seen.empty())
        for (std::int64_t id = std::max({maxSeen + 1, seen.front(), maxId - 4096}); id < maxId; ++id)
            if (!wasSeen(id))
                gaps.try_emplace(id, now);
    maxSeen = maxId;
    from = std::min(lowestUnfinished, maxSeen + 1);
    if (!gaps.empty())
        from = std::min(from, gaps.begin()->first);
    // What lies below the next read's start is settled: counted, not kept.
    for (const auto& [id, failed] : study)
        if (id < from)
            ++trialsBelow;
    for (auto it = completedAbove.begin(); it != completedAbove.end();)
        it = *it < from ? completedAbove.erase(it) : std::next(it);
    for (auto it = failedAbove.begin(); it != failedAbove.end();)
        if (*it < from)
            ++failedBelow, it = failedAbove.erase(it);
        else
            ++it;
    return !added.empty() || failedBelow + failedAbove.size() != failedBefore;
}

OrsContent OptunaStudyReader::State::build(const std::string& created) const
{
    // Records in the order of the trials' numbers.
    std::vector<std::uint32_t> order(trials.size());
    for (std::uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return trials[a].number != trials[b].number ? trials[a].number < trials[b].number : trials[a].id < trials[b].id;
    });
    const std::size_t rows = trials.size();
    for (const std::uint32_t i : order)
        if (!trials[i].failed && trials[i].present < std::size_t(objectives)) {
            std::size_t k = 0;
            while (k < std::size_t(objectives) && !std::isnan(values[i * std::size_t(objectives) + k]))
                ++k;
            throw msg.file(L"has a completed trial without a value of \"" + FromUtf8(functions[k]) + L"\" (trial " +
                           std::to_wstring(trials[i].number) + L")");
        }
    // Records of the trials kept.
    std::vector<std::uint32_t> recordOf(rows, UINT32_MAX);
    std::size_t kept = 0;
    for (const std::uint32_t i : order)
        if (!trials[i].failed)
            recordOf[i] = std::uint32_t(kept++);
    if (kept == 0)
        throw msg.file(L"holds no completed trials of the Optuna study " + Quoted(studyName) + L" with finite values");

    OrsContent content;
    OrsHeader& h = content.header;
    h.functions = functions;
    h.functionDirections = directions;

    // Parameters, named in the order they first appear, as (parameter,
    // record) cells: a storage of many names and few trials per name must not
    // hold a cell per name and trial but for the one parameter being coded.
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
    std::vector<std::uint32_t> inputOf(names.size(), UINT32_MAX);
    std::vector<bool> logParam;
    const auto textId = [&](std::string text) {
        auto [it, added] = textIndex.emplace(std::move(text), std::uint32_t(texts.size()));
        if (added)
            texts.push_back(it->first);
        return it->second;
    };
    for (const std::string& name : inputOrder) {
        if (const auto it = nameIndex.find(name); it != nameIndex.end())
            inputOf[it->second] = std::uint32_t(h.inputs.size());
        h.inputs.push_back({studyName, name});
        logParam.push_back(false);
    }
    for (const Param& p : params) {
        const Trial& t = trials[p.trial];
        if (t.failed)
            continue;
        const std::string& name = names[p.name];
        if (inputOf[p.name] == UINT32_MAX) {
            inputOf[p.name] = std::uint32_t(h.inputs.size());
            h.inputs.push_back({studyName, name});
            logParam.push_back(false);
        }
        const std::uint32_t input = inputOf[p.name];
        const auto where = [&] { return L"trial " + std::to_wstring(t.number) + L", parameter " + Quoted(name); };
        if (!p.number || !std::isfinite(p.value))
            throw msg.file(L"has a parameter value that is not a finite number (" + where() + L")");
        const Distribution& d = dists[p.dist];
        Cell cell{input, recordOf[p.trial], InputCell::Kind::Number, p.value, kNoText};
        if (d.categorical) {
            // The stored value is the index of the choice.
            const double v = p.value;
            if (v < 0 || v >= double(d.choices.size()) || v != std::floor(v))
                throw msg.file(L"has a categorical parameter value that is not one of its choices (" + where() + L")");
            const JsonValue& choice = d.choices[std::size_t(v)];
            switch (choice.type) {
            case JsonValue::Type::Null:
                cell.kind = InputCell::Kind::Missing;
                break;
            case JsonValue::Type::Number:
                cell.value = choice.number;
                cell.kind = std::isfinite(choice.number) ? InputCell::Kind::Number : InputCell::Kind::NotFinite;
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
            logParam[input] = logParam[input] || d.log;
        }
        cells.push_back(cell);
    }
    if (h.inputs.empty())
        throw msg.file(L"holds an Optuna study without parameters (" + Quoted(studyName) + L")");
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
            throw msg.file(L"has a parameter value that is not a finite number (parameter " + Quoted(h.inputs[p].name) +
                           L")");
        // Log scale where every value is above zero (a "(none)" is past the others).
        const double* v = parsed.inputs.data() + p * kept;
        if (logParam[p] && !h.inputs[p].labelled() && std::all_of(v, v + kept, [](double x) { return x > 0; }))
            h.inputs[p].scale = kLogScale;
    }
    std::vector<Cell>().swap(cells);

    parsed.functions = HugeArray<double>(std::size_t(objectives) * kept);
    for (std::size_t k = 0; k < std::size_t(objectives); ++k)
        for (std::size_t i = 0; i < rows; ++i)
            if (!trials[i].failed)
                parsed.functions.data()[k * kept + recordOf[i]] = values[i * std::size_t(objectives) + k];
    h.creator = "Optuna study \"" + studyName + "\"";
    h.created = created;
    FinishContent(content, std::move(parsed), msg);
    content.skippedRecords = failedBelow + failedAbove.size() + (rows - kept);
    return content;
}

OptunaStudyReader::OptunaStudyReader(ImportOptions options, ImportMessages msg)
    : m(std::make_unique<State>(std::move(options), std::move(msg)))
{
}

OptunaStudyReader::~OptunaStudyReader() = default;

OrsContent OptunaStudyReader::Read(SqlConnection& db, const std::string& created)
{
    m->pickStudy(db);
    m->readObjectives(db);
    if (m->options.memoryBudget) {
        const std::uint64_t need = m->estimate(db);
        if (need > m->options.memoryBudget) {
            SW_TRACE(L"Data provider : the study needs about %llu MiB, above the budget of %llu MiB: it stays on "
                     L"the server",
                     static_cast<unsigned long long>(need >> 20),
                     static_cast<unsigned long long>(m->options.memoryBudget >> 20));
            return m->describe(db, created);
        }
    }
    m->fetch(db);
    return m->build(created);
}

std::optional<OrsContent> OptunaStudyReader::Refresh(SqlConnection& db, const std::string& created)
{
    if (m->serverSide || !m->fetch(db))
        return std::nullopt;
    return m->build(created);
}

std::uint64_t OptunaStudyReader::TrialCount() const
{
    return m->trialCount;
}

// What a read keeps per completed trial (measured on a million trials): the
// trial, each parameter as read and coded, each value.
std::uint64_t OptunaStudyReader::State::estimate(SqlConnection& db) const
{
    const SqlParam id[] = {studyId};
    // The schema indexes parameters by trial: one trial's count is cheap.
    auto s = query(db,
                   "SELECT count(*) FROM trial_params WHERE trial_id = (SELECT min(trial_id) FROM trials WHERE "
                   "study_id = ? AND state = 'COMPLETE')",
                   id);
    const std::uint64_t params = step(*s) ? std::uint64_t(std::max<std::int64_t>(s->Int(0), 1)) : 1;
    return std::uint64_t(completed) * (48 + params * 72 + std::uint64_t(objectives) * 16);
}

OrsContent OptunaStudyReader::State::describe(SqlConnection& db, const std::string& created)
{
    const SqlParam id[] = {studyId};
    {
        auto s = query(db, "SELECT count(*) FROM trials WHERE study_id = ?", id);
        trialCount = step(*s) ? std::uint64_t(s->Int(0)) : 0;
    }
    // Parameters in the order they first appear, and how many trials have each.
    struct Name {
        std::int64_t first, count;
        std::vector<std::pair<double, std::uint32_t>> values; // stored value, distribution
    };
    std::map<std::string, Name> byName;
    {
        auto s = query(db,
                       "SELECT p.param_name, min(p.param_id), count(*) FROM trial_params p JOIN trials t ON "
                       "t.trial_id = p.trial_id WHERE t.study_id = ? AND t.state = 'COMPLETE' GROUP BY p.param_name",
                       id);
        while (step(*s))
            byName[s->Text(0)] = {s->Int(1), s->Int(2), {}};
    }
    {
        auto s = query(db,
                       "SELECT DISTINCT p.param_name, p.param_value, p.distribution_json FROM trial_params p JOIN "
                       "trials t ON t.trial_id = p.trial_id WHERE t.study_id = ? AND t.state = 'COMPLETE'",
                       id);
        while (step(*s)) {
            const auto it = byName.find(s->Text(0));
            double v = 0;
            if (it == byName.end() || !s->Number(1, &v) || !std::isfinite(v))
                throw msg.file(L"has a parameter value that is not a finite number (parameter " +
                               Quoted(s->Text(0)) + L")");
            const auto dist = distIndex.emplace(s->Text(2), std::uint32_t(dists.size()));
            if (dist.second)
                dists.push_back(decodeDistribution(dist.first->first));
            it->second.values.emplace_back(v, dist.first->second);
        }
    }
    std::vector<std::pair<std::int64_t, const std::string*>> order;
    for (const auto& [name, n] : byName)
        order.emplace_back(n.first, &name);
    std::sort(order.begin(), order.end());
    if (order.empty())
        throw msg.file(L"holds an Optuna study without parameters (" + Quoted(studyName) + L")");

    OrsContent content;
    OrsHeader& h = content.header;
    h.functions = functions;
    h.functionDirections = directions;
    h.creator = "Optuna study \"" + studyName + "\"";
    h.created = created;
    // A study too large to read is best shown one held value at a time.
    h.dataType = 0;
    for (const auto& [first, name] : order) {
        const Name& n = byName[*name];
        h.inputs.push_back({studyName, *name});
        ServerInput in;
        in.name = *name;
        // The cells the full read would code: each stored value once, and a
        // "(none)" when some completed trial lacks the parameter.
        std::vector<InputCell> cells;
        bool log = false;
        for (const auto& [v, dist] : n.values) {
            const Distribution& d = dists[dist];
            InputCell cell;
            cell.kind = InputCell::Kind::Number;
            cell.number = v;
            if (d.categorical) {
                in.ordered = false;
                if (v < 0 || v >= double(d.choices.size()) || v != std::floor(v))
                    throw msg.file(L"has a categorical parameter value that is not one of its choices (parameter " +
                                   Quoted(*name) + L")");
                const JsonValue& choice = d.choices[std::size_t(v)];
                if (choice.type == JsonValue::Type::Null) {
                    cell.kind = InputCell::Kind::Missing;
                } else if (choice.type == JsonValue::Type::Number) {
                    cell.number = choice.number;
                    cell.text = choice.text;
                } else {
                    cell.kind = InputCell::Kind::Text;
                    cell.text = choice.type == JsonValue::Type::Bool ? (choice.boolean ? "True" : "False") : choice.text;
                }
            } else {
                log = log || d.log;
            }
            cells.push_back(std::move(cell));
        }
        // Texts only where a choice is text: then numbers are labels too.
        if (std::any_of(cells.begin(), cells.end(), [](const InputCell& c) { return c.kind == InputCell::Kind::Text; }))
            for (InputCell& c : cells)
                if (c.kind == InputCell::Kind::Number && c.text.empty()) {
                    char buffer[32];
                    c.text.assign(buffer, std::to_chars(buffer, buffer + sizeof buffer, c.number).ptr);
                }
        const bool lacking = n.count < completed;
        if (lacking)
            cells.push_back({});
        std::vector<double> coded(cells.size());
        if (CodeInputCells(cells, h.inputs.back(), coded.data()) < cells.size())
            throw msg.file(L"has a parameter value that is not a finite number (parameter " + Quoted(*name) + L")");
        std::vector<double> distinct = coded;
        std::sort(distinct.begin(), distinct.end());
        distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        in.count = distinct.size();
        if (!in.ordered)
            in.stored.resize(distinct.size());
        for (std::size_t k = 0; k < coded.size(); ++k) {
            const auto at = std::uint64_t(std::lower_bound(distinct.begin(), distinct.end(), coded[k]) - distinct.begin());
            if (cells[k].kind == InputCell::Kind::Missing)
                in.none = at; // a trial without the parameter, or a choice of None
            if (k < n.values.size() && !in.ordered) {
                in.stored[at].push_back(n.values[k].first);
                in.index.emplace(n.values[k].first, at);
            }
        }
        if (in.ordered)
            in.numbers = distinct;
        if (log && !h.inputs.back().labelled() && distinct.front() > 0)
            h.inputs.back().scale = kLogScale;
        content.distinctValues.push_back(std::move(distinct));
        server.push_back(std::move(in));
    }
    serverSide = true;
    return content;
}

std::string OptunaStudyReader::State::condition(const std::vector<HeldRange>& held, std::vector<SqlParam>& params) const
{
    const auto number = [](double v) {
        char buffer[32];
        return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, v).ptr);
    };
    std::string sql;
    for (const HeldRange& h : held) {
        if (h.input >= server.size() || h.first > h.last)
            throw msg.file(L"was asked for a value it does not have");
        const ServerInput& in = server[h.input];
        const std::uint64_t last = std::min<std::uint64_t>(h.last, in.count - 1);
        if (h.first == 0 && last + 1 == in.count)
            continue; // "All"
        const std::vector<double> values = in.storedIn(h.first, last);
        std::string any;
        if (!values.empty()) {
            params.emplace_back(in.name);
            any = "t.trial_id IN (SELECT trial_id FROM trial_params WHERE param_name = ? AND ";
            if (in.ordered) {
                // Numbers: the held values are every stored one between the ends.
                const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
                any += "param_value >= ? AND param_value <= ?)";
                params.emplace_back(number(*lo));
                params.emplace_back(number(*hi));
            } else {
                any += "param_value IN (";
                for (std::size_t k = 0; k < values.size(); ++k) {
                    any += k ? ", ?" : "?";
                    params.emplace_back(number(values[k]));
                }
                any += "))";
            }
        }
        if (in.none >= h.first && in.none <= last) {
            params.emplace_back(in.name);
            any += std::string(any.empty() ? "" : " OR ") +
                   "t.trial_id NOT IN (SELECT trial_id FROM trial_params WHERE param_name = ? AND trial_id IS NOT NULL)";
        }
        sql += " AND (" + any + ")";
    }
    return sql;
}

bool OptunaStudyReader::ServerSide() const
{
    return m->serverSide;
}

std::uint64_t OptunaStudyReader::CompletedCount() const
{
    return std::uint64_t(m->completed);
}

std::vector<std::uint64_t> OptunaStudyReader::Reachable(SqlConnection& db, std::uint32_t input,
                                                        const std::vector<HeldRange>& held) const
{
    if (input >= m->server.size())
        throw m->msg.file(L"was asked for an input it does not have");
    const State::ServerInput& in = m->server[input];
    std::vector<SqlParam> p{m->studyId, in.name};
    const std::string where = m->condition(held, p);
    std::vector<std::uint64_t> out;
    {
        auto s = m->query(db,
                          "SELECT DISTINCT p.param_value FROM trial_params p JOIN trials t ON t.trial_id = p.trial_id "
                          "WHERE t.study_id = ? AND t.state = 'COMPLETE' AND p.param_name = ?" + where,
                          p);
        double v = 0;
        while (m->step(*s))
            if (s->Number(0, &v) && in.find(v) < in.count)
                out.push_back(in.find(v));
    }
    if (in.none != UINT64_MAX) {
        std::vector<SqlParam> q{m->studyId};
        const std::string cond = m->condition(held, q);
        q.emplace_back(in.name);
        auto s = m->query(db,
                          "SELECT t.trial_id FROM trials t WHERE t.study_id = ? AND t.state = 'COMPLETE'" + cond +
                              " AND t.trial_id NOT IN (SELECT trial_id FROM trial_params WHERE param_name = ? AND "
                              "trial_id IS NOT NULL) LIMIT 1",
                          q);
        if (m->step(*s))
            out.push_back(in.none);
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

std::uint64_t OptunaStudyReader::Count(SqlConnection& db, const std::vector<HeldRange>& held) const
{
    std::vector<SqlParam> p{m->studyId};
    const std::string where = m->condition(held, p);
    auto s = m->query(db, "SELECT count(*) FROM trials t WHERE t.study_id = ? AND t.state = 'COMPLETE'" + where, p);
    return m->step(*s) ? std::uint64_t(s->Int(0)) : 0;
}

std::optional<std::vector<std::uint64_t>> OptunaStudyReader::Match(SqlConnection& db,
                                                                   const std::vector<HeldRange>& held) const
{
    std::vector<SqlParam> p{m->studyId};
    const std::string where = m->condition(held, p);
    std::int64_t trial = 0;
    {
        auto s = m->query(db,
                          "SELECT t.trial_id FROM trials t WHERE t.study_id = ? AND t.state = 'COMPLETE'" + where +
                              " ORDER BY t.number, t.trial_id LIMIT 1",
                          p);
        if (!m->step(*s))
            return std::nullopt;
        trial = s->Int(0);
    }
    std::vector<std::uint64_t> out;
    for (const State::ServerInput& in : m->server)
        out.push_back(in.none);
    const SqlParam q[] = {trial};
    auto s = m->query(db, "SELECT param_name, param_value FROM trial_params WHERE trial_id = ?", q);
    while (m->step(*s)) {
        double v = 0;
        const std::string name = s->Text(0);
        for (std::size_t i = 0; i < m->server.size(); ++i)
            if (m->server[i].name == name && s->Number(1, &v) && m->server[i].find(v) < m->server[i].count)
                out[i] = m->server[i].find(v);
    }
    return out;
}

std::unique_ptr<OptunaStudyReader> OptunaStudyReader::Slice(const OptunaStudyReader& whole,
                                                            const std::vector<HeldRange>& held)
{
    ImportOptions options = whole.m->options;
    options.study = whole.m->studyName;
    options.memoryBudget = 0; // what the user chose to see
    auto slice = std::make_unique<OptunaStudyReader>(std::move(options), whole.m->msg);
    slice->m->where = whole.m->condition(held, slice->m->whereParams);
    for (const State::ServerInput& in : whole.m->server)
        slice->m->inputOrder.push_back(in.name);
    return slice;
}

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
    return OptunaStudyReader(options, msg).Read(*db, FileTime(path));
}

} // namespace ors::import
