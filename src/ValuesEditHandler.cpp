#include "ValuesEditHandler.h"

#include "diagnostics/snagwise.h"

int CFixInputHandler::Commit(int nItem)
{
    const int res = CCheckHandler::Commit(nItem);
    if (res && m_pChange)
        m_pChange->OnFixChange(static_cast<unsigned>(nItem), m_Values[static_cast<std::size_t>(nItem)]);
    return res;
}

CValuesEdit* CValuesEditHandler::CreateEditor(QWidget* pParent)
{
    auto* pEdit = new CValuesEdit(m_pChange, pParent);
    // Room for a range of two numbers.
    pEdit->LimitText(31);
    return pEdit;
}

void CValuesEditHandler::SetPrice(unsigned nItem, double value)
{
    SW_ASSERT(m_Values.size() > nItem);
    if (nItem < m_Values.size())
        m_Values[nItem] = NumberToText(value).toStdWString();
}

void CValuesEditHandler::SetHoldText(unsigned nItem, const std::wstring& text)
{
    SW_ASSERT(m_Values.size() > nItem);
    if (nItem < m_Values.size())
        m_Values[nItem] = text;
}
