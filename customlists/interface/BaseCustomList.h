#pragma once
// The list widget under a column list: a table view over an item model that
// asks the concrete list for every cell, fixed rows, columns that cannot be
// reordered, and every cell painted by the list itself.
#include <QAbstractTableModel>
#include <QTableView>

#include <functional>

class CBaseCustomList : public QTableView {
    Q_OBJECT
public:
    explicit CBaseCustomList(QWidget* pParent = nullptr);
    ~CBaseCustomList() override;

    // First initialisation: fixed header, theme set-up, the concrete list's
    // columns (OnInitList), column widths. Returns false when called twice.
    bool SubclassWindow();

    virtual int GetColumnCount() const = 0;
    virtual int GetItemCount() const = 0;
    int GetRowHeight() const { return m_nRowHeight; }
    QAbstractItemModel* ItemModel() const;

protected:
    // Called once after initialisation; a concrete list adds its columns here.
    virtual void OnInitList() {}
    virtual void OnThemeChanged() {}
    virtual void DrawCell(QPainter* pDC, const QRect& rect, int nItem, int nSubItem) = 0;
    virtual QVariant CellData(int nItem, int nSubItem, int role) const = 0;
    virtual QString ColumnTitle(int nSubItem) const = 0;
    virtual bool CellEnabled(int nItem, int nSubItem) const = 0;

    // Item-model notifications for the concrete list.
    void BeginInsertColumn(int nColumn);
    void EndInsertColumn();
    void ChangeItemCount(int nOld, int nNew, const std::function<void()>& apply);
    void CellsChanged();
    // Repaints one row.
    void RedrawItem(int nItem);
    // Spreads the width beyond column 0 over the other columns.
    void SizeColumns();

    void changeEvent(QEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;

    int m_nRowHeight;

private:
    class CModel;
    class CDelegate;
    friend class CModel;
    friend class CDelegate;
    CModel* m_pModel;
    bool m_bSubclassed = false;
    bool m_bLive = false;
};
