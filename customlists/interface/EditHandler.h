#pragma once
// A text column with an in-place editor. The editor is created hidden as a
// child of the list; it is shown over the current cell while editing and
// paints the column's other cells on the handler's request.
#include "BaseColumnHandler.h"
#include "ColumnList.h"
#include "CustomEdit.h"

#include <QPointer>

#include <algorithm>
#include <string>

template <class T, class TEdit>
class CBaseEditHandler : public CBaseColumnHandler<std::wstring> {
public:
    ~CBaseEditHandler() override { delete m_pEdit.data(); }

    void Init(CColumnListImpl* pList) override
    {
        if (m_pEdit)
            return;
        m_pList = pList;
        m_pEdit = static_cast<T*>(this)->CreateEditor(pList->viewport());
        m_pEdit->hide();
        QObject::connect(m_pEdit.data(), &CBaseCustomEdit::killFocus, pList, &CColumnListImpl::OnEditKillFocus);
    }

    void DrawItem(QPainter* pDC, const QRect& rect, unsigned nItem, int current, int enabled, int checked) override
    {
        if (!m_pEdit || !IsValidItem(static_cast<int>(nItem)) || static_cast<int>(nItem) == m_nEditItem)
            return;
        std::uint32_t state = ODS_COMBOBOXEDIT | ODS_DEFAULT;
        if (!enabled)
            state |= ODS_DISABLED;
        if (current && m_pList && (m_pList->hasFocus() || IsActive()))
            state |= ODS_FOCUS;
        if (checked)
            state |= ODS_CHECKED;
        const QString text = QString::fromStdWString(m_Values[nItem]);
        DRAWITEMSTRUCT dis;
        dis.pDC = pDC;
        dis.rcItem = rect.adjusted(3, 0, -1, 0);
        dis.itemID = -1;
        dis.itemState = state;
        dis.pText = &text;
        m_pEdit->DrawItem(dis);
    }

    void SetActive(BOOL bActive, int nItem) override
    {
        m_bActive = bActive;
        if (!m_pEdit)
            return;
        if (bActive) {
            m_pEdit->show();
            m_pEdit->raise();
            m_pEdit->setFocus(Qt::OtherFocusReason);
            m_nEditItem = nItem;
        } else {
            m_pEdit->hide();
            m_nEditItem = -1;
        }
    }

    void PlaceEditor(int nItem, const QRect& cell) override
    {
        if (!m_pEdit || !IsValidItem(nItem))
            return;
        m_pEdit->setText(QString::fromStdWString(m_Values[static_cast<std::size_t>(nItem)]));
        const int height = std::min(m_pEdit->sizeHint().height(), cell.height());
        const int top = cell.top() + (cell.height() - height) / 2;
        m_pEdit->setGeometry(cell.left(), top, cell.width(), height);
        m_pEdit->selectAll();
        m_pEdit->setFocus(Qt::OtherFocusReason);
    }

    void BeginEdit(int nItem) override
    {
        if (!m_pEdit || !IsValidItem(nItem))
            return;
        m_pEdit->selectAll();
        m_pEdit->setFocus(Qt::OtherFocusReason);
    }

    int Commit(int nItem) override
    {
        if (!m_pEdit || !IsValidItem(nItem))
            return 0;
        const std::wstring text = m_pEdit->text().toStdWString();
        std::wstring& stored = m_Values[static_cast<std::size_t>(nItem)];
        const bool accepted = m_pList && m_pList->NotifyEndLabelEdit(nItem, m_nColumn, text);
        if (!accepted)
            m_pEdit->setText(QString::fromStdWString(stored));
        else if (stored != text)
            stored = text;
        return 1;
    }

    QWidget* GetEditWindow() const override { return m_pEdit.data(); }
    TEdit* GetEdit() const { return m_pEdit.data(); }
    int GetEditItem() const { return m_nEditItem; }

    QVariant GetData(unsigned nItem, int role) const override
    {
        if ((role != Qt::DisplayRole && role != Qt::EditRole) || nItem >= m_Values.size())
            return {};
        return QString::fromStdWString(m_Values[nItem]);
    }

protected:
    int m_nEditItem = -1;
    QPointer<TEdit> m_pEdit;
};

class CTextEditHandler : public CBaseEditHandler<CTextEditHandler, CTextEdit> {
public:
    // Stores the text of a row.
    void SetText(unsigned nItem, const wchar_t* text);
    CTextEdit* CreateEditor(QWidget* pParent) { return new CTextEdit(pParent); }
};
