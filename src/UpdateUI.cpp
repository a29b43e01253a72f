#include "UpdateUI.h"

#include <QAction>
#include <QLabel>
#include <QStatusBar>


void CUpdateUI::UIAddEntry(unsigned id, unsigned where)
{
    m_states.try_emplace(id);
    m_where[id] |= where;
}

void CUpdateUI::UIAddAction(unsigned id, QAction* action)
{
    m_actions.emplace(id, action);
    if (auto it = m_states.find(id); it != m_states.end())
        it->second.dirty = true;
}

void CUpdateUI::UIAddStatusBar(QStatusBar* statusBar, const QString& idleText)
{
    m_statusBar = statusBar;
    m_idleText = idleText;
    m_pane = nullptr;
    if (statusBar) {
        m_pane = new QLabel(idleText, statusBar);
        m_pane->setObjectName(QStringLiteral("StatusPane"));
        statusBar->addWidget(m_pane, 1);
    }
}

QString CUpdateUI::StatusPaneText() const
{
    return m_pane ? m_pane->text() : QString();
}

bool CUpdateUI::UIEnable(unsigned id, bool enable, bool forceUpdate)
{
    auto it = m_states.find(id);
    if (it == m_states.end())
        return false;
    if (it->second.enabled != enable) {
        it->second.enabled = enable;
        it->second.dirty = true;
    }
    if (forceUpdate)
        push(id, it->second, ~0u, true);
    return true;
}

bool CUpdateUI::UISetCheck(unsigned id, bool check, bool forceUpdate)
{
    auto it = m_states.find(id);
    if (it == m_states.end())
        return false;
    if (it->second.checked != check) {
        it->second.checked = check;
        it->second.dirty = true;
    }
    if (forceUpdate)
        push(id, it->second, ~0u, true);
    return true;
}

bool CUpdateUI::UISetText(unsigned id, const QString& text, bool forceUpdate)
{
    auto it = m_states.find(id);
    if (it == m_states.end())
        return false;
    if (it->second.text != text) {
        it->second.text = text;
        it->second.dirty = true;
    }
    if (forceUpdate)
        push(id, it->second, ~0u, true);
    return true;
}

bool CUpdateUI::IsEnabled(unsigned id) const
{
    auto it = m_states.find(id);
    return it == m_states.end() || it->second.enabled;
}

bool CUpdateUI::IsChecked(unsigned id) const
{
    auto it = m_states.find(id);
    return it != m_states.end() && it->second.checked;
}

QString CUpdateUI::Text(unsigned id) const
{
    auto it = m_states.find(id);
    return it == m_states.end() ? QString() : it->second.text;
}

void CUpdateUI::push(unsigned id, State& s, unsigned where, bool force)
{
    if (!s.dirty && !force)
        return;
    const unsigned declared = m_where.count(id) ? m_where.at(id) : 0;
    if (!(declared & where))
        return;
    if (declared & where & (UPDUI_MENU | UPDUI_TOOLBAR)) {
        auto [b, e] = m_actions.equal_range(id);
        for (auto it = b; it != e; ++it) {
            QAction* a = it->second;
            if (!a)
                continue;
            a->setEnabled(s.enabled);
            if (a->isCheckable())
                a->setChecked(s.checked);
        }
    }
    if ((declared & where & UPDUI_STATUSBAR) && id == 0 && m_pane) {
        // An empty pane shows the idle text, as a framework status bar does.
        m_pane->setText(s.text.isEmpty() ? m_idleText : s.text);
        m_pane->repaint();
    }
    s.dirty = false;
}

void CUpdateUI::UIUpdateMenuBar(bool forceUpdate)
{
    for (auto& [id, s] : m_states)
        push(id, s, UPDUI_MENU, forceUpdate);
}

void CUpdateUI::UIUpdateToolBar(bool forceUpdate)
{
    for (auto& [id, s] : m_states)
        push(id, s, UPDUI_TOOLBAR, forceUpdate);
}

void CUpdateUI::UIUpdateStatusBar(bool forceUpdate)
{
    for (auto& [id, s] : m_states)
        push(id, s, UPDUI_STATUSBAR, forceUpdate);
}

