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

std::wstring ThisThread()
{
    return L"=ui4:" + std::to_wstring(::syscall(SYS_gettid));
}

// A library that changes errno, which the macros must keep.
struct CallSite : Test {
    CallSite() { snag.OnCommand([](const std::wstring&) { errno = ENOSPC; }); }
    FakeRecord OnlyRecord(const std::wstring& type) const
    {
        auto records = snag.RecordsOfType(type);
        EXPECT_EQ(records.size(), 1u);
        return records.empty() ? FakeRecord{} : records.front();
    }
    FakeSnagwise snag;
    CChart chart;
};

TEST_F(CallSite, ConditionTextsArePreprocessedAndStringized)
{
    chart.GetErrorDescription(S_OK); // holds: nothing sent
    chart.CheckOk(S_OK);
    EXPECT_TRUE(snag.Asserts().empty());

    errno = 0;
    chart.GetErrorDescription(E_FAIL);
    chart.CheckOk(S_FALSE);
    EXPECT_THAT(snag.Asserts(), ElementsAre(L"((HRESULT)(hr) >= 0) && L\"error while Enable WireFrame\"",
                                            L"((HRESULT)0x00000000L) == hr"));
    const FakeRecord r = snag.RecordsOfType(L"ASSERT").front();
    EXPECT_THAT(r.Keys(), Not(Contains(L"Last Error Code"))); // written only when non-zero
    EXPECT_EQ(r.String(L"Function"), L"CChart::GetErrorDescription");
    EXPECT_EQ(r.String(L"$FuncSig"), L"HRESULT CChart::GetErrorDescription(HRESULT)");

    // SW_ASSERT_HR fires on every code but S_OK, and the code takes the description's place.
    snag.Clear();
    chart.CheckHr(S_OK);
    chart.CheckHr(S_FALSE);
    chart.CheckHr(E_POINTER);
    const auto asserts = snag.RecordsOfType(L"ASSERT");
    ASSERT_EQ(asserts.size(), 2u);
    EXPECT_EQ(asserts[0].Values()[2] + asserts[1].Values()[2], L"HRESULT=i4:1HRESULT=i4:" + std::to_wstring(E_POINTER));
    EXPECT_EQ(errno, 0);
}

TEST_F(CallSite, AssertRecordHasEveryKeyInWritingOrder)
{
    errno = EACCES;
    const int line = __LINE__ + 1;
    SW_ASSERT(1 == 2);
    EXPECT_EQ(errno, EACCES);
    const FakeRecord r = OnlyRecord(L"ASSERT");
    // The pointer pair is written back as 0 once the library is done with it.
    EXPECT_THAT(r.Values(),
                ElementsAre(L"<<ASSERT>>", L"$Type=ASSERT", L"Last Error Code=ui4:" + std::to_wstring(EACCES),
                            L"Description=1 == 2", L"Thread ID" + ThisThread(),
                            AllOf(StartsWith(L"File="), EndsWith(L"callsite_test.cpp")),
                            L"Line=int:" + std::to_wstring(line),
                            L"Function={anonymous}::CallSite_AssertRecordHasEveryKeyInWritingOrder_Test::TestBody",
                            AllOf(StartsWith(L"$FuncSig="), HasSubstr(L"TestBody()")),
                            AllOf(StartsWith(L"$EXCEPTION_POINTERS=ui8:"), Ne(L"$EXCEPTION_POINTERS=ui8:0")),
                            L"$EXCEPTION_POINTERS=ui8:0"));
    EXPECT_THAT(r.commands, ElementsAre(L"CREATE", L"FILTER", L"PROCESS"));
}

TEST_F(CallSite, TraceRecordHasEveryKeyInWritingOrder)
{
    chart.Load();
    const FakeRecord r = OnlyRecord(L"TRACE");
    EXPECT_THAT(r.Values(), ElementsAre(L"$Type=TRACE", L"$Message=Chart : Load data to chart " +
                                                            vantix::test::PointerText(&chart),
                                        L"$Ident=int:0", AllOf(StartsWith(L"File="), EndsWith(L"callsite_test.cpp")), StartsWith(L"Line=int:"),
                                        L"Thread ID" + ThisThread(), L"Function=CChart::Load",
                                        L"$FuncSig=void CChart::Load()"));
    EXPECT_THAT(r.commands, ElementsAre(L"CREATE", L"PROCESS"));
}

// Messages are cut at 4095 characters; an empty one leaves out the key.
TEST_F(CallSite, TraceMessageIsCutOrLeftOut)
{
    const std::wstring text = std::wstring(4095, L'a') + L"bcd";
    SW_TRACE(L"%ls", text.c_str());
    SW_TRACE(L"%ls", L"");
    const auto traces = snag.RecordsOfType(L"TRACE");
    ASSERT_EQ(traces.size(), 2u);
    EXPECT_EQ(traces[0].String(L"$Message"), text.substr(0, 4095));
    EXPECT_THAT(traces[1].Keys(), AllOf(Not(Contains(L"$Message")), Contains(L"$Ident")));
}

TEST_F(CallSite, CheckPointerThrowsTheSentErrorRecord)
{
    int dummy = 0;
    EXPECT_NO_THROW(chart.Check(&dummy));
    EXPECT_TRUE(snag.RecordsOfType(L"CREATE ERROR").empty());

    errno = ENOENT;
    IQX_SnagwiseUtil::IDebugObject* thrown = nullptr;
    try {
        chart.Check(nullptr);
    } catch (IQX_SnagwiseUtil::IDebugObject* record) {
        thrown = record;
    }
    EXPECT_EQ(errno, ENOENT);
    ASSERT_NE(thrown, nullptr);
    thrown->Release();
    const FakeRecord r = OnlyRecord(L"CREATE ERROR");
    EXPECT_THAT(r.Values(), ElementsAre(L"<<ERROR>>", L"$Type=CREATE ERROR", L"$ThreadID" + ThisThread(),
                                        L"Last Error Code=ui4:" + std::to_wstring(ENOENT), L"Description=bad pointer",
                                        _, _, L"Function=CChart::Check", _));
    EXPECT_THAT(r.commands, ElementsAre(L"CREATE", L"PROCESS"));

    // When the record cannot be sent, or there is no library, the text is thrown.
    snag.SetResult(L"PROCESS", E_FAIL);
    EXPECT_THROW(chart.Check(nullptr), const wchar_t*);
    snag.SetAvailable(false);
    FakeSnagwise::ResetClient();
    EXPECT_THROW(chart.Check(nullptr), const wchar_t*);
}

TEST(QualifiedFunctionName, TakesTheScopesOfTheSignature)
{
    const struct {
        const char *name, *signature, *expected;
    } cases[] = {
        {"Run", "int Run(int, char**)", "Run"},
        {"~CChart", "virtual CChart::~CChart()", "CChart::~CChart"},
        {"Get", "const std::vector<int>& ns::Holder<std::map<int, int> >::Get() const",
         "ns::Holder<std::map<int, int> >::Get"},
        {"operator==", "bool CKey::operator==(const CKey&) const", "CKey::operator=="},
        // A name the signature does not show (lambdas): the bare name.
        {"operator()", "CChart::Load()::<lambda(int)>", "operator()"},
        {"Load", nullptr, "Load"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SnagwiseUtil::QualifiedFunctionName(c.name, c.signature), c.expected) << c.name;
}

} // namespace
