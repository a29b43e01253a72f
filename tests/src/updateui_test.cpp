#include "UpdateUI.h"

#include <QAction>
#include <QApplication>
#include <QStatusBar>

#include <gtest/gtest.h>

namespace {

struct UpdateUITest : ::testing::Test {
    CUpdateUI table;
    QAction menuOnly{QStringLiteral("Toolbar"), nullptr};
    QAction shared{QStringLiteral("Water Level"), nullptr};
    QStatusBar bar;

    void SetUp() override
    {
        menuOnly.setCheckable(true);
        shared.setCheckable(true);
        table.UIAddEntry(59392, CUpdateUI::UPDUI_MENU);
        table.UIAddEntry(32781, CUpdateUI::UPDUI_MENU | CUpdateUI::UPDUI_TOOLBAR);
        table.UIAddEntry(0, CUpdateUI::UPDUI_STATUSBAR);
        table.UIAddAction(59392, &menuOnly);
        table.UIAddAction(32781, &shared);
        table.UIAddStatusBar(&bar);
    }
};

TEST_F(UpdateUITest, StatesReachWidgetsOnlyWhenPushedToTheirPlace)
{
    table.UISetCheck(59392, true);
    table.UIEnable(32781, false);
    // A toolbar push must not swallow a menu-only change.
    table.UIUpdateToolBar();
    EXPECT_FALSE(menuOnly.isChecked());
    EXPECT_FALSE(shared.isEnabled());
    table.UIUpdateMenuBar();
    EXPECT_TRUE(menuOnly.isChecked());

    table.UISetCheck(32781, true, /*forceUpdate=*/true);
    EXPECT_TRUE(shared.isChecked());
}

TEST_F(UpdateUITest, MissingIdsCountAsEnabledAndAreNotAdded)
{
    EXPECT_TRUE(table.IsEnabled(4242));
    EXPECT_FALSE(table.IsChecked(4242));
    EXPECT_FALSE(table.UIEnable(4242, false));
    EXPECT_TRUE(table.IsEnabled(4242));
    EXPECT_FALSE(table.HasEntry(4242));
}

TEST_F(UpdateUITest, DefaultPaneTextGoesToTheStatusBar)
{
    table.UISetText(0, QStringLiteral("ctrl:Kp : 1.5"));
    table.UIUpdateStatusBar();
    EXPECT_EQ(table.StatusPaneText(), QStringLiteral("ctrl:Kp : 1.5"));
    // A temporary message (a menu's status tip) leaves the pane as it was.
    bar.showMessage(QStringLiteral("tip"));
    bar.clearMessage();
    EXPECT_EQ(table.StatusPaneText(), QStringLiteral("ctrl:Kp : 1.5"));
    table.UISetText(0, QString(), true);
    EXPECT_TRUE(table.StatusPaneText().isEmpty());
}

} // namespace

