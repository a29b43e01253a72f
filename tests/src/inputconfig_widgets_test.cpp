// The value editor, the fixed-inputs list and the "Data Representation"
// dialog, offscreen, driven through keys and clicks.
#include "IDataTransfer.h"
#include "InputConfigDlg.h"
#include "ValueEdit.h"
#include "ValuesEditHandler.h"

#include "src/FakeChartControl.h"
#include "src/FakeDataSource.h"
#include "support/FakeSnagwise.h"
#include "support/ScriptedPrompts.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

// Readable failures.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

using namespace vantix::test;
using ::testing::_;
using ::testing::DoAll;
using ::testing::Invoke;
using ::testing::Pointee;
using ::testing::Return;
using ::testing::SetArgPointee;

class MockChange : public IStaticInputChange {
public:
    MOCK_METHOD(bool, OnValueChange, (int, double*), (override));
    MOCK_METHOD(void, OnFixChange, (unsigned, BOOL), (override));
    MOCK_METHOD(void, OnCancelChange, (), (override));
};

// Restores the default locale (C in tests) when a test changes it.
struct LocaleGuard {
    QLocale saved;
    ~LocaleGuard() { QLocale::setDefault(saved); }
};

struct ValueEditTest : ::testing::Test {
    FakeSnagwise snag;
    ::testing::StrictMock<MockChange> change;
    QWidget window;
    CValuesEdit* edit = new CValuesEdit(&change, &window);

    void SetUp() override
    {
        window.resize(300, 80);
        edit->setGeometry(10, 10, 200, 26);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        edit->show();
        edit->setFocus();
    }
    void Type(const QString& text)
    {
        edit->setText(text);
        edit->end(false);
    }
};

TEST_F(ValueEditTest, StepKeysAndArrowButtonsAskForTheNextAllowedValue)
{
    Type(QStringLiteral("2.5"));
    const std::pair<Qt::Key, int> keys[] = {{Qt::Key_Up, SB_LINEUP},         {Qt::Key_Down, SB_LINEDOWN},
                                            {Qt::Key_PageUp, SB_PAGEUP},     {Qt::Key_PageDown, SB_PAGEDOWN},
                                            {Qt::Key_Home, SB_TOP},          {Qt::Key_End, SB_BOTTOM}};
    double shown = 2.5;
    for (const auto& [key, code] : keys) {
        EXPECT_CALL(change, OnValueChange(code, Pointee(shown)))
            .WillOnce(DoAll(SetArgPointee<1>(shown + 1), Return(true)));
        QTest::keyClick(edit, key);
        ++shown;
        EXPECT_EQ(QString::number(shown), edit->text());
        EXPECT_EQ(edit->text(), edit->selectedText());
    }
    EXPECT_CALL(change, OnValueChange(SB_LINEUP, _)).WillOnce(DoAll(SetArgPointee<1>(40.0), Return(true)));
    QTest::mouseClick(edit->UpButton(), Qt::LeftButton);
    EXPECT_CALL(change, OnValueChange(SB_LINEDOWN, _)).WillOnce(DoAll(SetArgPointee<1>(30.0), Return(true)));
    QTest::mouseClick(edit->DownButton(), Qt::LeftButton);
    EXPECT_EQ(QStringLiteral("30"), edit->text());
    EXPECT_TRUE(edit->hasFocus());
    // A row without an input: the text stays.
    EXPECT_CALL(change, OnValueChange(SB_LINEUP, _)).WillOnce(Return(false));
    QTest::keyClick(edit, Qt::Key_Up);
    EXPECT_EQ(QStringLiteral("30"), edit->text());
}

// Commit characters hand the number over and close; Escape cancels; empty or
// malformed text shows the balloon and keeps editing.
TEST_F(ValueEditTest, CommitsCancelsAndRefusesWhatIsNoNumber)
{
    for (const QString& key : {QStringLiteral("\x1b"), QStringLiteral("\r"), QStringLiteral(" "), QStringLiteral("%"),
                               QStringLiteral("'"), QStringLiteral("\t")}) {
        edit->show();
        edit->setFocus();
        Type(QStringLiteral("2.5"));
        if (key == QStringLiteral("\x1b"))
            EXPECT_CALL(change, OnCancelChange());
        else
            EXPECT_CALL(change, OnValueChange(-1, Pointee(2.5))).WillOnce(DoAll(SetArgPointee<1>(3.0), Return(true)));
        const Qt::Key named = key == QStringLiteral("\r") ? Qt::Key_Return
                              : key == QStringLiteral("\t") ? Qt::Key_Tab
                              : key == QStringLiteral("\x1b") ? Qt::Key_Escape
                                                               : Qt::Key_unknown;
        if (named != Qt::Key_unknown)
            QTest::keyClick(edit, named);
        else
            QTest::keyClicks(edit, key);
        EXPECT_FALSE(edit->isVisible());
    }
    EXPECT_EQ(QStringLiteral("3"), edit->text());

    edit->show();
    edit->setFocus();
    for (const QString& text : {QString(), QStringLiteral("1.2.3")}) {
        Type(text);
        QTest::keyClick(edit, Qt::Key_Return);
        ASSERT_NE(nullptr, edit->BalloonTip());
        EXPECT_EQ(QStringLiteral("Invalid property value"), edit->BalloonTip()->Title());
        EXPECT_EQ(QStringLiteral("Please enter a number."), edit->BalloonTip()->Text());
        EXPECT_TRUE(edit->isVisible());
        QTest::keyClick(edit, Qt::Key_1);
        EXPECT_EQ(nullptr, edit->BalloonTip());
    }
}

// Digits, a decimal point or comma, and signs and exponents where a number
// has them; other characters change nothing. The limit binds typing only.
TEST_F(ValueEditTest, OnlyWhatANumberCanHoldIsTyped)
{
    const struct {
        const char* keys;
        const char* text;
    } cases[] = {
        {"12xb-+", "12"},  {"123,4.5", "123,4.5"}, {"-1.5e-3", "-1.5e-3"}, {"+2E+4", "+2E+4"},
        {"1-2", "12"},     {"e1", "1"},            {"1ee", "1e"},          {"-1:-2", "-1:-2"},
    };
    for (const auto& c : cases) {
        Type(QString());
        QTest::keyClicks(edit, QString::fromLatin1(c.keys));
        EXPECT_EQ(QString::fromLatin1(c.text), edit->text()) << c.keys;
    }
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(QStringLiteral("-1:-"), edit->text());

    edit->LimitText(15);
    const double value = 3.33333333333333e-06;
    edit->ShowValue(value);
    EXPECT_EQ(QStringLiteral("3.33333333333333e-06"), edit->text());
    EXPECT_CALL(change, OnValueChange(-1, Pointee(value))).WillOnce(Return(true));
    QTest::keyClick(edit, Qt::Key_Return, Qt::NoModifier);
    edit->show();
    edit->setFocus();
    edit->LimitText(3);
    Type(QString());
    QTest::keyClicks(edit, QStringLiteral("12345"));
    EXPECT_EQ(QStringLiteral("123"), edit->text());
    // X11 gives Delete the text DEL (0x7f); it removes the character after the cursor.
    edit->setCursorPosition(0);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QStringLiteral("\x7f"));
    QApplication::sendEvent(edit, &del);
    EXPECT_EQ(QStringLiteral("23"), edit->text());
    // Over the limit a replaced selection still fits.
    Type(QStringLiteral("123"));
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("9"));
    EXPECT_EQ(QStringLiteral("9"), edit->text());
}

TEST_F(ValueEditTest, NumbersFollowTheLocale)
{
    LocaleGuard guard;
    EXPECT_EQ(QStringLiteral("0.333333333333333"), NumberToText(1.0 / 3));
    EXPECT_FALSE(TextToNumber(QStringLiteral("1,5")).has_value());
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(QStringLiteral("1234567,5"), NumberToText(1234567.5));
    Type(QString());
    QTest::keyClicks(edit, QStringLiteral("1,5"));
    EXPECT_CALL(change, OnValueChange(-1, Pointee(1.5))).WillOnce(DoAll(SetArgPointee<1>(2.25), Return(true)));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(QStringLiteral("2,25"), edit->text());
}

TEST_F(ValueEditTest, TheHandlerLimitsItsEditorAndFormatsPrices)
{
    CValuesEditHandler handler(&change);
    CColumnListImpl list;
    handler.Init(&list);
    EXPECT_EQ(31, static_cast<CValuesEdit*>(handler.GetEditWindow())->TextLimit()); // room for a range of two numbers
    handler.SetCount(2);
    handler.SetPrice(1, 0.125);
    EXPECT_EQ(L"0.125", handler.m_Values[1]);
    handler.SetPrice(2, 1.0);
    EXPECT_THAT(snag.Asserts(), ::testing::ElementsAre(L"m_Values.size() > nItem"));
}

// X = input 0, Y = input 1, fixed A (2), B (3), C (4); (A, B, C) per record:
//   r0 (0,0,0) r1 (0,0,2) r2 (0,1,1) r3 (1,0,1) r4 (0,1,3) r5 (1,1,4) r6 (1,0,4)
DataTable Grid()
{
    return DataTable::Make(5, {{0, 0, 0, 0, 0},
                               {0, 0, 0, 0, 2},
                               {0, 0, 0, 1, 1},
                               {0, 0, 1, 0, 1},
                               {0, 0, 0, 1, 3},
                               {0, 1, 1, 1, 4},
                               {1, 0, 1, 0, 4}});
}

struct DialogTest : ::testing::Test {
    FakeSnagwise snag;
    ComPtr<::testing::NiceMock<MockDataSource>> source = MakeSource(Grid());
    CInputConfigDlg dlg;
    std::unique_ptr<QAbstractItemModelTester> tester;

    void Open(IDataTransfer* previous = nullptr)
    {
        ASSERT_EQ(S_OK, dlg.Initialize(source.Get(), previous));
        tester = std::make_unique<QAbstractItemModelTester>(List().ItemModel(),
                                                            QAbstractItemModelTester::FailureReportingMode::Fatal);
        dlg.show();
        dlg.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    }
    CInputList& List() { return dlg.GetInputList(); }
    template <class T>
    T* Control(const char* id)
    {
        return dlg.findChild<T*>(QString::fromLatin1(id));
    }
    QStringList Items(const char* id)
    {
        QStringList items;
        auto* combo = Control<QComboBox>(id);
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        return items;
    }
    // Texts of a list column, row by row.
    QStringList Column(int column)
    {
        QStringList texts;
        for (int r = 0; r < List().GetItemCount(); ++r)
            texts << List().ItemModel()->index(r, column).data().toString();
        return texts;
    }
    void Click(int row, int column)
    {
        QTest::mouseClick(List().viewport(), Qt::LeftButton, {}, List().CellRect(row, column).center());
        QCoreApplication::processEvents();
    }
    CValuesEdit* ValueEditor() { return List().m_ValueHandler.GetEdit(); }
};

TEST_F(DialogTest, ShowsTheTemplateControlsAndTheFirstRecord)
{
    Open();
    EXPECT_EQ(QStringLiteral("Data Representation"), dlg.windowTitle());
    EXPECT_EQ(QStringLiteral("Fixed Inputs:"), Control<QLabel>("1017")->text());
    EXPECT_EQ(&List(), Control<CInputList>("1010"));
    EXPECT_EQ(QStringList({"f0", "f1"}), Items("1011"));
    // Neither axis combo offers the other axis.
    EXPECT_EQ(QStringList({"sig0:in0", "sig2:in2", "sig3:in3", "sig4:in4"}), Items("1008"));
    EXPECT_EQ(QStringList({"sig1:in1", "sig2:in2", "sig3:in3", "sig4:in4"}), Items("1009"));
    EXPECT_EQ(QStringLiteral("sig0:in0"), Control<QComboBox>("1008")->currentText());
    EXPECT_EQ(QStringLiteral("sig1:in1"), Control<QComboBox>("1009")->currentText());
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(List().ItemModel()->headerData(c, Qt::Horizontal).toString(),
                  (QStringList{"Fix", "Input Name", "Value"}[c]));
    EXPECT_EQ(QStringList({"sig2:in2", "sig3:in3", "sig4:in4"}), Column(1));
    EXPECT_EQ(QStringList({"200", "300", "400"}), Column(2));
    EXPECT_EQ(0, List().GetEnabled(0, 1)); // names cannot be edited
    EXPECT_TRUE(snag.Asserts().empty());
}

TEST_F(DialogTest, TwoInputsLeaveTheListEmptyAndDisabled)
{
    source = MakeSource(DataTable::Make(2, {{0, 0}, {1, 1}}));
    Open();
    EXPECT_EQ(0, List().GetItemCount());
    EXPECT_FALSE(List().isEnabled());
    EXPECT_FALSE(Control<QLabel>("1017")->isEnabled());
    QTimer::singleShot(0, &dlg, [this] { Control<QPushButton>("1")->click(); });
    EXPECT_EQ(1, dlg.DoModal(nullptr));
    EXPECT_EQ(std::tuple(dlg.InputX(), dlg.InputY(), dlg.Function()), std::tuple(0u, 1u, 0u));
}

TEST_F(DialogTest, LockedAxesDisableTheCombosButNotTheList)
{
    FakeTransfer previous;
    previous.xName = L"sig3:in3", previous.yName = L"sig0:in0", previous.functionName = L"f1";
    Open(&previous);
    for (const char* id : {"1008", "1009", "1011"})
        EXPECT_FALSE(Control<QComboBox>(id)->isEnabled()) << id;
    EXPECT_EQ(QStringLiteral("sig3:in3"), Control<QComboBox>("1008")->currentText());
    EXPECT_EQ(QStringLiteral("f1"), Control<QComboBox>("1011")->currentText());
    EXPECT_TRUE(List().isEnabled());
    EXPECT_EQ(QStringList({"sig1:in1", "sig2:in2", "sig4:in4"}), Column(1));
}

TEST_F(DialogTest, ANewXInputLeavesTheListAndTheFormerXReturnsUnpinned)
{
    Open();
    Click(0, 0); // pin A, then make it the X input
    ASSERT_EQ(1u, dlg.Inputs()[2].fixed);
    auto* x = Control<QComboBox>("1008");
    x->setFocus();
    QTest::keyClick(x, Qt::Key_Down); // sig0:in0 → sig2:in2
    EXPECT_EQ(2u, dlg.InputX());
    EXPECT_EQ(0u, dlg.GetMaxHits());
    EXPECT_EQ(QStringList({"sig0:in0", "sig3:in3", "sig4:in4"}), Column(1));
    EXPECT_EQ(Qt::Unchecked, List().ItemModel()->index(0, 0).data(Qt::CheckStateRole));
    EXPECT_EQ(QStringList({"sig0:in0", "sig1:in1", "sig3:in3", "sig4:in4"}), Items("1009"));
    auto* f = Control<QComboBox>("1011");
    f->setFocus();
    QTest::keyClick(f, Qt::Key_Down);
    EXPECT_EQ(1u, dlg.Function());
}

// The value editor's steps, typed numbers, pins and Escape reach the model
// and move the whole record; OK reads the choice back, Cancel does not close as OK.
TEST_F(DialogTest, TheValueEditorDrivesTheRecordAndOkReadsTheChoiceBack)
{
    Open();
    Click(2, 2); // C
    CValuesEdit* edit = ValueEditor();
    ASSERT_TRUE(edit->isVisible());
    QTest::keyClick(edit, Qt::Key_Up);
    EXPECT_EQ(QStringLiteral("400.5"), edit->text());
    EXPECT_EQ(QStringList({"200", "300.5", "400.5"}), Column(2)); // record 2
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_FALSE(edit->isVisible());
    EXPECT_EQ(QStringList({"200", "300", "400"}), Column(2));

    Click(1, 0); // pin B = 0
    Click(2, 2);
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("401.4")); // 401.5 occurs only with B = 1
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_FALSE(edit->isVisible());
    EXPECT_EQ(QStringList({"200", "300", "401"}), Column(2)); // record 1
    // Clicking the name column closes the editor; so does resizing a column.
    Click(0, 2);
    Click(0, 1);
    EXPECT_FALSE(edit->isVisible());
    Click(0, 2);
    List().setColumnWidth(1, List().columnWidth(1) + 20);
    EXPECT_FALSE(edit->isVisible());
    EXPECT_FALSE(List().m_ValueHandler.IsActive());

    QTimer::singleShot(0, &dlg, [this] { Control<QPushButton>("1")->click(); });
    EXPECT_EQ(1, dlg.DoModal(nullptr));
    std::uint32_t input = 0;
    std::uint64_t key = 0;
    ASSERT_TRUE(dlg.GetFixedInput(2, input, key));
    EXPECT_EQ(std::pair(input, key), std::pair(4u, std::uint64_t{2}));
    QTimer::singleShot(0, &dlg, [this] { Control<QPushButton>("2")->click(); });
    EXPECT_EQ(2, dlg.DoModal(nullptr));
}

// "All", a range and labels typed into a value cell; the slice's record
// count; OK refused with the count in words while the slice is empty.
TEST_F(DialogTest, TypedHoldsAndLabelsWidenTheSliceAndAnEmptySliceIsRefused)
{
    ScriptedPrompts prompts;
    const auto scoped = prompts.install();
    DataTable t = Grid();
    t.labels = {{}, {}, {L"adam", L"sgd"}, {}, {}};
    source = MakeSource(t);
    Open();
    auto* count = Control<QLabel>("1018");
    EXPECT_EQ(count->text(), QStringLiteral("1 of 7 records in this slice")); // r0
    EXPECT_EQ(Column(2), QStringList({"adam", "300", "400"}));
    const auto type = [&](int row, const QString& text) {
        Click(row, 2);
        ValueEditor()->selectAll();
        QTest::keyClicks(ValueEditor(), text);
        QTest::keyClick(ValueEditor(), Qt::Key_Return);
    };
    type(0, QStringLiteral("AD"));
    EXPECT_FALSE(ValueEditor()->isVisible());
    type(0, QStringLiteral("x")); // names no label: refused, the editor stays
    EXPECT_TRUE(ValueEditor()->isVisible());
    QTest::keyClick(ValueEditor(), Qt::Key_Up);
    EXPECT_EQ(ValueEditor()->text(), QStringLiteral("sgd"));
    QTest::keyClick(ValueEditor(), Qt::Key_Escape);
    type(1, QStringLiteral("q")); // a numeric input takes no letters
    EXPECT_EQ(Column(2)[1], QStringLiteral("300"));
    type(2, QStringLiteral("all"));
    EXPECT_EQ(Column(2), QStringList({"adam", "300", "All"}));
    EXPECT_EQ(count->text(), QStringLiteral("2 of 7 records in this slice")); // r0, r1
    type(2, QStringLiteral("401.5:402")); // C at 3..4: no record has A = 0 and B = 0 there
    EXPECT_EQ(Column(2), QStringList({"adam", "300", "401.5 : 402"}));
    EXPECT_EQ(count->text(), QStringLiteral("0 of 7 records in this slice"));
    type(2, QStringLiteral("9:10")); // nothing inside: refused, the editor stays
    EXPECT_TRUE(ValueEditor()->isVisible());
    QTest::keyClick(ValueEditor(), Qt::Key_Escape);

    prompts.dialogAnswers.push_back([&](QDialog&) {
        Control<QPushButton>("1")->click(); // refused: the dialog stays
        EXPECT_EQ(dlg.result(), 0);
        type(0, QStringLiteral("All"));
        type(1, QStringLiteral("All"));
        EXPECT_EQ(count->text(), QStringLiteral("3 of 7 records in this slice")); // r4, r5, r6
        Control<QPushButton>("1")->click();
        return dlg.result();
    });
    EXPECT_EQ(1, dlg.DoModal(nullptr));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_THAT(prompts.messages[0].text, ::testing::HasSubstr(L"none of the 7 records"));
    FixedInput held{};
    ASSERT_TRUE(dlg.GetHeldInput(2, held));
    EXPECT_EQ(held, (FixedInput{4, 3, 1}));
}

} // namespace
