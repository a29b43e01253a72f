#pragma once
// The modal "Data Representation" dialog (resource 209): X and Y inputs, the
// function, and the value of every other input, chosen among the combinations
// that occur in the source. The logic lives in CInputConfigModel; the dialog
// wires the controls to it.
#include "IStaticInputChange.h"
#include "InputConfigModel.h"
#include "InputListView.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

class CInputConfigDlg : public QDialog, public CInputConfigModel, public IStaticInputChange {
    Q_OBJECT
public:
    enum { IDD = 209 };
    // Control ids (each control's objectName).
    enum : int {
        IDC_INPUT_X = 1008,
        IDC_INPUT_Y = 1009,
        IDC_FIXED_LIST = 1010,
        IDC_FUNCTION = 1011,
        IDC_FIXED_LABEL = 1017,
        IDC_SLICE_COUNT = 1018,
    };

    explicit CInputConfigDlg(QWidget* pParent = nullptr);
    ~CInputConfigDlg() override;

    // Runs the dialog; IDOK (1) or IDCANCEL (2).
    int DoModal(QWidget* pParent = nullptr);

    // IStaticInputChange
    bool OnValueChange(int code, double* pValue) override;
    void OnFixChange(unsigned nRow, BOOL bFixed) override;
    void OnCancelChange() override;
    bool OnHoldChange(bool bAll, double low, double high) override;
    bool AcceptsLabels() override;
    bool OnLabelChange(const std::wstring& text) override;
    std::wstring CurrentLabel() override;

    CInputList& GetInputList() { return m_List; }

    void accept() override;
    void reject() override;

protected:
    // Fills the controls from the model; runs once, when the dialog is first shown.
    bool OnInitDialog();
    void RefreshControls(bool bRefill) override;
    void showEvent(QShowEvent* pEvent) override;

private:
    void FillAxisCombos();
    void OnAxisChange(bool bX);
    void OnFunctionChange();
    // The list shows the model again.
    void UpdateList();
    // "N of M records in this slice".
    void UpdateSliceCount();

    QComboBox* m_pInputX;
    QComboBox* m_pInputY;
    QComboBox* m_pFunction;
    QLabel* m_pFixedLabel;
    QLabel* m_pSliceCount;
    QPushButton* m_pOk;
    QPushButton* m_pCancel;
    CInputList m_List;
    bool m_bInitialized = false;
};
