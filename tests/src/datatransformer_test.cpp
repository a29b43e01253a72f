// The data transformer and its iterators against a mocked data source.
#include "DataTransformer.h"
#include "FakeDataSource.h"

#include "support/ComErrorOf.h"
#include "support/FakeSnagwise.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <typeinfo>

using namespace vantix::test;
using ::testing::_;
using ::testing::AnyNumber;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::NiceMock;
using ::testing::Return;

namespace {

constexpr const wchar_t* kHrCheck = L"((HRESULT)(hr) >= 0)";

IUnknown* Unk(MockDataSource* p)
{
    return static_cast<IOptimizationResultsDataSource*>(p);
}

struct Record {
    std::uint64_t x, y;
    double z;
    friend bool operator==(const Record&, const Record&) = default;
};

std::ostream& operator<<(std::ostream& os, const Record& r)
{
    return os << "(" << r.x << ", " << r.y << ", " << r.z << ")";
}

// Every record an iterator delivers through GetDataInt (x, y, z).
std::vector<Record> Walk(IDataIterator& it)
{
    std::vector<Record> out;
    for (bool b = it.Begin(); b; b = it.Next()) {
        Record r{};
        EXPECT_TRUE(it.GetDataInt(&r.x, &r.y, &r.z));
        out.push_back(r);
    }
    return out;
}

boost::shared_ptr<IDataIterator> IteratorOf(CDataTransformer& t)
{
    boost::shared_ptr<IDataIterator> p;
    EXPECT_TRUE(t.GetDataIterator(&p));
    return p;
}

struct TransformerTest : ::testing::Test {
    FakeSnagwise snag;
};

} // namespace

TEST_F(TransformerTest, LifecycleTracesEachObjectAndHoldsReferences)
{
    auto src = MakeSource(DataTable::Make(2, {}));
    const ULONG before = src->References();
    std::wstring original, copy;
    {
        CDataTransformer t(Unk(src.Get()));
        original = PointerText(&t);
        EXPECT_EQ(src->References(), before + 2);
        t.m_nFunction = 1;
        t.m_nInputX = 1;
        t.m_nInputY = 0;
        t.m_Fixed = {{3, 7}};
        {
            CDataTransformer c(t);
            copy = PointerText(&c);
            EXPECT_EQ(src->References(), before + 4);
            EXPECT_EQ(c.m_nFunction, 1u);
            EXPECT_EQ(c.m_nInputX, 1u);
            EXPECT_EQ(c.m_nInputY, 0u);
            EXPECT_THAT(c.m_Fixed, ElementsAre(FixedInput{3, 7}));
        }
        EXPECT_EQ(src->References(), before + 2);
    }
    EXPECT_EQ(src->References(), before);
    EXPECT_THAT(snag.Traces(), ElementsAre(L"Data transformer : create " + original, L"Data transformer : create " + copy,
                                           L"Data transformer : destroy " + copy,
                                           L"Data transformer : destroy " + original));
    EXPECT_THAT(snag.Asserts(), IsEmpty());
}

TEST_F(TransformerTest, MissingInterfacesAssertAndCallsThroughThemThrowEPointer)
{
    auto noEx = MakeSource(DataTable::Make(2, {{0, 0}}));
    noEx->refuseSourceEx = true;
    CDataTransformer t(Unk(noEx.Get()));
    EXPECT_THAT(snag.Asserts(), ElementsAre(L"m_pDataSourceEx && m_pDataSource && L\"Bad pointer\""));
    // The source half still works; the value-index half throws.
    EXPECT_EQ(t.GetDataStyle(), IDataTransfer::STYLE_SURFACE);
    auto it = IteratorOf(t);
    ASSERT_TRUE(it->Begin());
    double x = 0, y = 0, z = 0;
    EXPECT_TRUE(it->GetData(&x, &y, &z));
    std::uint64_t i = 0, j = 0;
    EXPECT_EQ(ComErrorOf([&] { it->GetDataInt(&i, &j, &z); }), E_POINTER);

    auto neither = MakeSource(DataTable::Make(2, {}));
    neither->refuseSource = neither->refuseSourceEx = true;
    CDataTransformer empty(Unk(neither.Get()));
    EXPECT_EQ(ComErrorOf([&] { empty.GetDataStyle(); }), E_POINTER);
    EXPECT_EQ(ComErrorOf([&] { empty.GetProximalName(); }), E_POINTER);
    EXPECT_EQ(ComErrorOf([&] { std::wstring s; empty.GetInputXFullName(&s); }), E_POINTER);
    EXPECT_EQ(ComErrorOf([&] { IteratorOf(empty); }), E_POINTER);
    IUnknown* pSaver = nullptr;
    EXPECT_EQ(ComErrorOf([&] { empty.GetDataSaver(&pSaver); }), E_POINTER);
    // A one-input transfer needs no provider call to hand out its iterator.
    empty.m_eType = IDataTransfer::DATA_1D;
    auto plain = IteratorOf(empty);
    ASSERT_TRUE(plain);
    EXPECT_EQ(ComErrorOf([&] { plain->Begin(); }), E_POINTER);
}

TEST_F(TransformerTest, FailedQueriesOtherThanNoInterfaceThrowTheirCode)
{
    auto src = MakeSource(DataTable::Make(2, {}));
    src->refuseSourceEx = true;
    src->refusal = E_OUTOFMEMORY;
    EXPECT_EQ(ComErrorOf([&] { CDataTransformer t(Unk(src.Get())); }), E_OUTOFMEMORY);
}

TEST_F(TransformerTest, DataStyleFollowsTheProviderType)
{
    auto src = MakeSource(DataTable::Make(2, {}));
    CDataTransformer t(Unk(src.Get()));
    for (const auto& [type, style] : {std::pair{0, IDataTransfer::STYLE_SURFACE}, std::pair{1, IDataTransfer::STYLE_SURFACE},
                                      std::pair{2, IDataTransfer::STYLE_POINT3D}}) {
        src->table.type = type;
        EXPECT_EQ(t.GetDataStyle(), style) << type;
    }
    EXPECT_THAT(snag.Asserts(), IsEmpty());
    src->table.type = 3;
    EXPECT_EQ(t.GetDataStyle(), IDataTransfer::STYLE_SURFACE);
    src->table.type = -1;
    EXPECT_EQ(t.GetDataStyle(), IDataTransfer::STYLE_SURFACE);
    EXPECT_THAT(snag.Asserts(), ElementsAre(L"! L\"Unknown data type\"", L"! L\"Unknown data type\""));

    snag.Clear();
    EXPECT_CALL(*src, GetDataType(_)).WillOnce(Return(E_FAIL));
    EXPECT_EQ(t.GetDataStyle(), IDataTransfer::STYLE_SURFACE);
    EXPECT_THAT(snag.Asserts(), ElementsAre(L"((HRESULT)(hr) >= 0) && L\"GetDataType failure\""));
}

TEST_F(TransformerTest, ProximalNameUsesTypeAndTheFirstTwoSignals)
{
    DataTable table = DataTable::Make(4, {});
    table.signalNames = {L"Lowpass", L"Notch", L"Gain", L"Delay"};
    auto src = MakeSource(table);
    CDataTransformer t(Unk(src.Get()));
    t.m_nInputX = 2; // X and Y do not matter
    t.m_nInputY = 3;
    for (const auto& [type, name] : {std::pair{0, L"bf_Lowpass_Notch"}, {1, L"bf_Lowpass_Notch"},
                                     {2, L"ga_Lowpass_Notch"}, {9, L"_Lowpass_Notch"}}) {
        src->table.type = type;
        EXPECT_EQ(t.GetProximalName(), name) << type;
    }
    src->table.signalNames = {L"", L"", L"", L""};
    src->table.type = 0;
    EXPECT_EQ(t.GetProximalName(), L"bf__");

    src->table.inputNames = {L"a"};
    src->table.signalNames = {L"Lowpass"};
    EXPECT_EQ(t.GetProximalName(), L"bf_Lowpass");
    EXPECT_THAT(snag.Asserts(), IsEmpty());

    EXPECT_CALL(*src, GetSignalName(0, _)).WillOnce(Return(E_FAIL));
    EXPECT_EQ(t.GetProximalName(), L"bf_");
    EXPECT_THAT(snag.Asserts(), ElementsAre(kHrCheck));
}

TEST_F(TransformerTest, NamesComeFromTheChosenInputsAndFunction)
{
    DataTable table = DataTable::Make(3, {});
    table.inputNames = {L"Cutoff", L"Q", L"Order"};
    table.signalNames = {L"Lowpass", L"", L"Lowpass"};
    table.functionNames = {L"Ripple", L"Overshoot"};
    auto src = MakeSource(table);
    CDataTransformer t(Unk(src.Get()));
    t.m_nInputX = 2;
    t.m_nInputY = 1;
    t.m_nFunction = 1;
    const std::pair<void (CDataTransformer::*)(std::wstring*) const, const wchar_t*> names[] = {
        {&CDataTransformer::GetInputXName, L"Order"},
        {&CDataTransformer::GetInputYName, L"Q"},
        {&CDataTransformer::GetFunctionName, L"Overshoot"},
        {&CDataTransformer::GetInputXFullName, L"Lowpass:Order"},
        {&CDataTransformer::GetInputYFullName, L":Q"}};
    for (const auto& [get, name] : names) {
        std::wstring s;
        (t.*get)(&s);
        EXPECT_EQ(s, name);
    }
    EXPECT_THAT(snag.Asserts(), IsEmpty());
}

TEST_F(TransformerTest, FailingNameCallsAssertTheirOwnTexts)
{
    auto src = MakeSource(DataTable::Make(2, {}));
    CDataTransformer t(Unk(src.Get()));
    EXPECT_CALL(*src, GetInputName(_, _)).WillRepeatedly(Return(E_FAIL));
    EXPECT_CALL(*src, GetFunctionName(_, _)).WillRepeatedly(Return(E_FAIL));
    EXPECT_CALL(*src, GetSignalName(_, _)).WillRepeatedly(Return(E_FAIL));
    std::wstring s = L"kept";
    t.GetInputXName(&s);
    t.GetInputYName(&s);
    t.GetFunctionName(&s);
    EXPECT_EQ(s, L"kept"); // whatever the provider left
    t.GetInputXFullName(&s);
    EXPECT_EQ(s, L":");
    EXPECT_THAT(snag.Asserts(), ElementsAre(L"((HRESULT)(hr) >= 0) && L\"GetInputName error\"",
                                            L"((HRESULT)(hr) >= 0) && L\"GetInputYName error\"",
                                            L"((HRESULT)(hr) >= 0) && L\"GetFunctionName error\"",
                                            L"((HRESULT)(hr) >= 0) && L\"GetInputName error\"",
                                            L"((HRESULT)(hr) >= 0) && L\"GetSignalName error\""));
}

TEST_F(TransformerTest, IteratorKindFollowsInputCountAndType)
{
    auto two = MakeSource(DataTable::Make(2, {}));
    CDataTransformer t2(Unk(two.Get()));
    t2.m_Fixed = {{0, 0}}; // ignored with exactly two inputs
    auto it = IteratorOf(t2);
    ASSERT_TRUE(it);
    EXPECT_EQ(typeid(*it), typeid(CDataTransformer::CBaseDataIterator));

    auto five = MakeSource(DataTable::Make(5, {}));
    CDataTransformer t5(Unk(five.Get()));
    t5.m_nInputX = 1;
    t5.m_nInputY = 3;
    t5.m_Fixed = {{0, 1}, {2, 0}, {4, 2}};
    it = IteratorOf(t5);
    EXPECT_EQ(typeid(*it), typeid(CDataTransformer::CShearDataIterator));
    EXPECT_THAT(snag.Asserts(), IsEmpty());

    t5.m_Fixed.pop_back();
    it = IteratorOf(t5);
    EXPECT_EQ(typeid(*it), typeid(CDataTransformer::CShearDataIterator));
    EXPECT_THAT(snag.Asserts(), ElementsAre(L"2 == ulInputCount - fixedSize && L\"fixed not enough inputs\""));

    snag.Clear();
    auto one = MakeSource(DataTable::Make(1, {}));
    CDataTransformer t1(Unk(one.Get()));
    it = IteratorOf(t1);
    EXPECT_EQ(typeid(*it), typeid(CDataTransformer::CShearDataIterator));
    EXPECT_THAT(snag.Asserts(),
                ElementsAre(L"ulInputCount > 2 && L\"Input count have to be greate than 2 for this case\"",
                            L"2 == ulInputCount - fixedSize && L\"fixed not enough inputs\""));

    snag.Clear();
    t5.m_eType = IDataTransfer::DATA_1D;
    it = IteratorOf(t5);
    EXPECT_EQ(typeid(*it), typeid(CDataTransformer::CPlainDataIterator));

    // An unknown kind leaves the caller's pointer as it was.
    t5.m_eType = static_cast<IDataTransfer::DataType>(5);
    boost::shared_ptr<IDataIterator> kept = it;
    EXPECT_TRUE(t5.GetDataIterator(&kept));
    EXPECT_EQ(kept, it);

    EXPECT_FALSE(t5.GetDataIterator(nullptr));
    EXPECT_THAT(snag.Asserts(), ElementsAre(L"ppIterator && L\"Bad pointer\""));

    snag.Clear();
    t2.m_eType = IDataTransfer::DATA_2D;
    EXPECT_CALL(*two, GetInputCount(_)).WillOnce(Return(E_FAIL));
    it = IteratorOf(t2);
    EXPECT_EQ(typeid(*it), typeid(CDataTransformer::CShearDataIterator)); // count 0 then
    EXPECT_EQ(snag.Asserts().front(), kHrCheck);
}

TEST_F(TransformerTest, BaseIteratorWalksEveryRecordAndStopsAtTheEnd)
{
    auto src = MakeSource(DataTable::Make(2, {{0, 1}, {2, 0}, {1, 1}}));
    CDataTransformer t(Unk(src.Get()));
    t.m_nInputX = 1;
    t.m_nInputY = 0;
    auto it = IteratorOf(t);
    EXPECT_THAT(Walk(*it), ElementsAre(Record{1, 0, 1000}, Record{0, 2, 1001}, Record{1, 1, 1002}));

    ASSERT_TRUE(it->Begin());
    double x = -1, y = -1, z = -1;
    EXPECT_TRUE(it->GetData(&x, &y, &z));
    EXPECT_EQ(x, DataTable::Value(1, 1));
    EXPECT_EQ(y, DataTable::Value(0, 0));
    EXPECT_EQ(z, 1000);
    // The one-input forms are not answered and leave the arguments alone.
    std::uint64_t i = 42;
    x = z = -1;
    EXPECT_FALSE(it->GetData(&x, &z));
    EXPECT_FALSE(it->GetDataInt(&i, &z));
    EXPECT_EQ(x, -1);
    EXPECT_EQ(z, -1);
    EXPECT_EQ(i, 42u);
    // Index conversion uses the owner's X and Y.
    EXPECT_TRUE(it->GetInputXValue(5, &x));
    EXPECT_TRUE(it->GetInputYValue(5, &y));
    EXPECT_EQ(x, DataTable::Value(1, 5));
    EXPECT_EQ(y, DataTable::Value(0, 5));
    // The iterator reads its owner's current choice of function.
    t.m_nFunction = 1;
    EXPECT_TRUE(it->GetData(&x, &y, &z));
    EXPECT_EQ(z, 2000);

    EXPECT_TRUE(it->Next());
    EXPECT_TRUE(it->Next());
    EXPECT_FALSE(it->Next());
    EXPECT_FALSE(it->Next()); // stays at the end
    EXPECT_THAT(snag.Asserts(), IsEmpty());

    // Reading past the end asks the provider for record 3, which it refuses.
    EXPECT_CALL(*src, GetInputValue(3, _, _)).Times(2);
    EXPECT_CALL(*src, GetFunctionValue(3, _, _)).Times(1);
    EXPECT_TRUE(it->GetData(&x, &y, &z));
    EXPECT_THAT(snag.Asserts(), ElementsAre(kHrCheck, kHrCheck, kHrCheck));
}

TEST_F(TransformerTest, EmptySourceStartsNoIteratorAndAsksNothingPerRecord)
{
    auto src = MakeSource(DataTable::Make(4, {}));
    EXPECT_CALL(*src, GetInputValueIndex(_, _, _)).Times(0);
    CDataTransformer t(Unk(src.Get()));
    t.m_nInputX = 0;
    t.m_nInputY = 1;
    t.m_Fixed = {{2, 0}, {3, 0}};
    EXPECT_FALSE(IteratorOf(t)->Begin());
    t.m_eType = IDataTransfer::DATA_1D;
    EXPECT_FALSE(IteratorOf(t)->Begin());
    auto two = MakeSource(DataTable::Make(2, {}));
    CDataTransformer t2(Unk(two.Get()));
    EXPECT_FALSE(IteratorOf(t2)->Begin());
}

TEST_F(TransformerTest, PlainIteratorAnswersOnlyTheOneInputForms)
{
    auto src = MakeSource(DataTable::Make(3, {{4, 0, 0}, {2, 1, 0}}));
    CDataTransformer t(Unk(src.Get()));
    t.m_eType = IDataTransfer::DATA_1D;
    auto it = IteratorOf(t);
    ASSERT_TRUE(it->Begin());
    ASSERT_TRUE(it->Next());
    double x = -1, y = -1, z = -1;
    std::uint64_t i = 9, j = 9;
    EXPECT_FALSE(it->GetData(&x, &y, &z));
    EXPECT_FALSE(it->GetDataInt(&i, &j, &z));
    EXPECT_FALSE(it->GetInputYValue(0, &y));
    EXPECT_EQ(x, -1);
    EXPECT_EQ(y, -1);
    EXPECT_EQ(z, -1);
    EXPECT_EQ(i, 9u);
    EXPECT_TRUE(it->GetData(&x, &z));
    EXPECT_EQ(x, DataTable::Value(0, 2));
    EXPECT_EQ(z, 1001);
    EXPECT_TRUE(it->GetDataInt(&i, &z));
    EXPECT_EQ(i, 2u);
    EXPECT_TRUE(it->GetInputXValue(3, &x));
    EXPECT_EQ(x, DataTable::Value(0, 3));
    EXPECT_FALSE(it->Next());
}

namespace {

// Five inputs: X = 1, Y = 3, fixed 0, 2, 4 at value indices 1, 0, 2.
struct ShearTest : TransformerTest {
    std::vector<std::vector<std::uint64_t>> records;
    ComPtr<NiceMock<MockDataSource>> src;
    std::unique_ptr<CDataTransformer> t;

    static std::vector<std::uint64_t> Match(std::uint64_t x, std::uint64_t y) { return {1, x, 0, y, 2}; }

    void Build()
    {
        src = MakeSource(DataTable::Make(5, records));
        t = std::make_unique<CDataTransformer>(Unk(src.Get()));
        t->m_nInputX = 1;
        t->m_nInputY = 3;
        t->m_Fixed = {{0, 1}, {2, 0}, {4, 2}};
    }
    std::vector<std::uint64_t> DeliveredXs()
    {
        std::vector<std::uint64_t> xs;
        for (const Record& r : Walk(*IteratorOf(*t)))
            xs.push_back(r.x);
        return xs;
    }
};

} // namespace

// Matching records in record order: some, only the first, only the last,
// none; without fixed inputs every record (asserted).
TEST_F(ShearTest, DeliversOnlyMatchingRecordsInRecordOrder)
{
    const struct {
        std::vector<std::vector<std::uint64_t>> records;
        std::vector<std::uint64_t> xs;
    } cases[] = {
        {{Match(0, 0), {0, 1, 0, 0, 2}, Match(5, 1), {1, 2, 1, 0, 2}, {1, 3, 0, 0, 1}, Match(3, 2)}, {0, 5, 3}},
        {{{0, 9, 0, 0, 2}, {1, 8, 1, 0, 2}, Match(7, 0)}, {7}},
        {{Match(4, 0), {0, 9, 0, 0, 2}, {1, 8, 1, 0, 2}}, {4}},
        {{{0, 9, 0, 0, 2}, {1, 8, 1, 0, 2}, {1, 8, 0, 0, 0}}, {}}};
    for (const auto& c : cases) {
        records = c.records;
        Build();
        EXPECT_EQ(DeliveredXs(), c.xs);
    }
    records = cases[0].records;
    Build();
    auto it = IteratorOf(*t);
    EXPECT_THAT(Walk(*it), ElementsAre(Record{0, 0, 1000}, Record{5, 1, 1002}, Record{3, 2, 1005}));
    EXPECT_FALSE(it->Next());
    // Two-argument forms are not the shear's.
    double x = -1, z = -1;
    std::uint64_t i = 7;
    EXPECT_FALSE(it->GetData(&x, &z));
    EXPECT_FALSE(it->GetDataInt(&i, &z));
    EXPECT_EQ(i, 7u);
    EXPECT_THAT(snag.Asserts(), IsEmpty());
    t->m_Fixed.clear();
    EXPECT_THAT(DeliveredXs(), ElementsAre(0u, 1u, 5u, 2u, 3u, 3u));
    EXPECT_THAT(snag.Asserts(), ElementsAre(L"2 == ulInputCount - fixedSize && L\"fixed not enough inputs\""));
}

TEST_F(ShearTest, MatchingStopsAtTheFirstMismatchingFixedInput)
{
    records = {{0, 0, 0, 0, 2}, {1, 0, 1, 0, 2}, Match(0, 0)};
    Build();
    std::vector<std::pair<ULONG, ULONG>> asked;
    ON_CALL(*src, GetInputValueIndex(_, _, _)).WillByDefault([&](ULONG r, ULONG n, std::uint64_t* out) {
        asked.emplace_back(r, n);
        *out = src->table.indices[r][n];
        return S_OK;
    });
    auto it = IteratorOf(*t);
    ASSERT_TRUE(it->Begin());
    using P = std::pair<ULONG, ULONG>;
    EXPECT_THAT(asked, ElementsAre(P{0, 0}, P{1, 0}, P{1, 2}, P{2, 0}, P{2, 2}, P{2, 4}));
}

TEST_F(ShearTest, HeldSpansMatchEveryIndexInside)
{
    // Input 0 at indices 0..3, input 2 at 0..2 (Y = input 3 carries the record number).
    for (std::uint64_t a = 0; a < 4; ++a)
        for (std::uint64_t b = 0; b < 3; ++b)
            records.push_back({a, a, b, records.size(), 0});
    Build();
    const struct {
        std::vector<FixedInput> fixed;
        std::vector<std::uint64_t> ys; // records delivered
    } cases[] = {
        {{{0, 1, 0}, {2, 2, 0}, {4, 0, 0}}, {5}},                  // one value each
        {{{0, 1, 2}, {2, 2, 0}, {4, 0, 0}}, {5, 8, 11}},           // a range of input 0
        {{{0, 0, 3}, {2, 0, 2}, {4, 0, 0}}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}}, // "All"
        {{{0, 2, 5}, {2, 1, 1}, {4, 0, 0}}, {7, 8, 10, 11}},       // a span past the last index
        {{{0, 0, 3}, {2, 0, 2}, {4, 1, 0}}, {}},                   // a value no record has
    };
    for (const auto& c : cases) {
        t->m_Fixed = c.fixed;
        std::vector<std::uint64_t> ys;
        for (const Record& r : Walk(*IteratorOf(*t)))
            ys.push_back(r.y);
        EXPECT_EQ(ys, c.ys);
    }
    // The iterator names the record it stands on.
    t->m_Fixed = cases[1].fixed;
    auto it = IteratorOf(*t);
    std::uint32_t record = 99;
    EXPECT_FALSE(it->GetRecord(&record)); // not started
    ASSERT_TRUE(it->Begin() && it->Next());
    EXPECT_TRUE(it->GetRecord(&record));
    EXPECT_EQ(record, 8u);
}

TEST_F(ShearTest, FailedIndexQueriesAssertAndCountAsIndexZero)
{
    records = {{7, 1, 7, 0, 7}, Match(2, 0)};
    Build();
    t->m_Fixed = {{0, 0}, {2, 0}, {4, 0}};
    // The provider fails for record 0 without writing: the preset 0 matches.
    ON_CALL(*src, GetInputValueIndex(0, _, _)).WillByDefault(Return(E_FAIL));
    auto it = IteratorOf(*t);
    ASSERT_TRUE(it->Begin());
    EXPECT_THAT(snag.Asserts(), ElementsAre(kHrCheck, kHrCheck, kHrCheck));
    EXPECT_FALSE(it->Next()); // record 1 has fixed index 1 at input 0
}

TEST_F(TransformerTest, SaverComesFromTheSource)
{
    auto src = MakeSource(DataTable::Make(2, {}));
    CDataTransformer t(Unk(src.Get()));
    IUnknown* pSaver = nullptr;
    EXPECT_EQ(t.GetDataSaver(&pSaver), S_OK);
    ASSERT_NE(pSaver, nullptr);
    auto saver = ComPtr<IUnknown>::Attach(pSaver);
    EXPECT_EQ(static_cast<void*>(pSaver),
              static_cast<void*>(static_cast<IOptimizationResultsDataSaver*>(src.Get())));
    EXPECT_THAT(snag.Asserts(), IsEmpty());

    src->refuseSaver = true;
    pSaver = nullptr;
    EXPECT_EQ(t.GetDataSaver(&pSaver), E_NOINTERFACE);
    EXPECT_EQ(pSaver, nullptr);
    EXPECT_THAT(snag.Asserts(), ElementsAre(L"((HRESULT)0x00000000L) == hr && L\"can't get saver interface\""));
}
