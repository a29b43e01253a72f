#pragma once
// The program's column handlers of the fixed-inputs list: the "Fix" check
// column and the "Value" column with its value editor.
#include "CheckHandler.h"
#include "EditHandler.h"
#include "IStaticInputChange.h"
#include "ValueEdit.h"

class CFixInputHandler : public CCheckHandler {
public:
    explicit CFixInputHandler(IStaticInputChange* pChange = nullptr) : m_pChange(pChange) {}
    // Toggles the box and tells the dialog.
    int Commit(int nItem) override;

    IStaticInputChange* m_pChange;
};

class CValuesEditHandler : public CBaseEditHandler<CValuesEditHandler, CValuesEdit> {
public:
    explicit CValuesEditHandler(IStaticInputChange* pChange) : m_pChange(pChange) {}
    // Stores a row's value as text in the user's number format.
    void SetPrice(unsigned nItem, double value);
    // A row held over a range: "All" or "LOW : HIGH".
    void SetHoldText(unsigned nItem, const std::wstring& text);
    CValuesEdit* CreateEditor(QWidget* pParent);

private:
    IStaticInputChange* m_pChange;
};
