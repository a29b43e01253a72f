#pragma once
// A list in which every column is served by a column handler and every cell
// carries its own state. The list keeps a current cell that the keyboard and
// mouse move, paints cells through their handlers and opens the handler's
// in-place editor over the current cell.
#include "BaseColumnHandler.h"
#include "BaseCustomList.h"

#include "platform/hresult.h"

#include <functional>
#include <string>
#include <vector>

class CColumnListImpl : public CBaseCustomList {
    Q_OBJECT
public:
    struct CellState {
        std::uint32_t enabled = 1;
        std::uint32_t visible = 1;
        std::uint32_t checked = 1;
    };

    explicit CColumnListImpl(QWidget* pParent = nullptr);
    ~CColumnListImpl() override;

    // Appends a column served by pHandler (not owned).
    void AddColumn(const wchar_t* title, IBaseColumnHandler* pHandler, int width);
    // Resizes every column's handler values and cell states; new cells are all-true.
    void SetItemCount(int nRows);

    void SetEnabled(unsigned nItem, unsigned nSubItem, BOOL bEnabled);
    void SetVisible(unsigned nItem, unsigned nSubItem, BOOL bVisible);
    void SetChecked(unsigned nItem, unsigned nSubItem, BOOL bChecked);
    int GetEnabled(unsigned nItem, unsigned nSubItem) const;
    int GetVisible(unsigned nItem, unsigned nSubItem) const;
    int GetChecked(unsigned nItem, unsigned nSubItem) const;

    // Makes a cell current (clamped to the list).
    void SetCurrentCell(int nItem, int nSubItem);
    // Opens the current cell's editor when the cell is enabled, visible and checked.
    void ActivateCell();
    // The current column's handler takes the current row's edit.
    bool CommitCell();

    int GetCurrentItem() const { return m_nCurItem; }
    int GetCurrentSubItem() const { return m_nCurSubItem; }
    int GetColumnCount() const override { return static_cast<int>(m_Handlers.size()); }
    int GetItemCount() const override { return m_nItemCount; }
    IBaseColumnHandler* GetHandler(int nColumn) const;

    // End of an in-place edit: answers whether the new text is accepted
    // (the list's parent decides; without an answer the edit is rejected).
    using EndLabelEdit = std::function<bool(int nItem, int nSubItem, const std::wstring& text)>;
    void SetEndLabelEditHandler(EndLabelEdit handler) { m_EndLabelEdit = std::move(handler); }
    bool NotifyEndLabelEdit(int nItem, int nSubItem, const std::wstring& text);

    // The visual rectangle of a cell in viewport coordinates.
    QRect CellRect(int nItem, int nSubItem) const;

public slots:
    // Notifications from the handlers and their editors.
    void OnCommand(int code);
    void OnEditKillFocus();

protected:
    void OnInitList() override;
    void OnThemeChanged() override;
    void DrawCell(QPainter* pDC, const QRect& rect, int nItem, int nSubItem) override;
    QVariant CellData(int nItem, int nSubItem, int role) const override;
    QString ColumnTitle(int nSubItem) const override;
    bool CellEnabled(int nItem, int nSubItem) const override;
    // A column was resized.
    virtual void OnColumnResized();

    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void wheelEvent(QWheelEvent* pEvent) override;
    void scrollContentsBy(int dx, int dy) override;
    void focusInEvent(QFocusEvent* pEvent) override;
    void focusOutEvent(QFocusEvent* pEvent) override;

    std::vector<IBaseColumnHandler*> m_Handlers;
    std::vector<std::vector<CellState>> m_States;
    std::vector<std::wstring> m_Titles;
    int m_nItemCount = 0;
    int m_nCurItem = 0;
    int m_nCurSubItem = 0;

private:
    bool CheckCell(unsigned nItem, unsigned nSubItem) const;
    IBaseColumnHandler* CurrentHandler() const;
    void CloseCurrentEditor();

    EndLabelEdit m_EndLabelEdit;
};
