#include "EditHandler.h"

void CTextEditHandler::SetText(unsigned nItem, const wchar_t* text)
{
    if (nItem < m_Values.size())
        m_Values[nItem] = text ? text : L"";
}
