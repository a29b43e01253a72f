// Save and Load keep everything; value indices follow the distinct values.
#include "OrsTestSupport.h"

#include <cmath>
#include <limits>

using namespace orstest;

namespace {

void expectSame(IOptimizationResultsDataSource* src, const Sample& s)
{
    const Loaded l = readBack(src);
    EXPECT_EQ(l.dataType, s.header.dataType);
    ASSERT_EQ(l.records, s.header.recordCount);
    ASSERT_EQ(l.inputs.size(), s.header.inputs.size());
    for (std::size_t i = 0; i < l.inputs.size(); ++i) {
        EXPECT_EQ(l.inputs[i], ors::FromUtf8(s.header.inputs[i].name));
        EXPECT_EQ(l.signals[i], ors::FromUtf8(s.header.inputs[i].signal));
    }
    std::vector<std::wstring> functions;
    for (const std::string& f : s.header.functions)
        functions.push_back(ors::FromUtf8(f));
    EXPECT_EQ(l.functions, functions);
    EXPECT_EQ(l.inputValues, s.inputs);
    EXPECT_EQ(l.functionValues, s.functions);
}

} // namespace

TEST(OrsRoundTrip, EveryDataTypeSurvivesWriteLoadSaveLoad)
{
    TempDir dir;
    for (const std::int32_t type : {0, 1, 2, 7, -3}) {
        SCOPED_TRACE(type);
        Sample s = smallSample(type);
        const auto first = dir / ("t" + std::to_string(type) + ".ors");
        s.write(first);
        auto a = load(first);
        ASSERT_EQ(a.hr, S_OK) << std::string(a.error.begin(), a.error.end());
        expectSame(a.source.Get(), s);

        // Saving the loaded data writes an equal file, metadata included.
        ComPtr<IOptimizationResultsDataSaver> saver(a.source);
        ASSERT_TRUE(saver);
        const auto second = dir / ("u" + std::to_string(type) + ".ors");
        ASSERT_EQ(saver->Save(second.wstring()), S_OK);
        auto b = load(second);
        ASSERT_EQ(b.hr, S_OK);
        expectSame(b.source.Get(), s);
        auto check = ors::ReadOrsFile(second.wstring());
        EXPECT_EQ(check.header.creator, "test");
        EXPECT_EQ(check.header.created, "2024-01-02T03:04:05Z");
    }
}

// Extreme values and texts are kept exactly; no records, or nothing at all, load too.
TEST(OrsRoundTrip, ExtremeAndEmptyDataAreKeptExactly)
{
    TempDir dir;
    Sample extreme;
    extreme.header.dataType = 2;
    extreme.header.inputs = {{"", "x"}, {"Ψ-Signal", "naïve name with \"quotes\" and : colon"}};
    extreme.header.functions = {"f"};
    const double tiny = std::numeric_limits<double>::denorm_min();
    const double big = std::numeric_limits<double>::max();
    extreme.inputs = {{-big, tiny, 0.1 + 0.2, 1e-300}, {1, 2, 3, 4}};
    extreme.functions = {{big, -tiny, -0.0, 42}};
    extreme.header.recordCount = 4;
    Sample empty = smallSample();
    empty.inputs.assign(2, {});
    empty.functions.assign(2, {});
    empty.header.recordCount = 0;
    const Sample bare; // no inputs, no functions, no records
    using Case = std::pair<const char*, const Sample*>;
    for (const auto& [name, s] : {Case{"x.ors", &extreme}, Case{"none.ors", &empty}, Case{"bare.ors", &bare}}) {
        SCOPED_TRACE(name);
        s->write(dir / name);
        auto r = load(dir / name);
        ASSERT_EQ(r.hr, S_OK);
        expectSame(r.source.Get(), *s);
        if (s == &extreme) {
            double v = 0;
            r.source->GetFunctionValue(2, 0, &v);
            EXPECT_TRUE(std::signbit(v)) << "negative zero is kept";
        } else if (s == &empty) {
            ComPtr<IOptimizationResultsDataSourceEx> ex(r.source);
            std::uint64_t index = 0;
            double v = 0;
            EXPECT_EQ(ex->GetInputValueIndex(0, 0, &index), E_INVALIDARG);
            EXPECT_EQ(ex->GetInputValueByIndex(0, 0, &v), E_INVALIDARG);
        }
    }
}

// Another writer may declare idx without making it the row id, and insert the
// columns in any order: values are found by idx all the same.
TEST(OrsRoundTrip, ColumnsAreFoundByIdxNotByRowid)
{
    TempDir dir;
    const Sample s = smallSample();
    const auto path = dir / "reordered.ors";
    s.write(path);
    for (const std::string t : {"input_values", "function_values"})
        execSql(path, "CREATE TABLE copy AS SELECT * FROM " + t + "; DROP TABLE " + t + "; CREATE TABLE " + t +
                          "(idx INTEGER NOT NULL, data BLOB NOT NULL); INSERT INTO " + t +
                          "(rowid, idx, data) SELECT 7 - idx, idx, data FROM copy ORDER BY idx DESC; DROP TABLE copy;");
    auto r = load(path);
    ASSERT_EQ(r.hr, S_OK);
    expectSame(r.source.Get(), s);
}

TEST(OrsDataObject, AnswersItsInterfacesAndRejectsBadArguments)
{
    TempDir dir;
    smallSample().write(dir / "s.ors");
    auto r = load(dir / "s.ors");
    ASSERT_EQ(r.hr, S_OK);
    auto* src = r.source.Get();
    ComPtr<IOptimizationResultsDataSourceEx> ex(r.source);
    ASSERT_TRUE(ex && ComPtr<IOptimizationResultsDataSaver>(r.source));
    EXPECT_FALSE(ComPtr<IOptimizationResultsDataProvider>(r.source));

    const ULONG n = 11;
    double v = 0;
    std::uint64_t index = 0;
    std::wstring text;
    const HRESULT noPointer[] = {src->GetInputCount(nullptr), src->GetFunctionCount(nullptr),
                                 src->GetRecordCount(nullptr), src->GetDataType(nullptr),
                                 src->GetInputName(0, nullptr), src->GetInputValue(0, 0, nullptr),
                                 ex->GetInputValueIndex(0, 0, nullptr)};
    for (const HRESULT hr : noPointer)
        EXPECT_EQ(hr, E_POINTER);
    // Record n, input or function 2 and value index 3 (past 100, 200, 300) do not exist.
    const HRESULT outOfRange[] = {src->GetInputValue(n, 0, &v), src->GetInputValue(0, 2, &v),
                                  src->GetFunctionValue(n, 0, &v), src->GetFunctionValue(0, 2, &v),
                                  ex->GetInputValueIndex(n, 0, &index), ex->GetInputValueIndex(0, 2, &index),
                                  ex->GetInputValueByIndex(3, 0, &v), ex->GetInputValueByIndex(0, 2, &v),
                                  src->GetInputName(2, &text), src->GetSignalName(2, &text),
                                  src->GetFunctionName(2, &text)};
    for (const HRESULT hr : outOfRange)
        EXPECT_EQ(hr, E_INVALIDARG);
}
