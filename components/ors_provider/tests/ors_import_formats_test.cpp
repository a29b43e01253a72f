// Other tools' results, each written here in the shape the tool writes it,
// loaded through the provider's Load into inputs, functions, values and
// value indices.
#include "ImportTestSupport.h"

#include "support/FakeSnagwise.h"

#include <random>

using namespace importtest;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Contains;

namespace {

const char* const kFloat = R"({"name": "FloatDistribution", "attributes": {"step": null, "low": -2.0, "high": 2.0, "log": false}})";
const char* const kInt = R"({"name": "IntDistribution", "attributes": {"log": false, "step": 1, "low": 1, "high": 8}})";
const char* const kChoice = R"({"name": "CategoricalDistribution", "attributes": {"choices": ["adam", "sgd", "rms"]}})";

// Two studies: "warmup" (single objective, 2 completed trials) and "filter"
// (two objectives with metric names, 4 completed of 7, numbers stored out of
// order). Categorical parameters hold the choice index.
void writeOptunaStorage(const fs::path& path)
{
    std::string sql = kOptunaSchema;
    sql += "INSERT INTO studies VALUES (1, 'warmup'), (2, 'filter');"
           "INSERT INTO study_directions VALUES (1, 'MINIMIZE', 1, 0), (2, 'MINIMIZE', 2, 0), (3, 'MAXIMIZE', 2, 1);"
           "INSERT INTO study_system_attributes VALUES (1, 2, 'study:metric_names', '[\"error\", \"margin\"]');";
    struct Trial {
        int id, number, study;
        const char* state;
        double x, n, opt;
        std::vector<double> values;
    };
    const Trial trials[] = {
        {1, 0, 1, "COMPLETE", 0.25, 1, 0, {1.0}},
        {2, 1, 1, "COMPLETE", 0.75, 1, 0, {2.0}},
        {3, 0, 2, "COMPLETE", -1.5, 2, 2, {3.25, 0.5}},
        {4, 1, 2, "PRUNED", 0.0, 1, 0, {}},
        {5, 2, 2, "FAIL", 0.1, 1, 1, {}},
        {6, 4, 2, "COMPLETE", 0.5, 2, 0, {0.25, 1.5}},
        {7, 3, 2, "COMPLETE", 0.5, 4, 1, {4.25, -2.0}},
        {8, 5, 2, "RUNNING", 1.0, 3, 1, {}},
        {9, 6, 2, "COMPLETE", -1.5, 4, 2, {6.25, 0.0}},
    };
    for (const Trial& t : trials)
        sql += optunaTrial(t.id, t.number, t.study, t.state, {{"x", t.x, kFloat}, {"n", t.n, kInt}, {"opt", t.opt, kChoice}},
                           t.values);
    execSql(path, sql);
}

using Columns = std::vector<std::vector<double>>;

class Import : public ::testing::Test {
protected:
    TempDir m_dir;
};

} // namespace

TEST_F(Import, OptunaStorageGivesTheCompletedTrialsOfTheChosenStudy)
{
    const auto path = m_dir / "optuna.db";
    writeOptunaStorage(path);
    EXPECT_EQ(ors::DetectResultsFormat(path.wstring()), ors::SourceFormat::OptunaStorage);

    vantix::test::FakeSnagwise snag;
    const Loaded l = loadOk(path, {.study = L"filter"});
    EXPECT_THAT(snag.Traces(),
                Contains(HasSubstr(L"Data provider : Optuna study \"filter\", 4 completed trials (2 studies in the file)")));
    EXPECT_EQ(l.dataType, 0);
    EXPECT_EQ(l.skipped, 1u); // FAIL; pruned and running trials are no failures
    EXPECT_THAT(l.fullInputNames(), ElementsAre(L"filter:x", L"filter:n", L"filter:opt"));
    EXPECT_THAT(l.functions, ElementsAre(L"error", L"margin"));
    // Records in the order of the trial numbers 0, 3, 4, 6; choices rms, sgd,
    // adam, rms as codes of the labels in sorted order.
    EXPECT_EQ(l.inputValues, (Columns{{-1.5, 0.5, 0.5, -1.5}, {2, 4, 2, 4}, {1, 2, 0, 1}}));
    EXPECT_THAT(l.labels[2], ElementsAre(L"adam", L"rms", L"sgd"));
    EXPECT_THAT(l.labelled, ElementsAre(false, false, true));
    EXPECT_THAT(l.directions, ElementsAre(kDirectionMinimize, kDirectionMaximize));
    EXPECT_EQ(l.functionValues, (Columns{{3.25, 4.25, 0.25, 6.25}, {0.5, -2.0, 1.5, 0.0}}));
}

TEST_F(Import, OptunaStorageStudyChoiceAndObjectiveNames)
{
    const auto path = m_dir / "optuna.db";
    writeOptunaStorage(path);
    const Loaded warmup = loadOk(path, {.study = L"warmup"});
    EXPECT_EQ(warmup.records, 2u);
    EXPECT_THAT(warmup.functions, ElementsAre(L"value"));
    EXPECT_EQ(warmup.signals[0], L"warmup");

    EXPECT_EQ(errorTail(path, {.study = L"nope"}), L" holds no Optuna study named \"nope\"; its studies: "
                                                         L"\"warmup\" (2 completed trials), \"filter\" (4 completed "
                                                         L"trials).");

    // Without stored metric names, objectives are numbered.
    const LoadOptions filter{.study = L"filter"};
    execSql(path, "DELETE FROM study_system_attributes;");
    EXPECT_THAT(loadOk(path, filter).functions, ElementsAre(L"value 0", L"value 1"));
    execSql(path, "INSERT INTO study_system_attributes VALUES (1, 2, 'study:metric_names', "
                  "'[\"caf\\u00e9\", \"a \\\"b\\\"\"]');");
    EXPECT_THAT(loadOk(path, filter).functions, ElementsAre(L"caf\u00e9", L"a \"b\""));
}

TEST_F(Import, OptunaStorageFaults)
{
    const struct {
        const char* sql; // spoiling the two-study storage
        const wchar_t* study;
        const wchar_t* tail;
    } cases[] = {
        {"DELETE FROM trial_values WHERE trial_id = 9 AND objective = 1;", L"filter",
         L" has a completed trial without a value of \"margin\" (trial 6)."},
        {"UPDATE trial_params SET param_value = 3 WHERE trial_id = 9 AND param_name = 'opt';", L"filter",
         L" has a categorical parameter value that is not one of its choices (trial 6, parameter \"opt\")."},
        {"UPDATE trials SET state = 'FAIL' WHERE study_id = 1;", L"warmup",
         L" holds no completed trials of the Optuna study \"warmup\"."},
        // Optuna's tables replaced by views are not read.
        {"ALTER TABLE trial_values RENAME TO tv; CREATE VIEW trial_values AS SELECT * FROM tv;", L"filter",
         L" is not an Optuna storage: \"trial_values\" is not a plain table."},
        {"DROP TABLE trial_params;", L"filter", L" is an Optuna storage without its table \"trial_params\"."},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        const auto path = m_dir / ("fault" + std::to_string(n++) + ".db");
        writeOptunaStorage(path);
        execSql(path, c.sql);
        EXPECT_EQ(errorTail(path, {.study = c.study}), c.tail);
    }
}

TEST_F(Import, OptunaTrialsTableAsPandasWritesIt)
{
    // trials_dataframe().to_csv(): index column, dates, durations, user
    // attributes (quoted when they hold a comma or a line break), state last.
    const auto path = m_dir / "trials.csv";
    writeBytes(path,
              ",number,values_0,values_1,datetime_start,datetime_complete,duration,params_lr,params_n,params_opt,"
              "user_attrs_note,state\n"
              "0,0,0.5,3.0,2024-05-01 12:00:00.000001,2024-05-01 12:00:01.5,0 days 00:00:01.499999,0.01,2,sgd,"
              "\"tuned, twice\",COMPLETE\n"
              "1,1,,,2024-05-01 12:00:02,,,0.1,4,adam,,FAIL\n"
              "2,2,0.25,2.0,2024-05-01 12:00:03,2024-05-01 12:00:04,0 days 00:00:01,0.001,2,adam,,COMPLETE\n"
              "3,3,,,2024-05-01 12:00:05,2024-05-01 12:00:06,0 days 00:00:01,0.1,8,rmsprop,,PRUNED\n"
              "4,4,0.75,1.0,2024-05-01 12:00:07,2024-05-01 12:00:08,0 days 00:00:01,0.01,8,sgd,\"line one\n"
              "line two\",COMPLETE\n");
    EXPECT_EQ(ors::DetectResultsFormat(path.wstring()), ors::SourceFormat::OptunaCsv);
    const Loaded l = loadOk(path);
    EXPECT_EQ(l.skipped, 1u);
    EXPECT_THAT(l.fullInputNames(), ElementsAre(L"optuna:lr", L"optuna:n", L"optuna:opt"));
    EXPECT_THAT(l.functions, ElementsAre(L"value 0", L"value 1"));
    // Categorical texts: their position in byte order (adam, sgd).
    EXPECT_EQ(l.inputValues, (Columns{{0.01, 0.001, 0.01}, {2, 2, 8}, {1, 0, 1}}));
    EXPECT_EQ(l.functionValues, (Columns{{0.5, 0.25, 0.75}, {3.0, 2.0, 1.0}}));

    // Single objective, named metric; a completed row without its value is bad.
    const auto single = m_dir / "single.csv";
    writeBytes(single, ",number,value_loss,params_x,state\n0,0,1.5,0.1,COMPLETE\n1,1,,0.2,RUNNING\n");
    EXPECT_THAT(loadOk(single).functions, ElementsAre(L"loss"));
    writeBytes(single, ",number,value_loss,params_x,state\n0,0,1.5,0.1,COMPLETE\n1,1,,0.2,COMPLETE\n");
    EXPECT_EQ(errorTail(single), L", line 3: column \"value_loss\" is empty.");
}

TEST_F(Import, DakotaTabularData)
{
    // annotated: eval_id and interface columns, default response descriptors.
    const auto annotated = m_dir / "dakota.dat";
    writeBytes(annotated, "%eval_id interface             x1             x2         obj_fn nln_ineq_con_1 \n"
                         "1            SIM1            0.9            1.1         0.0002           0.26 \n"
                         "2            SIM1        0.90009            1.1   1.996404e-04   2.601620e-01 \n"
                         "3            SIM1            0.9         1.1001         0.0002         0.2599 \n");
    EXPECT_EQ(ors::DetectResultsFormat(annotated.wstring()), ors::SourceFormat::Dakota);
    EXPECT_THAT(loadOk(annotated).functionValues[1], ElementsAre(0.26, 0.260162, 0.2599));

    const struct {
        const char* text;
        std::vector<std::wstring> inputs, functions;
    } cases[] = {
        {"%eval_id interface x1 x2 obj_fn nln_ineq_con_1\n1 SIM1 1 1 2 3\n2 SIM1 2 1 3 4\n", {L"SIM1:x1", L"SIM1:x2"},
         {L"obj_fn", L"nln_ineq_con_1"}},
        {"%eval_id interface x1 obj_fn\n1 NO_ID 1 2\n2 NO_ID 2 3\n", {L"dakota:x1"}, {L"obj_fn"}},
        {"%eval_id interface x1 obj_fn\n1 A 1 2\n2 B 2 3\n", {L"dakota:x1"}, {L"obj_fn"}},
        {"%eval_id x1 x2 obj_fn_1 obj_fn_2\n1 0.5 1 10 20\n2 0.25 2 11 21\n", {L"dakota:x1", L"dakota:x2"},
         {L"obj_fn_1", L"obj_fn_2"}},
        {"%x1\tx2 response_fn_1 least_sq_term_1\n1\t2 3 4\n5\t6   7 8\n", {L"dakota:x1", L"dakota:x2"},
         {L"response_fn_1", L"least_sq_term_1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        writeBytes(annotated, c.text);
        const Loaded l = loadOk(annotated);
        EXPECT_EQ(l.fullInputNames(), c.inputs);
        EXPECT_EQ(l.functions, c.functions);
        EXPECT_EQ(l.records, 2u);
    }
}

TEST_F(Import, MarkedCsvAndTsvTables)
{
    const auto path = m_dir / "table.csv";
    // Unmarked columns (an index, notes) are not data.
    writeBytes(path, ",in:Grid:x1,in:Grid:x2,in:x3,out:f1,note\n"
                    "0,1,10,0.5,100,first\n"
                    "1,2,10,0.5,200,\n"
                    "2,1,20,0.5,300,\"a, b\"\n");
    EXPECT_EQ(ors::DetectResultsFormat(path.wstring()), ors::SourceFormat::Table);
    Loaded l = loadOk(path);
    ASSERT_EQ(l.records, 3u);
    EXPECT_THAT(l.fullInputNames(), ElementsAre(L"Grid:x1", L"Grid:x2", L"csv:x3"));
    EXPECT_THAT(l.functions, ElementsAre(L"f1"));
    EXPECT_EQ(l.indices, (std::vector<std::vector<std::uint64_t>>{{0, 1, 0}, {0, 0, 1}, {0, 0, 0}}));
    EXPECT_THAT(l.functionValues[0], ElementsAre(100, 200, 300));

    // TSV with a byte order mark, CRLF, a quoted header, quoted and padded
    // numbers, blank lines (fewer records than lines: every column is moved
    // up to its place) and no line break at the end.
    const auto tsv = m_dir / "table.tsv";
    writeBytes(tsv, "\xEF\xBB\xBF\"in:a\"\tin:b\tout:y\tout:z\r\n"
                   "1\t-2.5e1\t3\t-1\r\n"
                   "\r\n"
                   "\"4\"\t 5 \t+6\t-2\r\n"
                   "\r\n"
                   "7\t8\t9\t-3");
    l = loadOk(tsv);
    EXPECT_THAT(l.inputs, ElementsAre(L"a", L"b"));
    EXPECT_EQ(l.inputValues, (Columns{{1, 4, 7}, {-25, 5, 8}}));
    EXPECT_EQ(l.functionValues, (Columns{{3, 6, 9}, {-1, -2, -3}}));

    // pandas' to_csv(sep="\t") starts the header with the unnamed index
    // column: the line's leading tab is a cell.
    writeBytes(tsv, "\tnumber\tvalue\tparams_x\tstate\n0\t0\t1.5\t0.1\tCOMPLETE\n");
    EXPECT_EQ(ors::DetectResultsFormat(tsv.wstring()), ors::SourceFormat::OptunaCsv);
    EXPECT_THAT(loadOk(tsv).functionValues[0], ElementsAre(1.5));
}

TEST_F(Import, NumberedColumnsAsTheBenchmarkGeneratorWritesThem)
{
    // x1, x2, ... inputs and f1, f2, ... functions, with or without an index.
    const auto path = m_dir / "grid.csv";
    writeBytes(path, "x1,x2,f1\n-2,-2,0.07558450635\n-2,2,0.2293355762\n2,-2,1e-3\n");
    const Loaded l = loadOk(path);
    EXPECT_THAT(l.fullInputNames(), ElementsAre(L"csv:x1", L"csv:x2"));
    EXPECT_EQ(l.functionValues, (Columns{{0.07558450635, 0.2293355762, 0.001}}));
    writeBytes(path, ",x1,f1,f2\n0,1,2,3\n");
    EXPECT_THAT(loadOk(path).functions, ElementsAre(L"f1", L"f2"));
}

TEST_F(Import, UnmarkedTablesAreRefusedWithTheConventionAndTheConverter)
{
    const std::wstring refusal =
        L" is neither an Optimization Results File nor a table whose columns are marked as inputs and functions. "
        L"Name the input columns \"in:<name>\" (or \"in:<signal>:<name>\") and the function columns \"out:<name>\" "
        L"in its header line, or convert it with \"vantix-convert --inputs <columns> --functions <columns> <file> "
        L"<output>.ors\".";
    const auto path = m_dir / "plain.csv";
    const std::pair<const char*, std::wstring> cases[] = {
        {"width,height,mass\n1,2,3\n", refusal},
        {"x1,x2,y\n1,2,3\n", refusal}, // numbered inputs, but y is neither
        // Inputs without functions, and the other way round.
        {"in:a,in:b\n1,2\n", L", line 1: the header names no function column."},
        {"\n\nout:a,note\n1,2\n", L", line 3: the header names no input column."},
    };
    for (const auto& [text, tail] : cases) {
        SCOPED_TRACE(text);
        writeBytes(path, text);
        EXPECT_EQ(errorTail(path), tail);
    }

    // Columns named by the converter must exist.
    writeBytes(path, ",width,height,mass\n0,1,2,3\n");
    EXPECT_EQ(errorTail(path, {.functions = {L"weight"}}), L" has no column named \"weight\".");
}

namespace {

using Points = std::vector<std::vector<double>>; // [record][input]

// The records as a marked table with one function.
void writePoints(const fs::path& path, const Points& points)
{
    std::string text;
    for (std::size_t i = 0; i < points.front().size(); ++i)
        text += "in:x" + std::to_string(i) + ",";
    text += "out:f\n";
    for (std::size_t r = 0; r < points.size(); ++r) {
        for (const double v : points[r])
            text += numberText(v) + ",";
        text += numberText(double(r) * 0.5) + "\n";
    }
    writeBytes(path, text);
}

// Every combination of the axes' values, the first axis outermost.
Points grid(const std::vector<std::vector<double>>& axes)
{
    Points points{{}};
    for (const auto& axis : axes) {
        Points next;
        for (const auto& p : points)
            for (const double v : axis) {
                next.push_back(p);
                next.back().push_back(v);
            }
        points = std::move(next);
    }
    return points;
}

Points without(Points points, std::initializer_list<std::size_t> records)
{
    for (auto it = std::rbegin(records); it != std::rend(records); ++it)
        points.erase(points.begin() + std::ptrdiff_t(*it));
    return points;
}

} // namespace

// Every importer shares the decision; marked tables stand for them all.
TEST_F(Import, DataTypeIsASurfaceOnlyWhereTheFirstTwoInputsFillMostOfTheirGrid)
{
    Points scattered;
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> u(-2, 2);
    for (int k = 0; k <= 10; ++k)
        scattered.push_back({u(rng), u(rng), u(rng)});
    // 6 of the 4 x 3 cells.
    const Points half{{1, 1}, {2, 2}, {3, 3}, {4, 1}, {1, 2}, {4, 3}};
    const struct {
        const char* name;
        Points points;
        LONG type;
    } cases[] = {
        {"full grid", grid({{-2, -1, 0, 1}, {0, 5, 10}}), 0},
        {"grid with holes", without(grid({{1, 2, 3, 4, 5}, {1, 2, 3, 4}}), {1, 6, 7, 12, 18}), 0},
        {"half the cells", half, 0},
        {"one cell less than half", without(half, {5}), 2},
        {"scattered", scattered, 2},
        {"one input", grid({{1, 2, 3}}), 2},
        {"one record", {{1, 2}}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = m_dir / (std::string(c.name) + ".csv");
        writePoints(path, c.points);
        const Loaded l = loadOk(path);
        EXPECT_EQ(l.records, c.points.size());
        EXPECT_EQ(l.dataType, c.type);
    }
}
