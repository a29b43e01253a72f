// The column list with a check column and two text columns: cell states, the
// keyboard and clicks that open and close editors, commits.
#include "CheckHandler.h"
#include "ColumnList.h"
#include "EditHandler.h"

#include "support/FakeSnagwise.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QTest>
#include <QVBoxLayout>

#include <gmock/gmock.h>

namespace {

using ::testing::ElementsAre;

class CTestList : public CColumnListImpl {
public:
    CCheckHandler m_Check;
    CTextEditHandler m_Text;
    CTextEditHandler m_Other;

protected:
    void OnInitList() override
    {
        CColumnListImpl::OnInitList();
        AddColumn(L"Check", &m_Check, 30);
        AddColumn(L"Text", &m_Text, 100);
        AddColumn(L"Other", &m_Other, 100);
        m_Check.Init(this);
        m_Text.Init(this);
        m_Other.Init(this);
    }
};

using Edit = std::tuple<int, int, std::wstring>; // item, sub-item, text

struct ColumnListTest : ::testing::Test {
    vantix::test::FakeSnagwise snag;
    // Declared before the window: closing it still commits an open editor.
    std::vector<Edit> edits;
    bool accept = false;
    QWidget window;
    CTestList* list = new CTestList;
    std::unique_ptr<QAbstractItemModelTester> tester;

    void SetUp() override
    {
        (new QVBoxLayout(&window))->addWidget(list);
        window.resize(400, 220);
        ASSERT_TRUE(list->SubclassWindow());
        tester = std::make_unique<QAbstractItemModelTester>(list->ItemModel(),
                                                            QAbstractItemModelTester::FailureReportingMode::Fatal);
        list->SetEndLabelEditHandler([this](int item, int sub, const std::wstring& text) {
            edits.emplace_back(item, sub, text);
            return accept;
        });
        Rows(3);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        list->setFocus();
    }

    void Rows(int n)
    {
        list->SetItemCount(n);
        for (int r = 0; r < n; ++r) {
            list->m_Text.SetText(r, (L"text" + std::to_wstring(r)).c_str());
            list->m_Other.SetText(r, (L"other" + std::to_wstring(r)).c_str());
        }
    }
    QVariant Data(int row, int column, int role = Qt::DisplayRole) const
    {
        return list->ItemModel()->data(list->ItemModel()->index(row, column), role);
    }
    void Key(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }
    void Click(int item, int sub)
    {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->CellRect(item, sub).center());
        QCoreApplication::processEvents(); // a check toggles through a posted event
    }
    QLineEdit* Editor(CTextEditHandler& h) { return static_cast<QLineEdit*>(h.GetEditWindow()); }
};

TEST_F(ColumnListTest, NewRowsAreEnabledVisibleCheckedAndTicked)
{
    EXPECT_EQ(QStringLiteral("Text"), list->ItemModel()->headerData(1, Qt::Horizontal));
    for (unsigned c = 0; c < 3; ++c)
        for (unsigned r = 0; r < 3; ++r)
            EXPECT_TRUE(list->GetEnabled(r, c) == 1 && list->GetVisible(r, c) == 1 && list->GetChecked(r, c) == 1);
    EXPECT_EQ(Qt::Checked, Data(2, 0, Qt::CheckStateRole));
    EXPECT_EQ(QStringLiteral("text1"), Data(1, 1));
    Rows(5);
    list->SetEnabled(4, 1, FALSE);
    EXPECT_EQ(0, list->GetEnabled(4, 1));
    EXPECT_FALSE(list->ItemModel()->flags(list->ItemModel()->index(4, 1)) & Qt::ItemIsEnabled);
    Rows(0);
    EXPECT_TRUE(list->m_Text.m_Values.empty());
    EXPECT_TRUE(snag.Asserts().empty());

    // Cell indices out of range are reported.
    EXPECT_EQ(0, list->GetEnabled(0, 3));
    EXPECT_EQ(0, list->GetChecked(3, 0));
    list->SetEnabled(7, 1, TRUE);
    EXPECT_THAT(snag.Asserts(), ElementsAre(L"m_States.size() > nSubItem", L"m_States[nSubItem].size() > nItem",
                                            L"m_States[nSubItem].size() > nItem"));
}

TEST_F(ColumnListTest, SpaceTogglesTheCheckOnceAndNotOnADisabledCell)
{
    list->SetCurrentCell(1, 0);
    Key(Qt::Key_Space);
    // The toggle is posted: nothing yet.
    EXPECT_EQ(1, list->m_Check.m_Values[1]);
    QCoreApplication::processEvents();
    EXPECT_THAT(list->m_Check.m_Values, ElementsAre(1, 0, 1));
    EXPECT_EQ(Qt::Unchecked, Data(1, 0, Qt::CheckStateRole));
    // A check column never counts as active: the list keeps the keys.
    EXPECT_FALSE(list->m_Check.IsActive());
    Key(Qt::Key_Space);
    QCoreApplication::processEvents();
    EXPECT_EQ(1, list->m_Check.m_Values[1]);

    list->SetEnabled(2, 0, FALSE);
    Key(Qt::Key_Down);
    Key(Qt::Key_Space);
    Click(2, 0);
    EXPECT_EQ(1, list->m_Check.m_Values[2]);
    // A click on an enabled box toggles it.
    Click(0, 0);
    EXPECT_EQ(0, list->m_Check.m_Values[0]);
}

// The editor opens over the cell with its text selected; a click elsewhere
// commits, and only an accepted edit is kept.
TEST_F(ColumnListTest, AClickOpensTheEditorAndAnotherCommitsAndClosesIt)
{
    Click(1, 1);
    QLineEdit* edit = Editor(list->m_Text);
    ASSERT_TRUE(edit->isVisible());
    EXPECT_TRUE(list->m_Text.IsActive() && edit->hasFocus());
    EXPECT_EQ(1, list->m_Text.GetEditItem());
    EXPECT_EQ(QStringLiteral("text1"), edit->selectedText());
    EXPECT_TRUE(list->CellRect(1, 1).contains(edit->geometry().center()));

    QTest::keyClicks(edit, QStringLiteral("changed"));
    Click(1, 2);
    EXPECT_FALSE(edit->isVisible() || list->m_Text.IsActive());
    EXPECT_THAT(edits, ElementsAre(Edit{1, 1, L"changed"}));
    // Not accepted by the parent: the stored text stays and the editor shows it again.
    EXPECT_EQ(L"text1", list->m_Text.m_Values[1]);
    EXPECT_EQ(QStringLiteral("text1"), edit->text());
    EXPECT_TRUE(Editor(list->m_Other)->isVisible());
    accept = true;
    QTest::keyClicks(Editor(list->m_Other), QStringLiteral("kept"));
    Click(0, 1);
    EXPECT_EQ(L"kept", list->m_Other.m_Values[1]);
    EXPECT_FALSE(Editor(list->m_Other)->isVisible());
}

} // namespace
