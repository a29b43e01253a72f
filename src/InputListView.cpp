#include "InputListView.h"

CInputList::CInputList(IStaticInputChange* pChange, QWidget* pParent)
    : CColumnListImpl(pParent),
      m_FixHandler(pChange),
      m_ValueHandler(pChange),
      m_strFix(L"Fix"),
      m_strName(L"Input Name"),
      m_strValue(L"Value")
{
}

void CInputList::OnInitList()
{
    CColumnListImpl::OnInitList();
    m_FixHandler.Init(this);
    m_NameHandler.Init(this);
    m_ValueHandler.Init(this);
    AddColumn(m_strFix.c_str(), &m_FixHandler, 30);
    AddColumn(m_strName.c_str(), &m_NameHandler, 200);
    AddColumn(m_strValue.c_str(), &m_ValueHandler, 200);
}

int CInputList::GetInputIndex(int nRow) const
{
    if (!m_pInputs || nRow < 0)
        return -1;
    int row = 0;
    for (std::size_t i = 0; i < m_pInputs->size(); ++i) {
        if (i == m_nInputX || i == m_nInputY)
            continue;
        if (row++ == nRow)
            return static_cast<int>(i);
    }
    return -1;
}

std::wstring ValueCellText(const InputInfo& in)
{
    // Labels stand for their values: "adam", "(none)", "adam : sgd".
    const auto text = [&in](std::size_t pos) {
        const std::wstring label = in.Label(pos);
        return label.empty() ? NumberToText(in.values[pos].second.value).toStdWString() : label;
    };
    if (in.IsHeldAtAll())
        return HoldToText({true, 0, 0}).toStdWString();
    if (in.IsHeldOverRange())
        return text(in.holdFirst) + L" : " + text(in.holdLast);
    return in.HasCurrent() ? text(in.current) : NumberToText(0.0).toStdWString();
}

void CInputList::UpdateRows()
{
    if (!m_pInputs)
        return;
    const std::vector<InputInfo>& inputs = *m_pInputs;
    const int count = inputs.size() > 2 ? static_cast<int>(inputs.size()) - 2 : 0;
    SetItemCount(count);
    int row = 0;
    for (std::size_t i = 0; i < inputs.size() && row < count; ++i) {
        if (i == m_nInputX || i == m_nInputY)
            continue;
        const InputInfo& in = inputs[i];
        const auto r = static_cast<unsigned>(row);
        m_FixHandler.m_Values[r] = static_cast<int>(in.fixed);
        m_NameHandler.SetText(r, in.name.c_str());
        m_ValueHandler.SetHoldText(r, ValueCellText(in));
        SetEnabled(r, 1, FALSE);
        ++row;
    }
    CellsChanged();
}

void CInputList::OnColumnResized()
{
    m_ValueHandler.SetActive(FALSE, 0);
    CColumnListImpl::OnColumnResized();
}
