#include "BaseCustomList.h"

#include <QAbstractItemDelegate>
#include <QEvent>
#include <QHeaderView>
#include <QPainter>
#include <QResizeEvent>
#include <QStyle>

#include <algorithm>

class CBaseCustomList::CModel : public QAbstractTableModel {
public:
    explicit CModel(CBaseCustomList& list) : QAbstractTableModel(&list), m_List(list) {}

    // The list answers only between its first initialisation and the start
    // of its destruction (its overrides do not exist outside that time).
    int rowCount(const QModelIndex& parent) const override
    {
        return parent.isValid() || !m_List.m_bLive ? 0 : m_List.GetItemCount();
    }
    int columnCount(const QModelIndex& parent) const override
    {
        return parent.isValid() || !m_List.m_bLive ? 0 : m_List.GetColumnCount();
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!Valid(index))
            return {};
        return m_List.CellData(index.row(), index.column(), role);
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (!m_List.m_bLive)
            return {};
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
            section < m_List.GetColumnCount())
            return m_List.ColumnTitle(section);
        return {};
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        if (!Valid(index))
            return Qt::NoItemFlags;
        Qt::ItemFlags f = Qt::ItemNeverHasChildren;
        if (m_List.CellEnabled(index.row(), index.column()))
            f |= Qt::ItemIsEnabled;
        return f;
    }

    using QAbstractTableModel::beginInsertColumns;
    using QAbstractTableModel::beginResetModel;
    using QAbstractTableModel::endResetModel;
    using QAbstractTableModel::beginInsertRows;
    using QAbstractTableModel::beginRemoveRows;
    using QAbstractTableModel::endInsertColumns;
    using QAbstractTableModel::endInsertRows;
    using QAbstractTableModel::endRemoveRows;

private:
    bool Valid(const QModelIndex& index) const
    {
        return index.isValid() && index.model() == this && index.row() < rowCount({}) &&
               index.column() < columnCount({});
    }

    CBaseCustomList& m_List;
};

// Every cell is painted by the list (and through it by the column's handler).
class CBaseCustomList::CDelegate : public QAbstractItemDelegate {
public:
    explicit CDelegate(CBaseCustomList& list) : QAbstractItemDelegate(&list), m_List(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        painter->save();
        m_List.DrawCell(painter, option.rect, index.row(), index.column());
        painter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return {option.rect.width(), m_List.m_nRowHeight};
    }

private:
    CBaseCustomList& m_List;
};

namespace {

// The height of a vertical scroll-bar thumb plus 2, and at least room for a
// line of text in an editor.
int DefaultRowHeight(const QWidget& w)
{
    const int thumb = w.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &w) + 2;
    return std::max(thumb, w.fontMetrics().height() + 10);
}

} // namespace

CBaseCustomList::CBaseCustomList(QWidget* pParent)
    : QTableView(pParent), m_nRowHeight(DefaultRowHeight(*this)), m_pModel(new CModel(*this))
{
    setModel(m_pModel);
    setItemDelegate(new CDelegate(*this));
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setShowGrid(false);
    setWordWrap(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
}

CBaseCustomList::~CBaseCustomList()
{
    m_bLive = false;
}

QAbstractItemModel* CBaseCustomList::ItemModel() const
{
    return m_pModel;
}

bool CBaseCustomList::SubclassWindow()
{
    if (m_bSubclassed)
        return false;
    m_bSubclassed = true;
    m_pModel->beginResetModel();
    m_bLive = true;
    m_pModel->endResetModel();
    m_nRowHeight = DefaultRowHeight(*this);
    // Columns keep their order; rows have one fixed height.
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setStretchLastSection(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(m_nRowHeight);
    OnThemeChanged();
    OnInitList();
    SizeColumns();
    return true;
}

void CBaseCustomList::SizeColumns()
{
    const int n = GetColumnCount();
    if (n == 0)
        return;
    const int w = viewport()->width() - columnWidth(0);
    const int each = n <= 1 ? 0 : w / (n - 1);
    if (n > 1)
        setColumnWidth(1, std::max(0, w - (n - 2) * each));
    for (int c = 2; c < n; ++c)
        setColumnWidth(c, std::max(0, each));
}

void CBaseCustomList::BeginInsertColumn(int nColumn)
{
    m_pModel->beginInsertColumns({}, nColumn, nColumn);
}

void CBaseCustomList::EndInsertColumn()
{
    m_pModel->endInsertColumns();
}

void CBaseCustomList::ChangeItemCount(int nOld, int nNew, const std::function<void()>& apply)
{
    if (nNew > nOld) {
        m_pModel->beginInsertRows({}, nOld, nNew - 1);
        apply();
        m_pModel->endInsertRows();
    } else if (nNew < nOld) {
        m_pModel->beginRemoveRows({}, nNew, nOld - 1);
        apply();
        m_pModel->endRemoveRows();
    } else {
        apply();
    }
}

void CBaseCustomList::CellsChanged()
{
    const int rows = GetItemCount(), cols = GetColumnCount();
    if (rows > 0 && cols > 0)
        emit m_pModel->dataChanged(m_pModel->index(0, 0), m_pModel->index(rows - 1, cols - 1));
    viewport()->update();
}

void CBaseCustomList::RedrawItem(int nItem)
{
    if (nItem < 0 || nItem >= GetItemCount())
        return;
    const QRect r = visualRect(m_pModel->index(nItem, 0));
    viewport()->update(QRect(0, r.top(), viewport()->width(), r.height()));
}

void CBaseCustomList::changeEvent(QEvent* pEvent)
{
    QTableView::changeEvent(pEvent);
    if (m_bSubclassed && (pEvent->type() == QEvent::StyleChange || pEvent->type() == QEvent::PaletteChange))
        OnThemeChanged();
}

void CBaseCustomList::resizeEvent(QResizeEvent* pEvent)
{
    QTableView::resizeEvent(pEvent);
    if (m_bSubclassed && pEvent->size().width() != pEvent->oldSize().width())
        SizeColumns();
}
