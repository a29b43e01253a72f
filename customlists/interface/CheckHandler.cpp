#include "CheckHandler.h"

#include "ColumnList.h"
#include "ScaleHelper.h"

#include <QMetaObject>
#include <algorithm>
#include <QPainter>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionButton>

int CCheckHandler::BoxEdge()
{
    const auto spScale = DPIAware::ScaleHelper::GetInstance();
    return spScale->IsDpiMeasured() ? DPIAware::ScaleHelper::MulDiv(14, spScale->GetDpiX(), 96) : 14;
}

void CCheckHandler::Init(CColumnListImpl* pList)
{
    // The list's style draws the boxes; nothing to open.
    m_pList = pList;
}

void CCheckHandler::SetCount(unsigned nRows)
{
    CBaseColumnHandler<int>::SetCount(nRows);
    std::fill(m_Values.begin(), m_Values.end(), 1);
}

int CCheckHandler::Commit(int nItem)
{
    if (!IsValidItem(nItem))
        return 0;
    int& value = m_Values[static_cast<std::size_t>(nItem)];
    value = 1 - value;
    return 1;
}

void CCheckHandler::BeginEdit(int)
{
    if (!m_pList)
        return;
    QPointer<CColumnListImpl> pList(m_pList);
    QMetaObject::invokeMethod(
        m_pList,
        [pList] {
            if (pList)
                pList->OnCommand(0);
        },
        Qt::QueuedConnection);
}

QVariant CCheckHandler::GetData(unsigned nItem, int role) const
{
    if (role != Qt::CheckStateRole || nItem >= m_Values.size())
        return {};
    return m_Values[nItem] == 1 ? Qt::Checked : Qt::Unchecked;
}

void CCheckHandler::DrawItem(QPainter* pDC, const QRect& rect, unsigned nItem, int current, int enabled, int)
{
    if (!pDC || nItem >= m_Values.size())
        return;
    const int edge = BoxEdge();
    const QRect box(rect.left() + (rect.width() - edge) / 2, rect.top() + (rect.height() - edge) / 2, edge, edge);
    QStyleOptionButton opt;
    QWidget* pWidget = m_pList;
    if (pWidget)
        opt.initFrom(pWidget);
    opt.rect = box;
    opt.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver);
    opt.state |= m_Values[nItem] == 1 ? QStyle::State_On : QStyle::State_Off;
    if (enabled)
        opt.state |= QStyle::State_Enabled;
    else
        opt.state &= ~QStyle::State_Enabled;
    QStyle* pStyle = pWidget ? pWidget->style() : nullptr;
    if (pStyle)
        pStyle->drawPrimitive(QStyle::PE_IndicatorCheckBox, &opt, pDC, pWidget);
    if (current && pWidget && (pWidget->hasFocus() || IsActive())) {
        pDC->save();
        pDC->setPen(pWidget->palette().color(QPalette::Highlight));
        pDC->setBrush(Qt::NoBrush);
        pDC->drawRect(rect.adjusted(0, 0, -1, -1));
        pDC->restore();
    }
}
