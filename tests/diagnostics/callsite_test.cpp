// What the SW_ macros put into records: texts, keys, types and writing order.
#include "diagnostics/snagwise.h"
#include "support/FakeSnagwise.h"

#include <gmock/gmock.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

using namespace testing;
using vantix::test::FakeRecord;
using vantix::test::FakeSnagwise;

// Call sites inside a class, so that the records carry a qualified name.
class CChart {
public:
    HRESULT GetErrorDescription(HRESULT hr)
    {
        SW_ASSERT(SUCCEEDED(hr) && L"error while Enable WireFrame");
        return hr;
    }
    void CheckOk(HRESULT hr) { SW_ASSERT(S_OK == hr); }
    void CheckHr(HRESULT hr) { SW_ASSERT_HR(hr); }
    void Load() { SW_TRACE(L"Chart : Load data to chart %p", static_cast<void*>(this)); }
    void Check(void* p) { SW_CHECK_POINTER(p); }
};

namespace {

std::uint32_t ThisThread()
{
    return static_cast<std::uint32_t>(::syscall(SYS_gettid));
}

FakeRecord OnlyRecord(const FakeSnagwise& snag, const std::wstring& type)
{
    auto records = snag.RecordsOfType(type);
    EXPECT_EQ(records.size(), 1u);
    return records.empty() ? FakeRecord{} : records.front();
}

TEST(CallSite, ConditionTextsArePreprocessedAndStringized)
{
    FakeSnagwise snag;
    CChart chart;
    chart.GetErrorDescription(S_OK); // holds: nothing sent
    chart.CheckOk(S_OK);
    EXPECT_TRUE(snag.Asserts().empty());

    chart.GetErrorDescription(E_FAIL);
    chart.CheckOk(S_FALSE);
    EXPECT_THAT(snag.Asserts(), ElementsAre(L"((HRESULT)(hr) >= 0) && L\"error while Enable WireFrame\"",
                                            L"((HRESULT)0x00000000L) == hr"));
}

TEST(CallSite, AssertRecordHasEveryKeyInWritingOrder)
{
    FakeSnagwise snag;
    errno = EACCES;
    const int line = __LINE__ + 1;
    SW_ASSERT(1 == 2);
    EXPECT_EQ(errno, EACCES);

    const FakeRecord r = OnlyRecord(snag, L"ASSERT");
    // The pointer pair is written back as 0 once the library is done with it.
    EXPECT_THAT(r.Keys(), ElementsAre(L"<<ASSERT>>", L"$Type", L"Last Error Code", L"Description", L"Thread ID",
                                      L"File", L"Line", L"Function", L"$FuncSig", L"$EXCEPTION_POINTERS",
                                      L"$EXCEPTION_POINTERS"));
    EXPECT_EQ(r.Find(L"<<ASSERT>>")->vt, platform::VT_EMPTY);
    EXPECT_EQ(r.Find(L"Last Error Code")->vt, platform::VT_UI4);
    EXPECT_EQ(r.Find(L"Last Error Code")->ulVal, static_cast<std::uint32_t>(EACCES));
    EXPECT_EQ(r.String(L"Description"), L"1 == 2");
    EXPECT_EQ(r.Find(L"Thread ID")->vt, platform::VT_UI4);
    EXPECT_EQ(r.Find(L"Thread ID")->ulVal, ThisThread());
    EXPECT_THAT(r.String(L"File"), EndsWith(L"callsite_test.cpp"));
    EXPECT_EQ(r.Find(L"Line")->vt, platform::VT_INT);
    EXPECT_EQ(r.Find(L"Line")->intVal, line);
    EXPECT_EQ(r.String(L"Function"), L"{anonymous}::CallSite_AssertRecordHasEveryKeyInWritingOrder_Test::TestBody");
    EXPECT_THAT(r.String(L"$FuncSig"), HasSubstr(L"TestBody()"));
    EXPECT_EQ(r.writes[9].value.vt, platform::VT_UI8);
    EXPECT_NE(r.writes[9].value.ullVal, 0u);
    EXPECT_EQ(r.writes[10].value.ullVal, 0u);
    EXPECT_THAT(r.commands, ElementsAre(L"CREATE", L"FILTER", L"PROCESS"));
}

TEST(CallSite, AssertCarriesQualifiedFunctionAndSignature)
{
    FakeSnagwise snag;
    CChart chart;
    errno = 0;
    chart.GetErrorDescription(E_FAIL);
    const FakeRecord r = OnlyRecord(snag, L"ASSERT");
    EXPECT_FALSE(r.Has(L"Last Error Code")); // written only when non-zero
    EXPECT_FALSE(r.Has(L"HRESULT"));
    EXPECT_FALSE(r.Has(L"$Group"));
    EXPECT_EQ(r.String(L"Function"), L"CChart::GetErrorDescription");
    EXPECT_EQ(r.String(L"$FuncSig"), L"HRESULT CChart::GetErrorDescription(HRESULT)");
}

TEST(CallSite, AssertHrFiresOnEveryNonZeroCode)
{
    FakeSnagwise snag;
    CChart chart;
    chart.CheckHr(S_OK);
    chart.CheckHr(S_FALSE);
    chart.CheckHr(E_POINTER);
    const auto asserts = snag.RecordsOfType(L"ASSERT");
    ASSERT_EQ(asserts.size(), 2u);
    for (const auto& r : asserts) {
        EXPECT_FALSE(r.Has(L"Description"));
        ASSERT_TRUE(r.Has(L"HRESULT"));
        EXPECT_EQ(r.Find(L"HRESULT")->vt, platform::VT_I4);
        EXPECT_EQ(r.Keys()[2], L"HRESULT");
    }
    EXPECT_EQ(asserts[0].Find(L"HRESULT")->lVal, S_FALSE);
    EXPECT_EQ(asserts[1].Find(L"HRESULT")->lVal, E_POINTER);
    EXPECT_EQ(asserts[1].String(L"Function"), L"CChart::CheckHr");
}

TEST(CallSite, TraceRecordHasEveryKeyInWritingOrder)
{
    FakeSnagwise snag;
    CChart chart;
    chart.Load();
    const FakeRecord r = OnlyRecord(snag, L"TRACE");
    EXPECT_THAT(r.Keys(), ElementsAre(L"$Type", L"$Message", L"$Ident", L"File", L"Line", L"Thread ID", L"Function",
                                      L"$FuncSig"));
    wchar_t expected[64];
    std::swprintf(expected, 64, L"Chart : Load data to chart %p", static_cast<void*>(&chart));
    EXPECT_EQ(r.String(L"$Message"), expected);
    EXPECT_EQ(r.Find(L"$Ident")->vt, platform::VT_INT);
    EXPECT_EQ(r.Find(L"$Ident")->intVal, 0);
    EXPECT_EQ(r.String(L"Function"), L"CChart::Load");
    EXPECT_EQ(r.String(L"$FuncSig"), L"void CChart::Load()");
    EXPECT_THAT(r.commands, ElementsAre(L"CREATE", L"PROCESS"));
    EXPECT_EQ(snag.Traces(), std::vector<std::wstring>{expected});
}

TEST(CallSite, LongTraceIsCutAt4095Characters)
{
    FakeSnagwise snag;
    std::wstring text(5000, L'x');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<wchar_t>(L'a' + i % 26);
    SW_TRACE(L"%ls", text.c_str());
    SW_TRACE(L"%ls", text.substr(0, 4095).c_str());
    ASSERT_EQ(snag.Traces().size(), 2u);
    EXPECT_EQ(snag.Traces()[0], text.substr(0, 4095));
    EXPECT_EQ(snag.Traces()[1], text.substr(0, 4095));
}

TEST(CallSite, TraceWithoutMessageOmitsTheKey)
{
    FakeSnagwise snag;
    SW_TRACE(static_cast<const wchar_t*>(nullptr));
    SW_TRACE(L"%ls", L"");
    const auto traces = snag.RecordsOfType(L"TRACE");
    ASSERT_EQ(traces.size(), 2u);
    for (const auto& r : traces) {
        EXPECT_FALSE(r.Has(L"$Message"));
        EXPECT_TRUE(r.Has(L"$Ident"));
    }
}

TEST(CallSite, CheckPointerThrowsTheSentErrorRecord)
{
    FakeSnagwise snag;
    CChart chart;
    int dummy = 0;
    EXPECT_NO_THROW(chart.Check(&dummy));
    EXPECT_TRUE(snag.Records().empty() || snag.RecordsOfType(L"CREATE ERROR").empty());

    errno = ENOENT;
    IQX_SnagwiseUtil::IDebugObject* thrown = nullptr;
    try {
        chart.Check(nullptr);
    } catch (IQX_SnagwiseUtil::IDebugObject* record) {
        thrown = record;
    }
    EXPECT_EQ(errno, ENOENT);
    ASSERT_NE(thrown, nullptr);
    VARIANT description;
    EXPECT_EQ(thrown->GetValue(L"Description", &description), S_OK);
    EXPECT_EQ(description.bstrVal, L"bad pointer");
    thrown->Release();

    const FakeRecord r = OnlyRecord(snag, L"CREATE ERROR");
    EXPECT_THAT(r.Keys(), ElementsAre(L"<<ERROR>>", L"$Type", L"$ThreadID", L"Last Error Code", L"Description",
                                      L"File", L"Line", L"Function", L"$FuncSig"));
    EXPECT_EQ(r.Find(L"$ThreadID")->ulVal, ThisThread());
    EXPECT_EQ(r.Find(L"Last Error Code")->ulVal, static_cast<std::uint32_t>(ENOENT));
    EXPECT_EQ(r.String(L"Function"), L"CChart::Check");
    EXPECT_THAT(r.commands, ElementsAre(L"CREATE", L"PROCESS"));
}

TEST(CallSite, CheckPointerThrowsTextWhenProcessFailsOrLibraryIsMissing)
{
    FakeSnagwise snag;
    CChart chart;
    snag.SetResult(L"PROCESS", E_FAIL);
    EXPECT_THROW(
        {
            try {
                chart.Check(nullptr);
            } catch (const wchar_t* text) {
                EXPECT_STREQ(text, L"bad pointer");
                throw;
            }
        },
        const wchar_t*);
    EXPECT_EQ(snag.RecordsOfType(L"CREATE ERROR").size(), 1u);

    snag.SetAvailable(false);
    FakeSnagwise::ResetClient();
    EXPECT_THROW(chart.Check(nullptr), const wchar_t*);
}

TEST(QualifiedFunctionName, TakesTheScopesOfTheSignature)
{
    using SnagwiseUtil::QualifiedFunctionName;
    EXPECT_EQ(QualifiedFunctionName("GetErrorDescription", "HRESULT CChart::GetErrorDescription(BSTR*)"),
              "CChart::GetErrorDescription");
    EXPECT_EQ(QualifiedFunctionName("Run", "int Run(int, char**)"), "Run");
    EXPECT_EQ(QualifiedFunctionName("CChart", "CChart::CChart(ITopLevelControl*)"), "CChart::CChart");
    EXPECT_EQ(QualifiedFunctionName("~CChart", "virtual CChart::~CChart()"), "CChart::~CChart");
    EXPECT_EQ(QualifiedFunctionName("Next", "bool CDataTransformer::CShearDataIterator::Next()"),
              "CDataTransformer::CShearDataIterator::Next");
    EXPECT_EQ(QualifiedFunctionName("Get", "const std::vector<int>& ns::Holder<std::map<int, int> >::Get() const"),
              "ns::Holder<std::map<int, int> >::Get");
    EXPECT_EQ(QualifiedFunctionName("Paint", "void {anonymous}::CCell::Paint(QPainter*)"),
              "{anonymous}::CCell::Paint");
    EXPECT_EQ(QualifiedFunctionName("operator==", "bool CKey::operator==(const CKey&) const"), "CKey::operator==");
    EXPECT_EQ(QualifiedFunctionName("Find", "T* Find(T*) [with T = int]"), "Find");
    // A name the signature does not show (lambdas): the bare name.
    EXPECT_EQ(QualifiedFunctionName("operator()", "CChart::Load()::<lambda(int)>"), "operator()");
    EXPECT_EQ(QualifiedFunctionName("Load", nullptr), "Load");
}

} // namespace
