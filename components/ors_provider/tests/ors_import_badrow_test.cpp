// Bad rows are reported with their line numbers, a mostly right table is
// never cut short, hostile tables end in a clear message, and numbers are
// read exactly.
#include "ImportTestSupport.h"
#include "platform/threads.h"

#include "import/NumberParse.h"
#include "support/FakeSnagwise.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

using namespace importtest;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class ImportBadRow : public ::testing::Test {
protected:
    fs::path file(const std::string& text, const std::string& name = "t.csv")
    {
        const auto path = m_dir / name;
        writeBytes(path, text);
        return path;
    }
    TempDir m_dir;
};

// A table of n rows: in:a = r, in:b = r % 7, out:f = r / 4.
std::string rows(std::size_t n, std::size_t from = 0)
{
    std::string text;
    char line[96];
    for (std::size_t r = from; r < from + n; ++r) {
        std::snprintf(line, sizeof line, "%zu,%zu,%.10g\n", r, r % 7, double(r) / 4);
        text += line;
    }
    return text;
}

} // namespace

TEST_F(ImportBadRow, EachKindOfBadRowNamesItsLine)
{
    const std::string header = "in:a,in:b,out:f\n";
    EXPECT_EQ(errorTail(file(header + "1,2,3\n4,5\n")), L", line 3: 2 cells where the header has 3 columns.");
    EXPECT_EQ(errorTail(file(header + "1,2,3\n1,2.5x,3\n")),
              L", line 3: column \"in:b\" holds \"2.5x\", which is not a number.");
    EXPECT_EQ(errorTail(file(header + "1,2,\"  \"\n")), L", line 2: column \"out:f\" is empty.");
    // Decimal commas split the cell.
    EXPECT_EQ(errorTail(file("in:a;in:b;out:f\n1,5;2;3\n")),
              L", line 1: the header names no function column.");
}

TEST_F(ImportBadRow, FailedEvaluationsAreSkippedAndCounted)
{
    const std::string header = "in:a,out:f,out:g\n";
    for (const char* text : {"nan", "NaN", "inf", "-inf", "Infinity", "1e999", "-1E+400", "fail", "FAIL", " fail "}) {
        SCOPED_TRACE(text);
        const Loaded l = loadOk(file(header + "1,2,3\n4,5," + text + "\n6,7,8\n"));
        EXPECT_EQ(l.records, 2u);
        EXPECT_EQ(l.skipped, 1u);
        EXPECT_THAT(l.inputValues[0], ElementsAre(1, 6));
        EXPECT_THAT(l.functionValues[1], ElementsAre(3, 8));
    }
    // Too small to represent is zero, not a failure.
    EXPECT_THAT(loadOk(file(header + "1,1e-400,0\n")).functionValues[0], ElementsAre(0.0));

    // Inputs are never failures, and a bad input refuses even a failed row.
    EXPECT_EQ(errorTail(file(header + "1,2,3\nnan,4,5\n")),
              L", line 3: column \"in:a\" holds \"nan\", which is not a finite number.");
    EXPECT_EQ(errorTail(file(header + "1,nan,failed\n")),
              L", line 2: column \"out:g\" holds \"failed\", which is not a number.");
    EXPECT_EQ(errorTail(file(header + "1,nan,3\n2,3,fail\n")),
              L" holds no records: each of its 2 rows is a failed evaluation (nan, inf or \"fail\" as a function value).");

    // Dakota writes its failed evaluations so; the trace tells the count.
    vantix::test::FakeSnagwise snag;
    const Loaded d = loadOk(file("%eval_id interface x1 obj_fn\n1 NO_ID 1 nan\n2 NO_ID 2 3\n3 NO_ID 3 fail\n", "d.dat"));
    EXPECT_EQ(d.records, 1u);
    EXPECT_EQ(d.skipped, 2u);
    EXPECT_THAT(snag.Traces(), Contains(HasSubstr(L"skipped 2 failed rows")));
}

TEST_F(ImportBadRow, LineNumbersCountBlankLinesAndLineBreaksInQuotedCells)
{
    // Line 1 header, 2 blank, 3-4 one row with a two-line note, 5 good, 6 bad.
    EXPECT_EQ(errorTail(file("in:a,out:f,note\n\n1,2,\"two\nlines\"\n3,4,x\n5,six,y\n")),
              L", line 6: column \"out:f\" holds \"six\", which is not a number.");
    // Dakota rows, blank-separated.
    EXPECT_EQ(errorTail(file("%eval_id interface x1 obj_fn\n1 NO_ID 1 2\n\n2 NO_ID 2\n", "d.dat")),
              L", line 4: 3 cells where the header has 4 columns.");
}

TEST_F(ImportBadRow, LargeTablesReadInTwoHalvesKeepOrderAndLineNumbers)
{
    // More than 8 MiB: read in two halves at once. Blank lines and a failed
    // row in the first half leave a gap the second half closes; failed rows
    // of both halves are counted.
    const std::string header = "in:a,in:b,out:f\n";
    const std::size_t n = 600000;
    const std::string gapped = header + rows(1000) + "\n\n\n-1,-1,nan\n" + rows(n - 1000 - 10, 1000) +
                               "-1,-1,inf\n" + rows(10, n - 10);
    ASSERT_GT(gapped.size(), std::size_t(8) << 20);
    const Loaded l = loadOk(file(gapped));
    ASSERT_EQ(l.records, n);
    EXPECT_EQ(l.skipped, 2u);
    for (std::size_t r = 0; r < n; r += 997)
        ASSERT_TRUE(l.inputValues[0][r] == double(r) && l.functionValues[0][r] == double(r) / 4) << r;
    EXPECT_EQ(l.indices[1][n - 1], (n - 1) % 7);
    {
        // Without a second thread to be had: the same records from one.
        const platform::ScopedThreadStartFailure noThreads;
        EXPECT_TRUE(loadOk(file(gapped)) == l);
    }

    // A bad row far into the second half keeps its line number. A quoted cell
    // in the first half (it could hold line breaks) keeps the table in one part.
    EXPECT_EQ(errorTail(file(header + rows(n - 10) + "1,2\n" + rows(9))),
              L", line " + std::to_wstring(n - 10 + 2) + L": 2 cells where the header has 3 columns.");
    EXPECT_EQ(errorTail(file(header + "\"0\",0,0\n" + rows(n - 10, 1) + "x,1,2\n")),
              L", line " + std::to_wstring(n - 10 + 3) + L": column \"in:a\" holds \"x\", which is not a number.");
}

TEST_F(ImportBadRow, HostileTables)
{
    // A cell of 20 million characters: the message quotes its start.
    std::string huge(20'000'000, '7');
    huge[5] = 'x';
    const std::wstring tail = errorTail(file("in:a,out:f\n1," + huge + "\n"));
    EXPECT_EQ(tail, L", line 2: column \"out:f\" holds \"77777x" + std::wstring(54, L'7') +
                        L"...\" (20000000 characters), which is not a number.");
    EXPECT_EQ(errorTail(file("in:a,out:f\n\n\r\n  \n")), L" holds no records: its table has a header line but no rows.");
    EXPECT_EQ(errorTail(file("\xEF\xBB\xBF")), L" holds no table: it has no header line.");
    // Duplicate names, also through the two spellings of one input.
    EXPECT_EQ(errorTail(file("in:a,out:f,out:f\n1,2,3\n")), L", line 1: two columns are named \"out:f\".");
    EXPECT_EQ(errorTail(file("in:a,in:csv:a,out:f\n1,2,3\n")), L" has two inputs named \"csv:a\".");
}

// Text that is not quite a table says what is wrong and where; lone carriage
// returns are line ends.
TEST_F(ImportBadRow, TextFaultsAreNamedWithTheirPlace)
{
    using namespace std::string_literals;
    struct Case {
        std::string text;
        std::wstring tail; // empty: loads as 2 records
    };
    const Case cases[] = {
        {"in:a,out:f\r1,2\r3,4\r", L""},
        {"in:a,out:f\n1,2\n3,4\n\x1a", L", line 4: found a DOS end-of-file mark (Ctrl-Z), which has no place in a table."},
        {"in:a,out:f\n1,\0\n"s, L", line 2: found a NUL byte, which has no place in a table."},
        {"in:a\tout:f\n\n1\t2\x0b\n", L", line 3: found a vertical tab, which has no place in a table."},
        {"\xff\xfei\0n\0:\0a\0,\0"s, L" is UTF-16 text; save it as UTF-8 to load it."},
        {"\x1f\x8b\x08\0\0\0"s, L" is not an Optimization Results File."},
        {"in:a,out:f\n1,2\n3,\"4\n5,6\n", L", line 3: unclosed quote: the quoted cell of column 2 runs to the end of the file."},
        {"\"in:a,out:f\n1,2\n", L", line 1: unclosed quote: the quoted cell of column 1 runs to the end of the file."},
        {"number,value,params_x,state\n0,1.5,0.5,COMPLETE\n1,2.5,-inf,COMPLETE\n",
         L", line 3: column \"params_x\" holds \"-inf\", which is not a finite number."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        const auto path = file(c.text);
        if (c.tail.empty())
            EXPECT_EQ(loadOk(path).functionValues, (std::vector<std::vector<double>>{{2.0, 4.0}}));
        else
            EXPECT_EQ(errorTail(path), c.tail);
    }
    // Text choices of an Optuna parameter stay categories, "inf" among them.
    EXPECT_EQ(loadOk(file("number,value,params_opt\n0,1.5,adam\n1,2.5,inf\n")).inputValues,
              (std::vector<std::vector<double>>{{0.0, 1.0}}));
}

TEST(ImportNumbers, CellsAreReadExactly)
{
    using ors::import::NumberStatus;
    using ors::import::ParseNumberCell;
    const auto value = [](const char* text) {
        double v = -999;
        EXPECT_EQ(ParseNumberCell(text, v), NumberStatus::Ok) << text;
        return v;
    };
    EXPECT_EQ(value("0.1"), 0.1);
    EXPECT_EQ(value("-0"), 0.0);
    EXPECT_TRUE(std::signbit(value("-0")));
    EXPECT_EQ(value(" 1E+05\t"), 1e5);
    EXPECT_EQ(value("9007199254740993"), 9007199254740992.0); // 2^53 + 1 rounds to even
    EXPECT_EQ(value("1.7976931348623157e308"), 1.7976931348623157e308);
    EXPECT_EQ(value("4.9e-324"), 4.9e-324);
    double v = 0;
    for (const char* bad : {"", "  ", "-", "+", ".", "e5", "1e", "1e+", "1.2.3", "--1", "+-1", "0x10", "1,5", "1 2"})
        EXPECT_NE(ParseNumberCell(bad, v), NumberStatus::Ok) << bad;
    EXPECT_EQ(ParseNumberCell("", v), NumberStatus::Empty);
    EXPECT_EQ(ParseNumberCell("inf", v), NumberStatus::NotFinite);
    EXPECT_EQ(ParseNumberCell(std::string(401, '1'), v), NumberStatus::NotNumber);

    // Digit runs of every length around the eight-at-a-time step and past
    // 2^53 (the slow path), with the point anywhere.
    const std::string digits = "9071234567890123456789012";
    for (std::size_t n = 1; n <= 24; ++n) {
        for (std::size_t dot = 0; dot <= n; ++dot) {
            std::string cell = digits.substr(0, n);
            if (dot < n)
                cell.insert(dot, ".");
            ASSERT_EQ(value(cell.c_str()), std::strtod(cell.c_str(), nullptr)) << cell;
        }
    }
}
