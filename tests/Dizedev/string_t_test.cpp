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
    const std::pair<unsigned, const wchar_t*> texts[] = {
        {128, L"Vantix"}, {129, L"Chart"}, {130, L"Vantix"}, {131, L"Reopen chart to change renderer."},
        {132, L"This data incompatible with some previous one."}, {134, L"Unexpected file format."}, {135, L" degree"},
        {133, L"To plot a 3D optimization graph, at least 2 parameters must be optimized."}, {57345, L"Ready"},
        {12320, L"\"The chart has unsaved data. Do you want to save it?\""}};
    for (const auto& [id, text] : texts)
        EXPECT_EQ(resourse_2_string_impl(id), text) << id;
    EXPECT_TRUE(snag.Asserts().empty());

    EXPECT_EQ(resourse_2_string_impl(136), L"");   // same block as 128..135
    EXPECT_EQ(resourse_2_string_impl(40000), L""); // no such block
    const auto asserts = snag.RecordsOfType(L"ASSERT");
    ASSERT_EQ(asserts.size(), 2u);
    EXPECT_THAT(asserts[0].Values(), IsSupersetOf({L"Description=0", L"Function=resource_string::resourse_2_string_impl"}));
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
    m.Set(17, u"one");
    m.Set(16, u"\U0001F600 longer than before");
    EXPECT_EQ(resourse_2_string_impl(16, &m) + resourse_2_string_impl(17, &m), L"\U0001F600 longer than beforeone");

    const auto json = CStringTableModule::FromJson(R"({"7": "seven", "65535": "last"})");
    ASSERT_TRUE(json);
    EXPECT_EQ(resourse_2_string_impl(65535, &*json), L"last");
    for (const char* bad : {R"({"65536": "too big"})", R"({"x": "not a number"})", R"({"1": 2})", "not json"})
        EXPECT_FALSE(CStringTableModule::FromJson(bad)) << bad;
}

} // namespace
