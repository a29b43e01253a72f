#pragma once
// The "Fixed Inputs" list of the "Data Representation" dialog: one row per
// input that is neither X nor Y, with its "Fix" box, its name and its current
// value. It shows the dialog's model and hands the user's actions to the dialog.
#include "ColumnList.h"
#include "EditHandler.h"
#include "InputConfigModel.h"
#include "ValuesEditHandler.h"

#include <string>
#include <vector>

// An input's Value cell: its value, range or "All", labels standing for the
// values that have them.
std::wstring ValueCellText(const InputInfo& in);

class CInputList : public CColumnListImpl {
    Q_OBJECT
public:
    explicit CInputList(IStaticInputChange* pChange, QWidget* pParent = nullptr);

    // Row → index into the inputs (skipping X and Y); -1 when none.
    int GetInputIndex(int nRow) const;
    // Rebuilds the rows from the inputs.
    void UpdateRows();

    // Written by the dialog before UpdateRows.
    const std::vector<InputInfo>* m_pInputs = nullptr;
    unsigned m_nInputX = 0;
    unsigned m_nInputY = 1;

    CFixInputHandler m_FixHandler;
    CTextEditHandler m_NameHandler;
    CValuesEditHandler m_ValueHandler;

protected:
    void OnInitList() override;
    // Resizing a column closes the value editor.
    void OnColumnResized() override;

private:
    std::wstring m_strFix;
    std::wstring m_strName;
    std::wstring m_strValue;
};
