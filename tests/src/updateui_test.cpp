#include "UpdateUI.h"

#include "CommandIds.h"

#include <QAction>
#include <QApplication>
#include <QStatusBar>

#include <gtest/gtest.h>

using namespace vantix;

TEST(UpdateUI, StatesReachWidgetsOnlyWhenPushedToTheirPlace)
{
    CUpdateUI table;
    QAction menuOnly{QStringLiteral("Toolbar"), nullptr}, shared{QStringLiteral("Water Level"), nullptr};
    menuOnly.setCheckable(true);
    shared.setCheckable(true);
    QStatusBar bar;
    table.UIAddEntry(ID_VIEW_TOOLBAR, CUpdateUI::UPDUI_MENU);
    table.UIAddEntry(ID_WATER_LEVEL, CUpdateUI::UPDUI_MENU | CUpdateUI::UPDUI_TOOLBAR);
    table.UIAddEntry(0, CUpdateUI::UPDUI_STATUSBAR);
    table.UIAddAction(ID_VIEW_TOOLBAR, &menuOnly);
    table.UIAddAction(ID_WATER_LEVEL, &shared);
    table.UIAddStatusBar(&bar);

    table.UISetCheck(ID_VIEW_TOOLBAR, true);
    table.UIEnable(ID_WATER_LEVEL, false);
    table.UIUpdateToolBar(); // must not swallow a menu-only change
    EXPECT_FALSE(menuOnly.isChecked());
    EXPECT_FALSE(shared.isEnabled());
    table.UIUpdateMenuBar();
    EXPECT_TRUE(menuOnly.isChecked());
    table.UISetCheck(ID_WATER_LEVEL, true, /*forceUpdate=*/true);
    EXPECT_TRUE(shared.isChecked());

    // Missing ids count as enabled and are not added.
    EXPECT_FALSE(table.UIEnable(4242, false));
    EXPECT_TRUE(table.IsEnabled(4242) && !table.HasEntry(4242));

    // The default pane's text; a temporary message (a menu's status tip) leaves it as it was.
    table.UISetText(0, QStringLiteral("ctrl:Kp : 1.5"));
    table.UIUpdateStatusBar();
    bar.showMessage(QStringLiteral("tip"));
    bar.clearMessage();
    EXPECT_EQ(table.StatusPaneText(), QStringLiteral("ctrl:Kp : 1.5"));
}
