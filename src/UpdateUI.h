#pragma once
// The frame's table of command states. Views write enabled/checked/text per
// command id; the frame pushes the table into its actions and status bar.
#include <QObject>
#include <QPointer>
#include <QString>

#include <map>
#include <vector>

class QAction;
class QLabel;
class QStatusBar;


class CUpdateUI {
public:
    enum Where : unsigned { UPDUI_MENU = 0x1, UPDUI_TOOLBAR = 0x2, UPDUI_STATUSBAR = 0x4 };

    struct State {
        bool enabled = true;
        bool checked = false;
        QString text;
        bool dirty = true;
    };

    // Declares an id; only declared ids are kept in the table.
    void UIAddEntry(unsigned id, unsigned where);
    // Binds an action (menu entry and toolbar button share one) to an id.
    void UIAddAction(unsigned id, QAction* action);
    // The status bar whose default pane (id 0) shows the text entry, or
    // idleText while that entry is empty. The pane is a label of its own: a
    // temporary message (a hovered menu's status tip) covers it for a moment
    // and leaves it as it was.
    void UIAddStatusBar(QStatusBar* statusBar, const QString& idleText = {});
    QString StatusPaneText() const;

    bool UIEnable(unsigned id, bool enable, bool forceUpdate = false);
    bool UISetCheck(unsigned id, bool check, bool forceUpdate = false);
    bool UISetText(unsigned id, const QString& text, bool forceUpdate = false);

    bool HasEntry(unsigned id) const { return m_states.count(id) != 0; }
    // An id missing from the table counts as enabled and unchecked.
    bool IsEnabled(unsigned id) const;
    bool IsChecked(unsigned id) const;
    QString Text(unsigned id) const;

    // Push pending changes into the bound widgets.
    void UIUpdateMenuBar(bool forceUpdate = false);
    void UIUpdateToolBar(bool forceUpdate = false);
    void UIUpdateStatusBar(bool forceUpdate = false);

private:
    void push(unsigned id, State& s, unsigned where, bool force);

    std::map<unsigned, State> m_states;
    std::map<unsigned, unsigned> m_where;
    std::multimap<unsigned, QPointer<QAction>> m_actions;
    QPointer<QStatusBar> m_statusBar;
    QPointer<QLabel> m_pane;
    QString m_idleText;
};

