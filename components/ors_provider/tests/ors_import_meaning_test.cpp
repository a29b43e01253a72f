// What optimizers meant beyond the numbers: value labels, "(none)", log
// scales and directions, kept through .ors files; and the questions a load
// asks (the study of a storage, the roles of a table's columns).
#include "ImportTestSupport.h"

#include <map>

using namespace importtest;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

// One SVM study: categorical text, numeric and boolean choices, a log-scaled
// rate, a parameter only rbf trials have and a choice of None.
void writeSvmStorage(const fs::path& path, const std::string& moreStudies = "")
{
    std::string sql = kOptunaSchema;
    sql += "INSERT INTO studies VALUES (1, 'svm');"
           "INSERT INTO study_directions VALUES (1, 'MAXIMIZE', 1, 0);" +
           moreStudies;
    const char* kernel = R"({"name": "CategoricalDistribution", "attributes": {"choices": ["sigmoid", "rbf", "linear"]}})";
    const char* k = R"({"name": "CategoricalDistribution", "attributes": {"choices": [1, 3, 5, 9, 15]}})";
    const char* shrink = R"({"name": "CategoricalDistribution", "attributes": {"choices": [true, false]}})";
    const char* lr = R"({"name": "FloatDistribution", "attributes": {"step": null, "low": 1e-05, "high": 0.1, "log": true}})";
    const char* degree = R"({"name": "IntDistribution", "attributes": {"log": false, "step": 1, "low": 2, "high": 5}})";
    const char* pre = R"({"name": "CategoricalDistribution", "attributes": {"choices": [null, "std", "minmax"]}})";
    struct Trial {
        double kernel, k, shrink, lr, degree, pre, value; // degree < 0: absent
    };
    const Trial trials[] = {
        {0, 3, 0, 0.01, -1, 0, 0.5}, {1, 0, 1, 0.001, 3, 1, 0.7}, {2, 4, 0, 0.1, -1, 2, 0.6}, {1, 1, 1, 1e-4, 2, 1, 0.8}};
    int id = 0;
    for (const Trial& t : trials) {
        std::vector<OptunaParam> params{{"kernel", t.kernel, kernel}, {"k", t.k, k}, {"shrink", t.shrink, shrink},
                                        {"lr", t.lr, lr}, {"degree", t.degree, degree}, {"pre", t.pre, pre}};
        if (t.degree < 0)
            params.erase(params.begin() + 4);
        ++id;
        sql += optunaTrial(id, id - 1, 1, "COMPLETE", params, {t.value});
    }
    execSql(path, sql);
}

// The same study as trials_dataframe().to_csv() writes it: parameters by
// name, None and absent parameters as empty cells.
const char* const kSvmCsv =
    ",number,value,params_degree,params_k,params_kernel,params_lr,params_pre,params_shrink,state\n"
    "0,0,0.5,,9,sigmoid,0.01,,True,COMPLETE\n"
    "1,1,0.7,3.0,1,rbf,0.001,std,False,COMPLETE\n"
    "2,2,0.6,,15,linear,0.1,minmax,True,COMPLETE\n"
    "3,3,0.8,2.0,3,rbf,0.0001,std,False,COMPLETE\n";

struct InputMeaning {
    std::vector<double> values;
    std::vector<std::wstring> labels; // by value index
    long long noneIndex;
    bool operator==(const InputMeaning&) const = default;
};

std::map<std::wstring, InputMeaning> byName(const Loaded& l)
{
    std::map<std::wstring, InputMeaning> m;
    for (std::size_t i = 0; i < l.inputs.size(); ++i)
        m[l.inputs[i]] = {l.inputValues[i], l.labels[i], l.noneIndex[i]};
    return m;
}

class ImportMeaning : public ::testing::Test {
protected:
    fs::path file(const std::string& name, const std::string& text)
    {
        writeBytes(m_dir / name, text);
        return m_dir / name;
    }
    TempDir m_dir;
};

} // namespace

TEST_F(ImportMeaning, StorageAndTrialsTableGiveTheSameCodesLabelsAndNone)
{
    writeSvmStorage(m_dir / "svm.db");
    const Loaded storage = loadOk(m_dir / "svm.db");
    const Loaded csv = loadOk(file("svm.csv", kSvmCsv));
    const double none = 3.1; // a tenth of the span of 2 .. 3 past its end
    const std::map<std::wstring, InputMeaning> expected = {
        {L"kernel", {{2, 1, 0, 1}, {L"linear", L"rbf", L"sigmoid"}, -1}},
        {L"k", {{9, 1, 15, 3}, {L"", L"", L"", L""}, -1}},
        {L"shrink", {{1, 0, 1, 0}, {L"False", L"True"}, -1}},
        {L"lr", {{0.01, 0.001, 0.1, 1e-4}, {L"", L"", L"", L""}, -1}},
        {L"pre", {{2, 1, 0, 1}, {L"minmax", L"std", L"(none)"}, 2}},
        {L"degree", {{none, 3, none, 2}, {L"", L"", L"(none)"}, 2}},
    };
    EXPECT_TRUE(byName(storage) == expected);
    EXPECT_TRUE(byName(csv) == expected);
    // In the order of first appearance: kernel, k, shrink, lr, pre, degree.
    EXPECT_THAT(storage.labelled, ElementsAre(true, false, true, false, true, false));
    // The log flag and the direction are the storage's alone.
    EXPECT_THAT(storage.scales, ElementsAre(kScaleLinear, kScaleLinear, kScaleLinear, kScaleLog, kScaleLinear,
                                            kScaleLinear));
    EXPECT_EQ(csv.scales, std::vector<LONG>(6, kScaleLinear));
    EXPECT_THAT(storage.directions, ElementsAre(kDirectionMaximize));
    EXPECT_THAT(csv.directions, ElementsAre(kDirectionMinimize));
}

TEST_F(ImportMeaning, MeaningRoundTripsThroughOrsAndPlainDataStayFormatOne)
{
    writeSvmStorage(m_dir / "svm.db");
    const auto r = load(m_dir / "svm.db");
    ASSERT_EQ(r.hr, S_OK);
    ComPtr<IOptimizationResultsDataSaver> saver(r.source.Get());
    ASSERT_EQ(saver->Save((m_dir / "svm.ors").wstring()), S_OK);
    EXPECT_TRUE(loadOk(m_dir / "svm.ors") == readBack(r.source.Get()));

    // The format version is the header's user_version.
    const auto version = [](const fs::path& path) {
        return ors::sqlite::HeaderWord(reinterpret_cast<const unsigned char*>(readBytes(path).data()), 60);
    };
    EXPECT_EQ(version(m_dir / "svm.ors"), 2u);
    smallSample().write(m_dir / "plain.ors");
    EXPECT_EQ(version(m_dir / "plain.ors"), 1u);
}

TEST_F(ImportMeaning, FormatOneFileWrittenWithFixedSqlOpens)
{
    // Two records: input x = 1, 2; function f = 0.5, 4 (little-endian doubles).
    execSql(m_dir / "old.ors", R"SQL(
PRAGMA application_id = 1330795334; PRAGMA user_version = 1;
CREATE TABLE file_info(data_type INTEGER NOT NULL, record_count INTEGER NOT NULL, creator TEXT NOT NULL,
    created TEXT NOT NULL);
CREATE TABLE inputs(idx INTEGER PRIMARY KEY, signal TEXT NOT NULL, name TEXT NOT NULL);
CREATE TABLE functions(idx INTEGER PRIMARY KEY, name TEXT NOT NULL);
CREATE TABLE input_values(idx INTEGER PRIMARY KEY REFERENCES inputs(idx), data BLOB NOT NULL);
CREATE TABLE function_values(idx INTEGER PRIMARY KEY REFERENCES functions(idx), data BLOB NOT NULL);
INSERT INTO file_info VALUES (2, 2, 'old writer', '2023-01-01T00:00:00Z');
INSERT INTO inputs VALUES (0, 'S', 'x');
INSERT INTO functions VALUES (0, 'f');
INSERT INTO input_values VALUES (0, X'000000000000F03F0000000000000040');
INSERT INTO function_values VALUES (0, X'000000000000E03F0000000000001040');
)SQL");
    const Loaded l = loadOk(m_dir / "old.ors");
    EXPECT_TRUE(l.inputValues[0] == std::vector<double>({1, 2}) && l.functionValues[0] == std::vector<double>({0.5, 4}));
    EXPECT_TRUE(l.labels[0] == std::vector<std::wstring>(2) && l.scales == std::vector<LONG>{kScaleLinear} &&
                l.directions == std::vector<LONG>{kDirectionMinimize});
}

TEST_F(ImportMeaning, MeaningThatDoesNotFitTheValuesIsDamage)
{
    writeSvmStorage(m_dir / "svm.db");
    ComPtr<IOptimizationResultsDataSaver> saver(load(m_dir / "svm.db").source.Get());
    // Inputs in the order they first appear: kernel 0, k 1, shrink 2, lr 3, pre 4, degree 5.
    const struct {
        const char* sql;
        const wchar_t* error;
    } cases[] = {
        {"UPDATE input_meaning SET scale = 7 WHERE idx = 0", L"the scale of input \"svm:kernel\" is not valid"},
        {"UPDATE input_meaning SET scale = 1 WHERE idx = 0",
         L"input \"svm:kernel\" is on a log scale but holds a value at or below zero"},
        {"DELETE FROM input_labels WHERE input = 0 AND code = 1",
         L"the labels of input \"svm:kernel\" are not numbered 0, 1, 2, ..."},
        {"DELETE FROM input_labels WHERE input = 0 AND code = 2",
         L"input \"svm:kernel\" holds a value that is not the code of one of its labels"},
        {"UPDATE input_meaning SET none_value = 2.5 WHERE idx = 5",
         L"the \"(none)\" value of input \"svm:degree\" is not above its other values"},
        {"UPDATE input_meaning SET none_value = 7 WHERE idx = 4",
         L"the \"(none)\" value of input \"svm:pre\" is not the code after its labels"},
        {"UPDATE function_meaning SET direction = 5", L"the direction of function \"value\" is not valid"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        const auto path = m_dir / "bad.ors";
        ASSERT_EQ(saver->Save(path.wstring()), S_OK);
        execSql(path, c.sql);
        EXPECT_EQ(errorTail(path), std::wstring(L" is damaged: ") + c.error + L".");
    }
}

TEST_F(ImportMeaning, UncertainRolesAreAskedAnsweredOrGuessed)
{
    // Dakota with responses named by the user, on a 2 x 2 grid.
    const auto dakota = file("beam.dat", "%eval_id interface width height mass stress\n"
                                         "1 NO_ID 1 1 10 0.5\n2 NO_ID 2 1 20 0.6\n3 NO_ID 1 2 30 0.7\n4 NO_ID 2 2 40 0.8\n");
    LoadChoice choice;
    LoadResult r = loadWith(dakota, {}, &choice);
    EXPECT_EQ(r.hr, ORS_E_CHOICE_NEEDED);
    EXPECT_THAT(r.error, HasSubstr(L"responses have names of their own"));
    EXPECT_EQ(choice.kind, kChoiceRoles);
    EXPECT_THAT(choice.columns, ElementsAre(L"eval_id", L"interface", L"width", L"height", L"mass", L"stress"));
    EXPECT_THAT(choice.guessedRoles, ElementsAre(kRoleIgnore, kRoleIgnore, kRoleInput, kRoleInput, kRoleFunction,
                                                 kRoleFunction));
    const std::wstring hash = choice.headerHash;

    // The answer: columns in neither list are left out.
    Loaded l = loadOk(dakota, {.inputs = {L"width"}, .functions = {L"stress"}}, &choice);
    EXPECT_THAT(l.inputs, ElementsAre(L"width"));
    EXPECT_THAT(l.functions, ElementsAre(L"stress"));
    // The guess, taken and told.
    l = loadOk(dakota, {.acceptGuess = true}, &choice);
    EXPECT_THAT(l.inputs, ElementsAre(L"width", L"height"));
    EXPECT_THAT(l.functions, ElementsAre(L"mass", L"stress"));
    EXPECT_EQ(choice.kind, kChoiceRoles);
    EXPECT_EQ(choice.headerHash, hash);

    // The hash follows the header.
    writeBytes(dakota, "%eval_id interface width height mass strain\n1 NO_ID 5 5 5 5\n");
    loadWith(dakota, {}, &choice);
    EXPECT_NE(choice.headerHash, hash);

    // What asks and what does not; each guess as the user would make it.
    const struct {
        const char* text;
        HRESULT hr;
        std::vector<LONG> guess;
    } cases[] = {
        {"%eval_id interface x1 obj_fn\n1 NO_ID 1 2\n2 NO_ID 2 3\n", S_OK, {}},
        {"in:a,out:f,note\n1,2,x\n", S_OK, {}},
        // Unmarked, a design whose inputs repeat: the varying columns are functions.
        {",a,b,y,z\n0,1,1,5,7\n1,1,2,6,8\n2,2,1,7,9\n", ORS_E_CHOICE_NEEDED,
         {kRoleIgnore, kRoleInput, kRoleInput, kRoleFunction, kRoleFunction}},
        // Every column varies (a random design): the last is the function; text is ignored.
        {"a,note,b,y\n0.1,p,0.7,5\n0.4,q,0.2,6\n0.9,r,0.5,7\n", ORS_E_CHOICE_NEEDED,
         {kRoleInput, kRoleIgnore, kRoleInput, kRoleFunction}},
        // A Dakota string variable is an input.
        {"%eval_id interface kernel x mass\n1 NO_ID rbf 1 2\n2 NO_ID lin 1 3\n3 NO_ID rbf 2 4\n", ORS_E_CHOICE_NEEDED,
         {kRoleIgnore, kRoleIgnore, kRoleInput, kRoleInput, kRoleFunction}},
        // Freeform Dakota: no header, the columns are x1, x2, x3.
        {"1 1 0.5\n2 1 0.6\n1 2 0.7\n", ORS_E_CHOICE_NEEDED, {kRoleInput, kRoleInput, kRoleFunction}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto path = file("t.txt", c.text);
        r = loadWith(path, {}, &choice);
        EXPECT_EQ(r.hr, c.hr) << std::string(r.error.begin(), r.error.end());
        EXPECT_EQ(choice.kind, c.hr == S_OK ? kChoiceNone : kChoiceRoles);
        EXPECT_EQ(choice.guessedRoles, c.guess);
    }
    // The freeform table's first line is a record.
    l = loadOk(m_dir / "t.txt", {.acceptGuess = true});
    EXPECT_THAT(l.inputs, ElementsAre(L"x1", L"x2"));
    EXPECT_THAT(l.functionValues[0], ElementsAre(0.5, 0.6, 0.7));
    // String variables are inputs with their texts as labels.
    l = loadOk(file("s.dat", "%eval_id interface kernel x obj_fn\n1 NO_ID rbf 1 2\n2 NO_ID linear 1 3\n"
                             "3 NO_ID rbf 2 nan\n4 NO_ID poly 2 4\n"), {.acceptGuess = true});
    EXPECT_THAT(l.labels[0], ElementsAre(L"linear", L"poly", L"rbf"));
    EXPECT_THAT(l.inputValues[0], ElementsAre(2, 0, 1));
}

TEST_F(ImportMeaning, SeveralStudiesAskWhichOneInTheProgramAndTheConverter)
{
    const auto path = m_dir / "two.db";
    writeSvmStorage(path, "INSERT INTO studies VALUES (2, 'empty'), (3, 'small');"
                          "INSERT INTO trials VALUES (90, 0, 3, 'COMPLETE', NULL, NULL);"
                          "INSERT INTO trial_params VALUES (90, 90, 'u', 1.5, '');"
                          "INSERT INTO trial_values VALUES (90, 90, 0, 2.0, 'FINITE');");
    LoadChoice choice;
    LoadResult r = loadWith(path, {}, &choice);
    EXPECT_EQ(r.hr, ORS_E_CHOICE_NEEDED);
    EXPECT_EQ(choice.kind, kChoiceStudy);
    // Studies without completed trials are no choice.
    EXPECT_THAT(choice.studies, ElementsAre(L"svm", L"small"));
    EXPECT_THAT(choice.trialCounts, ElementsAre(4u, 1u));
    EXPECT_THAT(r.error, HasSubstr(L"holds several Optuna studies: \"svm\" (4 completed trials), \"empty\" (0 "
                                   L"completed trials), \"small\" (1 completed trial). Choose one to open."));
    EXPECT_EQ(loadOk(path, {.study = L"small"}, &choice).records, 1u);
    EXPECT_EQ(choice.kind, kChoiceNone);
    const std::string out = " '" + (m_dir / "out.ors").string() + "'";
    EXPECT_EQ(runConverter(m_dir.path(), "'" + path.string() + "'" + out), 2);
    EXPECT_THAT(readBytes(m_dir / "log"), HasSubstr("holds several Optuna studies; choose one with --study NAME:\n"
                                         "  svm (4 completed trials)\n  small (1 completed trial)\n"));
    EXPECT_EQ(runConverter(m_dir.path(), "--study svm '" + path.string() + "'" + out), 0);
    EXPECT_EQ(loadOk(m_dir / "out.ors").labels[0][2], L"sigmoid");
    // One study with trials: no question.
    execSql(path, "DELETE FROM trial_values WHERE trial_id = 90; DELETE FROM trials WHERE trial_id = 90;");
    EXPECT_EQ(loadOk(path).records, 4u);
}

TEST_F(ImportMeaning, ConverterTakesRolesAndLogScales)
{
    const auto out = m_dir / "out.ors";
    const auto run = [&](const std::string& args) { return runConverter(m_dir.path(), args + " '" + out.string() + "'"); };
    const auto log = [&] { return readBytes(m_dir / "log"); };
    const auto dakota = file("beam.dat", "%eval_id interface width height mass stress\n"
                                         "1 NO_ID 1 1 10 0.5\n2 NO_ID 2 1 20 0.6\n3 NO_ID 1 3 30 0.7\n");
    EXPECT_EQ(run("--functions stress '" + dakota.string() + "'"), 0);
    EXPECT_THAT(loadOk(out).fullInputNames(), ElementsAre(L"dakota:width", L"dakota:height", L"dakota:mass"));
    EXPECT_EQ(run("--log height --log stress '" + dakota.string() + "'"), 0);
    EXPECT_THAT(log(), HasSubstr("guessed\n  --inputs width,height --functions mass,stress  (ignored: eval_id,interface)\n"));
    EXPECT_THAT(loadOk(out).scales, ElementsAre(kScaleLinear, kScaleLog));
    EXPECT_EQ(run("--log nothing '" + dakota.string() + "'"), 1);
    EXPECT_THAT(log(), HasSubstr("has no input or function named \"nothing\""));

    // Explicit columns and signal; options that do not fit the input, and bad usage.
    const auto table = file("beam.csv", ",width,height,mass\n0,1,2,30\n1,2,2,40\n2,1,3,50\n");
    const auto onTable = [&](const std::string& args) { return run(args + " '" + table.string() + "'"); };
    EXPECT_EQ(onTable("--inputs width,height --functions mass --signal Beam"), 0);
    EXPECT_THAT(loadOk(out).fullInputNames(), ElementsAre(L"Beam:width", L"Beam:height"));
    EXPECT_EQ(runConverter(m_dir.path(), "'" + table.string() + "'"), 2); // no output named
    // Failed evaluations are left out and counted on stderr.
    writeBytes(table, ",width,height,mass\n0,1,2,30\n1,2,3,nan\n2,3,1,fail\n");
    EXPECT_EQ(onTable("--functions mass"), 0);
    EXPECT_THAT(log(), HasSubstr("vantix-convert: skipped 2 failed rows\n"));
}
