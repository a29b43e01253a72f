// The data transformer and its iterators against a mocked data source.
#include "DataTransformer.h"
#include "FakeDataSource.h"

#include "support/ComErrorOf.h"
#include "support/FakeSnagwise.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <typeinfo>

using namespace vantix::test;
using ::testing::_;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::NiceMock;
using ::testing::Return;

namespace {

constexpr const wchar_t* kHrCheck = L"((HRESULT)(hr) >= 0)";
constexpr const wchar_t* kFixedCount = L"2 == ulInputCount - fixedSize && L\"fixed not enough inputs\"";

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

boost::shared_ptr<IDataIterator> IteratorOf(CDataTransformer& t)
{
    boost::shared_ptr<IDataIterator> p;
    EXPECT_TRUE(t.GetDataIterator(&p));
    return p;
}

// Every record the transformer's iterator delivers through GetDataInt (x, y, z).
std::vector<Record> Walk(CDataTransformer& t)
{
    std::vector<Record> out;
    const auto it = IteratorOf(t);
    for (bool b = it->Begin(); b; b = it->Next()) {
        Record r{};
        EXPECT_TRUE(it->GetDataInt(&r.x, &r.y, &r.z));
        out.push_back(r);
    }
    return out;
}

struct TransformerTest : ::testing::Test {
    FakeSnagwise snag;
    ComPtr<NiceMock<MockDataSource>> src;
    std::unique_ptr<CDataTransformer> t;

    CDataTransformer& Make(DataTable table, ULONG x = 0, ULONG y = 1, std::vector<FixedInput> fixed = {})
    {
        src = MakeSource(std::move(table));
        t = std::make_unique<CDataTransformer>(Unk(src.Get()));
        t->m_nInputX = x;
        t->m_nInputY = y;
        t->m_Fixed = std::move(fixed);
        return *t;
    }
};

} // namespace

TEST_F(TransformerTest, LifecycleTracesEachObjectAndHoldsReferences)
{
    src = MakeSource(DataTable::Make(2, {}));
    const ULONG before = src->References();
    std::wstring original, copy;
    {
        CDataTransformer a(Unk(src.Get()));
        original = PointerText(&a);
        a.m_Fixed = {{3, 7}};
        {
            const CDataTransformer c(a);
            copy = PointerText(&c);
            EXPECT_EQ(src->References(), before + 4);
            EXPECT_THAT(c.m_Fixed, ElementsAre(FixedInput{3, 7}));
        }
        EXPECT_EQ(src->References(), before + 2);
    }
    EXPECT_EQ(src->References(), before);
    EXPECT_THAT(snag.Traces(), ElementsAre(L"Data transformer : create " + original, L"Data transformer : create " + copy,
                                           L"Data transformer : destroy " + copy,
                                           L"Data transformer : destroy " + original));
}

TEST_F(TransformerTest, MissingInterfacesAssertAndCallsThroughThemThrow)
{
    auto noEx = MakeSource(DataTable::Make(2, {{0, 0}}));
    noEx->refuseSourceEx = true;
    CDataTransformer half(Unk(noEx.Get()));
    EXPECT_THAT(snag.Asserts(), ElementsAre(L"m_pDataSourceEx && m_pDataSource && L\"Bad pointer\""));
    // The source half still works; the value-index half throws.
    auto it = IteratorOf(half);
    ASSERT_TRUE(it->Begin());
    double x = 0, y = 0, z = 0;
    EXPECT_TRUE(it->GetData(&x, &y, &z));
    std::uint64_t i = 0, j = 0;
    EXPECT_EQ(ComErrorOf([&] { it->GetDataInt(&i, &j, &z); }), E_POINTER);

    auto neither = MakeSource(DataTable::Make(2, {}));
    neither->refuseSource = neither->refuseSourceEx = true;
    CDataTransformer empty(Unk(neither.Get()));
    IUnknown* pSaver = nullptr;
    std::wstring s;
    const std::function<void()> calls[] = {[&] { empty.GetDataStyle(); }, [&] { empty.GetProximalName(); },
                                           [&] { empty.GetInputXFullName(&s); }, [&] { IteratorOf(empty); },
                                           [&] { empty.GetDataSaver(&pSaver); }};
    for (const auto& call : calls)
        EXPECT_EQ(ComErrorOf(call), E_POINTER);
    // A one-input transfer needs no provider call to hand out its iterator.
    empty.m_eType = IDataTransfer::DATA_1D;
    EXPECT_EQ(ComErrorOf([&] { IteratorOf(empty)->Begin(); }), E_POINTER);

    // A refusal other than "no such interface" is thrown as it is.
    noEx->refusal = E_OUTOFMEMORY;
    EXPECT_EQ(ComErrorOf([&] { CDataTransformer failed(Unk(noEx.Get())); }), E_OUTOFMEMORY);
}

// The style and the proximal name follow the provider's type; unknown types assert.
TEST_F(TransformerTest, StyleAndProximalNameFollowTheType)
{
    DataTable table = DataTable::Make(4, {});
    table.signalNames = {L"Lowpass", L"Notch", L"Gain", L"Delay"};
    Make(table, 2, 3); // X and Y do not matter for the name
    const struct {
        LONG type;
        IDataTransfer::DataStyle style;
        const wchar_t* name;
    } cases[] = {{0, IDataTransfer::STYLE_SURFACE, L"bf_Lowpass_Notch"},
                 {1, IDataTransfer::STYLE_SURFACE, L"bf_Lowpass_Notch"},
                 {2, IDataTransfer::STYLE_POINT3D, L"ga_Lowpass_Notch"},
                 {9, IDataTransfer::STYLE_SURFACE, L"_Lowpass_Notch"}};
    for (const auto& c : cases) {
        src->table.type = c.type;
        EXPECT_EQ(t->GetDataStyle(), c.style) << c.type;
        EXPECT_EQ(t->GetProximalName(), c.name) << c.type;
    }
    EXPECT_THAT(snag.Asserts(), ElementsAre(L"! L\"Unknown data type\""));
    snag.Clear();
    src->table.type = 0;
    src->table.inputNames = {L"a"};
    EXPECT_EQ(t->GetProximalName(), L"bf_Lowpass");
    EXPECT_CALL(*src, GetSignalName(0, _)).WillOnce(Return(E_FAIL));
    EXPECT_EQ(t->GetProximalName(), L"bf_");
    EXPECT_CALL(*src, GetDataType(_)).WillOnce(Return(E_FAIL));
    EXPECT_EQ(t->GetDataStyle(), IDataTransfer::STYLE_SURFACE);
    EXPECT_THAT(snag.Asserts(), ElementsAre(kHrCheck, L"((HRESULT)(hr) >= 0) && L\"GetDataType failure\""));
}

TEST_F(TransformerTest, NamesComeFromTheChosenInputsAndFunctionAndFailuresAssert)
{
    DataTable table = DataTable::Make(3, {});
    table.inputNames = {L"Cutoff", L"Q", L"Order"};
    table.signalNames = {L"Lowpass", L"", L"Lowpass"};
    table.functionNames = {L"Ripple", L"Overshoot"};
    Make(table, 2, 1).m_nFunction = 1;
    using Getter = void (CDataTransformer::*)(std::wstring*) const;
    const std::tuple<Getter, const wchar_t*, const wchar_t*> names[] = {
        {&CDataTransformer::GetInputXName, L"Order", L"GetInputName error"},
        {&CDataTransformer::GetInputYName, L"Q", L"GetInputYName error"},
        {&CDataTransformer::GetFunctionName, L"Overshoot", L"GetFunctionName error"},
        {&CDataTransformer::GetInputXFullName, L"Lowpass:Order", nullptr},
        {&CDataTransformer::GetInputYFullName, L":Q", nullptr}};
    for (const auto& [get, name, error] : names) {
        std::wstring s;
        ((*t).*get)(&s);
        EXPECT_EQ(s, name);
    }
    EXPECT_THAT(snag.Asserts(), IsEmpty());

    ON_CALL(*src, GetInputName(_, _)).WillByDefault(Return(E_FAIL));
    ON_CALL(*src, GetFunctionName(_, _)).WillByDefault(Return(E_FAIL));
    ON_CALL(*src, GetSignalName(_, _)).WillByDefault(Return(E_FAIL));
    std::vector<std::wstring> expected;
    for (const auto& [get, name, error] : names)
        if (error) {
            std::wstring s = L"kept";
            ((*t).*get)(&s);
            EXPECT_EQ(s, L"kept"); // whatever the provider left
            expected.push_back(std::wstring(L"((HRESULT)(hr) >= 0) && L\"") + error + L"\"");
        }
    std::wstring full;
    t->GetInputXFullName(&full);
    EXPECT_EQ(full, L":");
    expected.push_back(L"((HRESULT)(hr) >= 0) && L\"GetInputName error\"");
    expected.push_back(L"((HRESULT)(hr) >= 0) && L\"GetSignalName error\"");
    EXPECT_EQ(snag.Asserts(), expected);
}

TEST_F(TransformerTest, IteratorKindFollowsInputCountAndType)
{
    const struct {
        std::size_t inputs;
        std::size_t fixed;
        const std::type_info& kind;
        std::vector<std::wstring> asserts;
    } cases[] = {
        {2, 1, typeid(CDataTransformer::CBaseDataIterator), {}}, // fixed inputs ignored with two inputs
        {5, 3, typeid(CDataTransformer::CShearDataIterator), {}},
        {5, 2, typeid(CDataTransformer::CShearDataIterator), {kFixedCount}},
        {1, 0, typeid(CDataTransformer::CShearDataIterator),
         {L"ulInputCount > 2 && L\"Input count have to be greate than 2 for this case\"", kFixedCount}},
    };
    for (const auto& c : cases) {
        snag.Clear();
        Make(DataTable::Make(c.inputs, {}), 1, 3, std::vector<FixedInput>(c.fixed, FixedInput{0, 0}));
        const auto it = IteratorOf(*t);
        EXPECT_EQ(typeid(*it), c.kind) << c.inputs;
        EXPECT_EQ(snag.Asserts(), c.asserts) << c.inputs;
    }
    t->m_eType = IDataTransfer::DATA_1D;
    const auto plain = IteratorOf(*t);
    EXPECT_EQ(typeid(*plain), typeid(CDataTransformer::CPlainDataIterator));
    // An unknown kind leaves the caller's pointer as it was.
    t->m_eType = static_cast<IDataTransfer::DataType>(5);
    boost::shared_ptr<IDataIterator> kept = plain;
    EXPECT_TRUE(t->GetDataIterator(&kept));
    EXPECT_EQ(kept, plain);
    snag.Clear();
    EXPECT_FALSE(t->GetDataIterator(nullptr));
    EXPECT_THAT(snag.Asserts(), ElementsAre(L"ppIterator && L\"Bad pointer\""));

    snag.Clear();
    Make(DataTable::Make(2, {}));
    EXPECT_CALL(*src, GetInputCount(_)).WillOnce(Return(E_FAIL));
    const auto it = IteratorOf(*t);
    EXPECT_EQ(typeid(*it), typeid(CDataTransformer::CShearDataIterator)); // count 0 then
    EXPECT_EQ(snag.Asserts().front(), kHrCheck);
}

TEST_F(TransformerTest, BaseAndPlainIteratorsWalkEveryRecordInTheirOwnForms)
{
    Make(DataTable::Make(2, {{0, 1}, {2, 0}, {1, 1}}), 1, 0);
    EXPECT_THAT(Walk(*t), ElementsAre(Record{1, 0, 1000}, Record{0, 2, 1001}, Record{1, 1, 1002}));
    const auto it = IteratorOf(*t);
    ASSERT_TRUE(it->Begin());
    double x = -1, y = -1, z = -1;
    std::uint64_t i = 0;
    EXPECT_TRUE(it->GetData(&x, &y, &z));
    EXPECT_EQ(std::tuple(x, y, z), std::tuple(DataTable::Value(1, 1), DataTable::Value(0, 0), 1000.0));
    EXPECT_FALSE(it->GetData(&x, &z) || it->GetDataInt(&i, &z)); // not the one-input forms
    // Index conversion uses the owner's X and Y, values its current function.
    EXPECT_TRUE(it->GetInputXValue(5, &x) && it->GetInputYValue(5, &y));
    EXPECT_EQ(std::pair(x, y), std::pair(DataTable::Value(1, 5), DataTable::Value(0, 5)));
    t->m_nFunction = 1;
    EXPECT_TRUE(it->GetData(&x, &y, &z));
    EXPECT_EQ(z, 2000);
    EXPECT_TRUE(it->Next() && it->Next());
    EXPECT_FALSE(it->Next());
    EXPECT_FALSE(it->Next()); // stays at the end
    EXPECT_THAT(snag.Asserts(), IsEmpty());
    // Reading past the end asks the provider for record 3, which it refuses.
    EXPECT_TRUE(it->GetData(&x, &y, &z));
    EXPECT_THAT(snag.Asserts(), ElementsAre(kHrCheck, kHrCheck, kHrCheck));

    Make(DataTable::Make(3, {{4, 0, 0}, {2, 1, 0}}));
    t->m_eType = IDataTransfer::DATA_1D;
    const auto plain = IteratorOf(*t);
    ASSERT_TRUE(plain->Begin() && plain->Next());
    std::uint64_t j = 0;
    EXPECT_FALSE(plain->GetData(&x, &y, &z) || plain->GetDataInt(&i, &j, &z) || plain->GetInputYValue(0, &y));
    EXPECT_TRUE(plain->GetData(&x, &z));
    EXPECT_EQ(std::pair(x, z), std::pair(DataTable::Value(0, 2), 1001.0));
    EXPECT_TRUE(plain->GetDataInt(&i, &z));
    EXPECT_EQ(i, 2u);
    EXPECT_TRUE(plain->GetInputXValue(3, &x));
    EXPECT_EQ(x, DataTable::Value(0, 3));
    EXPECT_FALSE(plain->Next());
}

TEST_F(TransformerTest, EmptySourceStartsNoIteratorAndAsksNothingPerRecord)
{
    for (const std::size_t inputs : {2u, 4u}) {
        Make(DataTable::Make(inputs, {}), 0, 1, {{2, 0}, {3, 0}});
        EXPECT_CALL(*src, GetInputValueIndex(_, _, _)).Times(0);
        EXPECT_FALSE(IteratorOf(*t)->Begin());
        t->m_eType = IDataTransfer::DATA_1D;
        EXPECT_FALSE(IteratorOf(*t)->Begin());
    }
}

// Five inputs: X = 1, Y = 3 (carrying the record number), fixed 0, 2, 4.
// Matching records come in record order, the first and last included; held
// over ranges, "All", a span past the last index.
TEST_F(TransformerTest, ShearDeliversTheRecordsMatchingTheHeldValues)
{
    const auto rec = [](std::vector<std::uint64_t> fixed, std::uint64_t r) {
        return std::vector<std::uint64_t>{fixed[0], 0, fixed[1], r, fixed[2]};
    };
    const std::vector<std::vector<std::uint64_t>> records = {
        rec({1, 0, 2}, 0), rec({0, 0, 2}, 1), rec({1, 1, 2}, 2),
        rec({2, 0, 2}, 3), rec({3, 2, 1}, 4), rec({1, 0, 2}, 5)};
    const struct {
        std::vector<FixedInput> fixed;
        std::vector<std::uint64_t> ys;
    } cases[] = {
        {{{0, 1}, {2, 0}, {4, 2}}, {0, 5}},
        {{{0, 0}, {2, 0}, {4, 2}}, {1}},
        {{{0, 3}, {2, 2}, {4, 1}}, {4}},
        {{{0, 3}, {2, 2}, {4, 2}}, {}},           // none
        {{{0, 1, 1}, {2, 0}, {4, 2}}, {0, 3, 5}}, // a range of input 0
        {{{0, 0, 3}, {2, 0, 2}, {4, 0, 2}}, {0, 1, 2, 3, 4, 5}},   // "All"
        {{{0, 2, 5}, {2, 0, 2}, {4, 1, 1}}, {3, 4}},               // a span past the last index
        {{}, {0, 1, 2, 3, 4, 5}},                                  // nothing held: asserted
    };
    Make(DataTable::Make(5, records), 1, 3);
    for (const auto& c : cases) {
        t->m_Fixed = c.fixed;
        std::vector<std::uint64_t> ys;
        for (const Record& r : Walk(*t))
            ys.push_back(r.y);
        EXPECT_EQ(ys, c.ys) << c.fixed.size() << " held";
    }
    EXPECT_THAT(snag.Asserts(), ElementsAre(kFixedCount));
    // Heights, the record stood on; no two-argument forms.
    t->m_Fixed = cases[0].fixed;
    EXPECT_THAT(Walk(*t), ElementsAre(Record{0, 0, 1000}, Record{0, 5, 1005}));
    const auto it = IteratorOf(*t);
    std::uint32_t record = 99;
    EXPECT_FALSE(it->GetRecord(&record)); // not started
    ASSERT_TRUE(it->Begin() && it->Next());
    EXPECT_TRUE(it->GetRecord(&record));
    EXPECT_EQ(record, 5u);
    double x = -1, z = -1;
    std::uint64_t i = 7;
    EXPECT_FALSE(it->GetData(&x, &z) || it->GetDataInt(&i, &z));
}

TEST_F(TransformerTest, FailedIndexQueriesAssertAndCountAsIndexZero)
{
    Make(DataTable::Make(5, {{7, 1, 7, 0, 7}, {1, 2, 0, 0, 0}}), 1, 3, {{0, 0}, {2, 0}, {4, 0}});
    // The provider fails for record 0 without writing: the preset 0 matches.
    ON_CALL(*src, GetInputValueIndex(0, _, _)).WillByDefault(Return(E_FAIL));
    const auto it = IteratorOf(*t);
    ASSERT_TRUE(it->Begin());
    EXPECT_THAT(snag.Asserts(), ElementsAre(kHrCheck, kHrCheck, kHrCheck));
    EXPECT_FALSE(it->Next()); // record 1 has fixed index 1 at input 0
}

TEST_F(TransformerTest, SaverComesFromTheSource)
{
    Make(DataTable::Make(2, {}));
    IUnknown* pSaver = nullptr;
    EXPECT_EQ(t->GetDataSaver(&pSaver), S_OK);
    const auto saver = ComPtr<IUnknown>::Attach(pSaver);
    EXPECT_EQ(static_cast<void*>(pSaver), static_cast<void*>(static_cast<IOptimizationResultsDataSaver*>(src.Get())));
    src->refuseSaver = true;
    pSaver = nullptr;
    EXPECT_EQ(t->GetDataSaver(&pSaver), E_NOINTERFACE);
    EXPECT_EQ(pSaver, nullptr);
    EXPECT_THAT(snag.Asserts(), ElementsAre(L"((HRESULT)0x00000000L) == hr && L\"can't get saver interface\""));
}
