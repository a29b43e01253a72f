// String-table lookups: the program's own table and tables tests register.
#include "string_t.h"
#include "support/FakeSnagwise.h"

#include <gmock/gmock.h>

using namespace testing;
using namespace resource_string;
using vantix::test::FakeSnagwise;

namespace {

TEST(StringTable, ProgramTableHoldsEveryText)
{
    FakeSnagwise snag;
    EXPECT_EQ(resourse_2_string_impl(128), L"Vantix");
    EXPECT_EQ(resourse_2_string_impl(129), L"Chart");
    EXPECT_EQ(resourse_2_string_impl(130), L"Vantix");
    EXPECT_EQ(resourse_2_string_impl(131), L"Reopen chart to change renderer.");
    EXPECT_EQ(resourse_2_string_impl(132), L"This data incompatible with some previous one.");
    EXPECT_EQ(resourse_2_string_impl(133),
              L"To plot a 3D optimization graph, at least 2 parameters must be optimized.");
    EXPECT_EQ(resourse_2_string_impl(134), L"Unexpected file format.");
    EXPECT_EQ(resourse_2_string_impl(135), L" degree");
    EXPECT_EQ(resourse_2_string_impl(12320), L"\"The chart has unsaved data. Do you want to save it?\"");
    EXPECT_EQ(resourse_2_string_impl(57345), L"Ready");
    EXPECT_TRUE(snag.Asserts().empty());
}

TEST(StringTable, MissingEntryAssertsAndGivesEmptyText)
{
    FakeSnagwise snag;
    EXPECT_EQ(resourse_2_string_impl(136), L"");   // same block as 128..135
    EXPECT_EQ(resourse_2_string_impl(40000), L""); // no such block
    const auto asserts = snag.RecordsOfType(L"ASSERT");
    ASSERT_EQ(asserts.size(), 2u);
    EXPECT_EQ(asserts[0].String(L"Description"), L"0");
    EXPECT_EQ(asserts[0].String(L"Function"), L"resource_string::resourse_2_string_impl");
    EXPECT_THAT(asserts[0].String(L"File"), EndsWith(L"string_t.cpp"));
}

TEST(StringTable, EmptyEntryCountsAsMissingAndTheSearchGoesOnFromTheNamedModule)
{
    FakeSnagwise snag;
    CStringTableModule first;
    first.Set(131, u"");     // present but empty
    first.Set(130, u"Own caption");
    first.Set(147, u"x");    // another block
    CScopedResourceModule registration(&first);

    EXPECT_EQ(resourse_2_string_impl(130), L"Own caption");
    EXPECT_EQ(resourse_2_string_impl(131), L"Reopen chart to change renderer."); // from the program's table
    // A named module is where the search starts, registered or not.
    EXPECT_EQ(resourse_2_string_impl(130, ProgramModule()), L"Vantix");
    CStringTableModule unregistered;
    unregistered.Set(128, u"Unregistered");
    EXPECT_EQ(resourse_2_string_impl(128, &unregistered), L"Unregistered");
    EXPECT_EQ(resourse_2_string_impl(129, &unregistered), L"Chart");
    EXPECT_TRUE(snag.Asserts().empty());

    CStringTableModule lonely;
    lonely.Set(5, u"");
    EXPECT_EQ(resourse_2_string_impl(5, &lonely), L"");
    EXPECT_EQ(snag.Asserts().size(), 1u);
}

TEST(StringTable, BlocksKeepEveryEntryWhole)
{
    CStringTableModule m;
    // Rewriting and neighbouring entries of one block.
    m.Set(16, u"zero");
    m.Set(31, u"fifteen");
    m.Set(17, u"one");
    m.Set(16, u"nil, longer than before");
    m.Set(30, u"\U0001F600 emoji");
    const std::vector<char16_t>* block = m.FindBlock(2);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(m.FindBlock(1), nullptr);
    EXPECT_EQ(block->front(), 23); // counted: the length first
    CScopedResourceModule registration(&m);
    EXPECT_EQ(resourse_2_string_impl(16, &m), L"nil, longer than before");
    EXPECT_EQ(resourse_2_string_impl(17, &m), L"one");
    EXPECT_EQ(resourse_2_string_impl(30, &m), L"\U0001F600 emoji");
    EXPECT_EQ(resourse_2_string_impl(31, &m), L"fifteen");
}

TEST(StringTable, FromJson)
{
    const auto m = CStringTableModule::FromJson(R"({"7": "seven", "65535": "last"})");
    ASSERT_TRUE(m);
    EXPECT_EQ(resourse_2_string_impl(7, &*m), L"seven");
    EXPECT_EQ(resourse_2_string_impl(65535, &*m), L"last");
    EXPECT_FALSE(CStringTableModule::FromJson(R"({"65536": "too big"})"));
    EXPECT_FALSE(CStringTableModule::FromJson(R"({"x": "not a number"})"));
    EXPECT_FALSE(CStringTableModule::FromJson(R"({"1": 2})"));
    EXPECT_FALSE(CStringTableModule::FromJson("not json"));
}

} // namespace
