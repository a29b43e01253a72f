#include "ColumnList.h"

#include "diagnostics/snagwise.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

CColumnListImpl::CColumnListImpl(QWidget* pParent) : CBaseCustomList(pParent)
{
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this] { OnColumnResized(); });
}

CColumnListImpl::~CColumnListImpl() = default;

IBaseColumnHandler* CColumnListImpl::GetHandler(int nColumn) const
{
    if (nColumn < 0 || nColumn >= GetColumnCount())
        return nullptr;
    return m_Handlers[static_cast<std::size_t>(nColumn)];
}

IBaseColumnHandler* CColumnListImpl::CurrentHandler() const
{
    return GetHandler(m_nCurSubItem);
}

void CColumnListImpl::AddColumn(const wchar_t* title, IBaseColumnHandler* pHandler, int width)
{
    const int column = GetColumnCount();
    BeginInsertColumn(column);
    m_Handlers.push_back(pHandler);
    m_Titles.emplace_back(title ? title : L"");
    m_States.emplace_back();
    EndInsertColumn();
    setColumnWidth(column, width);
    pHandler->SetColumn(column);
}

void CColumnListImpl::SetItemCount(int nRows)
{
    nRows = std::max(0, nRows);
    ChangeItemCount(m_nItemCount, nRows, [&] {
        for (std::size_t c = 0; c < m_Handlers.size(); ++c) {
            m_Handlers[c]->SetCount(static_cast<unsigned>(nRows));
            m_States[c].resize(static_cast<std::size_t>(nRows));
        }
        m_nItemCount = nRows;
    });
}

bool CColumnListImpl::CheckCell(unsigned nItem, unsigned nSubItem) const
{
    SW_ASSERT(m_States.size() > nSubItem);
    if (m_States.size() <= nSubItem)
        return false;
    SW_ASSERT(m_States[nSubItem].size() > nItem);
    return m_States[nSubItem].size() > nItem;
}

void CColumnListImpl::SetEnabled(unsigned nItem, unsigned nSubItem, BOOL bEnabled)
{
    if (CheckCell(nItem, nSubItem))
        m_States[nSubItem][nItem].enabled = bEnabled ? 1 : 0;
}

void CColumnListImpl::SetVisible(unsigned nItem, unsigned nSubItem, BOOL bVisible)
{
    if (CheckCell(nItem, nSubItem))
        m_States[nSubItem][nItem].visible = bVisible ? 1 : 0;
}

void CColumnListImpl::SetChecked(unsigned nItem, unsigned nSubItem, BOOL bChecked)
{
    if (CheckCell(nItem, nSubItem))
        m_States[nSubItem][nItem].checked = bChecked ? 1 : 0;
}

int CColumnListImpl::GetEnabled(unsigned nItem, unsigned nSubItem) const
{
    return CheckCell(nItem, nSubItem) ? static_cast<int>(m_States[nSubItem][nItem].enabled) : 0;
}

int CColumnListImpl::GetVisible(unsigned nItem, unsigned nSubItem) const
{
    return CheckCell(nItem, nSubItem) ? static_cast<int>(m_States[nSubItem][nItem].visible) : 0;
}

int CColumnListImpl::GetChecked(unsigned nItem, unsigned nSubItem) const
{
    return CheckCell(nItem, nSubItem) ? static_cast<int>(m_States[nSubItem][nItem].checked) : 0;
}

QRect CColumnListImpl::CellRect(int nItem, int nSubItem) const
{
    return visualRect(ItemModel()->index(nItem, nSubItem));
}

void CColumnListImpl::SetCurrentCell(int nItem, int nSubItem)
{
    nItem = std::max(0, std::min(nItem, GetItemCount() - 1));
    nSubItem = std::max(0, std::min(nSubItem, GetColumnCount() - 1));
    const int nOld = m_nCurItem;
    m_nCurItem = nItem;
    m_nCurSubItem = nSubItem;
    // The view's own current index follows the current row (accessibility).
    if (GetItemCount() > 0 && GetColumnCount() > 0)
        selectionModel()->setCurrentIndex(ItemModel()->index(nItem, nSubItem), QItemSelectionModel::NoUpdate);
    if (nOld != nItem)
        RedrawItem(nOld);
    RedrawItem(nItem);
    if (GetItemCount() > 0 && GetColumnCount() > 0)
        scrollTo(ItemModel()->index(nItem, nSubItem), QAbstractItemView::EnsureVisible);
}

void CColumnListImpl::ActivateCell()
{
    if (GetItemCount() <= 0)
        return;
    IBaseColumnHandler* pHandler = CurrentHandler();
    if (!pHandler)
        return;
    const auto item = static_cast<unsigned>(m_nCurItem), sub = static_cast<unsigned>(m_nCurSubItem);
    if (GetEnabled(item, sub) != 1 || GetVisible(item, sub) != 1 || GetChecked(item, sub) != 1)
        return;
    const QRect cell = CellRect(m_nCurItem, m_nCurSubItem);
    pHandler->PlaceEditor(m_nCurItem, cell);
    RedrawItem(m_nCurItem);
    pHandler->SetActive(TRUE, m_nCurItem);
    pHandler->PlaceEditor(m_nCurItem, cell);
    pHandler->BeginEdit(m_nCurItem);
}

bool CColumnListImpl::CommitCell()
{
    IBaseColumnHandler* pHandler = CurrentHandler();
    if (!pHandler)
        return false;
    if (!pHandler->Commit(m_nCurItem))
        return false;
    RedrawItem(m_nCurItem);
    return true;
}

bool CColumnListImpl::NotifyEndLabelEdit(int nItem, int nSubItem, const std::wstring& text)
{
    return m_EndLabelEdit ? m_EndLabelEdit(nItem, nSubItem, text) : false;
}

void CColumnListImpl::OnCommand(int code)
{
    // Code 0 is posted by a check column after a click or Space.
    if (code == 0)
        CommitCell();
}

void CColumnListImpl::OnEditKillFocus()
{
    IBaseColumnHandler* pHandler = CurrentHandler();
    if (!CommitCell() || !pHandler)
        return;
    pHandler->SetActive(FALSE, m_nCurItem);
    RedrawItem(m_nCurItem);
    // Back to the list, unless the user moved the focus elsewhere.
    QWidget* pFocus = QApplication::focusWidget();
    if (!pFocus || pFocus == this || isAncestorOf(pFocus))
        setFocus(Qt::OtherFocusReason);
}

void CColumnListImpl::CloseCurrentEditor()
{
    if (IBaseColumnHandler* pHandler = CurrentHandler(); pHandler && pHandler->IsActive())
        pHandler->SetActive(FALSE, m_nCurItem);
}

void CColumnListImpl::OnInitList()
{
    OnThemeChanged();
}

void CColumnListImpl::OnThemeChanged()
{
    // Handlers re-read the style and palette.
    for (IBaseColumnHandler* pHandler : m_Handlers)
        pHandler->Init(this);
    viewport()->update();
}

void CColumnListImpl::OnColumnResized()
{
    viewport()->update();
}

void CColumnListImpl::DrawCell(QPainter* pDC, const QRect& rect, int nItem, int nSubItem)
{
    IBaseColumnHandler* pHandler = GetHandler(nSubItem);
    if (!pHandler || nItem < 0 || nItem >= GetItemCount())
        return;
    const CellState& state = m_States[static_cast<std::size_t>(nSubItem)][static_cast<std::size_t>(nItem)];
    const bool active = state.enabled && isEnabled();
    pDC->fillRect(rect, palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Base));
    if (state.visible != 1)
        return;
    const bool current = nItem == m_nCurItem && nSubItem == m_nCurSubItem;
    pHandler->DrawItem(pDC, rect, static_cast<unsigned>(nItem), current, active, static_cast<int>(state.checked));
}

QVariant CColumnListImpl::CellData(int nItem, int nSubItem, int role) const
{
    IBaseColumnHandler* pHandler = GetHandler(nSubItem);
    if (!pHandler || nItem < 0 || nItem >= GetItemCount())
        return {};
    if (m_States[static_cast<std::size_t>(nSubItem)][static_cast<std::size_t>(nItem)].visible != 1)
        return {};
    return pHandler->GetData(static_cast<unsigned>(nItem), role);
}

QString CColumnListImpl::ColumnTitle(int nSubItem) const
{
    if (nSubItem < 0 || nSubItem >= static_cast<int>(m_Titles.size()))
        return {};
    return QString::fromStdWString(m_Titles[static_cast<std::size_t>(nSubItem)]);
}

bool CColumnListImpl::CellEnabled(int nItem, int nSubItem) const
{
    if (nSubItem < 0 || nSubItem >= GetColumnCount() || nItem < 0 || nItem >= GetItemCount())
        return false;
    return m_States[static_cast<std::size_t>(nSubItem)][static_cast<std::size_t>(nItem)].enabled == 1;
}

void CColumnListImpl::mousePressEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() != Qt::LeftButton) {
        CBaseCustomList::mousePressEvent(pEvent);
        return;
    }
    // Focus first: an open editor commits before another cell becomes current.
    setFocus(Qt::MouseFocusReason);
    const int nOld = m_nCurItem;
    const QModelIndex hit = indexAt(pEvent->position().toPoint());
    const int nColumnCount = GetColumnCount();
    struct {
        int iItem;
        int iSubItem;
    } ht{hit.row(), hit.column()};
    if (hit.isValid()) {
        SW_ASSERT(nColumnCount > ht.iSubItem);
        SetCurrentCell(ht.iItem, ht.iSubItem);
        ActivateCell();
    }
    for (int c = 0; c < nColumnCount; ++c) {
        if (c != ht.iSubItem)
            GetHandler(c)->SetActive(FALSE, m_nCurItem);
    }
    RedrawItem(nOld);
    RedrawItem(m_nCurItem);
    pEvent->accept();
}

void CColumnListImpl::mouseDoubleClickEvent(QMouseEvent* pEvent)
{
    // The first click did the work.
    pEvent->accept();
}

void CColumnListImpl::keyPressEvent(QKeyEvent* pEvent)
{
    IBaseColumnHandler* pHandler = CurrentHandler();
    if (pHandler && pHandler->IsActive()) {
        CBaseCustomList::keyPressEvent(pEvent);
        return;
    }
    if (pEvent->modifiers() & Qt::AltModifier) {
        if (pEvent->key() == Qt::Key_Up || pEvent->key() == Qt::Key_Down) {
            SetCurrentCell(m_nCurItem, m_nCurSubItem);
            ActivateCell();
            pEvent->accept();
            return;
        }
        CBaseCustomList::keyPressEvent(pEvent);
        return;
    }
    switch (pEvent->key()) {
    case Qt::Key_Space:
        ActivateCell();
        RedrawItem(m_nCurItem);
        break;
    case Qt::Key_Left:
        SetCurrentCell(m_nCurItem, m_nCurSubItem - 1);
        break;
    case Qt::Key_Right:
        SetCurrentCell(m_nCurItem, m_nCurSubItem + 1);
        break;
    case Qt::Key_Up:
        SetCurrentCell(m_nCurItem - 1, m_nCurSubItem);
        break;
    case Qt::Key_Down:
        SetCurrentCell(m_nCurItem + 1, m_nCurSubItem);
        break;
    default:
        CBaseCustomList::keyPressEvent(pEvent);
        return;
    }
    pEvent->accept();
}

void CColumnListImpl::wheelEvent(QWheelEvent* pEvent)
{
    const bool bOpen = CurrentHandler() && CurrentHandler()->IsActive();
    CloseCurrentEditor();
    CBaseCustomList::wheelEvent(pEvent);
    if (bOpen)
        RedrawItem(m_nCurItem);
}

void CColumnListImpl::scrollContentsBy(int dx, int dy)
{
    // Vertical scrolling closes the editor; horizontal scrolling carries it along.
    const bool bOpen = CurrentHandler() && CurrentHandler()->IsActive();
    if (dy != 0)
        CloseCurrentEditor();
    CBaseCustomList::scrollContentsBy(dx, dy);
    if (bOpen || dx != 0)
        RedrawItem(m_nCurItem);
}

void CColumnListImpl::focusInEvent(QFocusEvent* pEvent)
{
    CBaseCustomList::focusInEvent(pEvent);
    RedrawItem(m_nCurItem);
}

void CColumnListImpl::focusOutEvent(QFocusEvent* pEvent)
{
    CBaseCustomList::focusOutEvent(pEvent);
    RedrawItem(m_nCurItem);
}
