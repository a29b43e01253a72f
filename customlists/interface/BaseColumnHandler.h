#pragma once
// A column handler owns the values of one column of a column list, paints its
// cells and, for editable columns, owns the in-place editor.
#include "platform/hresult.h"

#include <QRect>
#include <QVariant>

#include <vector>

class QPainter;
class QWidget;
class CColumnListImpl;

class IBaseColumnHandler {
public:
    virtual ~IBaseColumnHandler() = default;
    // Remembers the list; creates the editor or re-reads the style.
    virtual void Init(CColumnListImpl* pList) = 0;
    virtual void DrawItem(QPainter* pDC, const QRect& rect, unsigned nItem, int current, int enabled, int checked) = 0;
    // Resizes the row values (clears them for 0).
    virtual void SetCount(unsigned nRows) = 0;
    // The editor is open.
    virtual int IsActive() const = 0;
    virtual void SetActive(BOOL bActive, int nItem) = 0;
    // Loads the row's text into the editor and moves it over the cell.
    virtual void PlaceEditor(int nItem, const QRect& cell) = 0;
    // Takes the edited value; non-zero when the handler handled the row.
    virtual int Commit(int nItem) = 0;
    virtual void SetColumn(int nColumn) = 0;
    virtual int GetColumn() const = 0;
    virtual void BeginEdit(int nItem) = 0;
    // Edit handlers: the editor widget.
    virtual QWidget* GetEditWindow() const { return nullptr; }
    // What the list's item model answers for a cell of this column (display
    // text, check state), for accessibility and for tests.
    virtual QVariant GetData(unsigned nItem, int role) const { return {}; }
};

template <class T>
class CBaseColumnHandler : public IBaseColumnHandler {
public:
    void SetCount(unsigned nRows) override
    {
        if (nRows == 0)
            m_Values.clear();
        else
            m_Values.resize(nRows);
    }
    int IsActive() const override { return m_bActive; }
    void SetActive(BOOL bActive, int) override { m_bActive = bActive; }
    void SetColumn(int nColumn) override { m_nColumn = nColumn; }
    int GetColumn() const override { return m_nColumn; }

    // Row values; the owning list may write them directly.
    std::vector<T> m_Values;

protected:
    bool IsValidItem(int nItem) const { return nItem >= 0 && static_cast<std::size_t>(nItem) < m_Values.size(); }

    CColumnListImpl* m_pList = nullptr;
    BOOL m_bActive = FALSE;
    int m_nColumn = -1;
};
