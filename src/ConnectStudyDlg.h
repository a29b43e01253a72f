#pragma once
// Asks for the URL of a study database (postgresql://, mysql://, sqlite:///),
// offering the last one used, without its password.
#include <QDialog>

#include <string>

class QLineEdit;
class QDialogButtonBox;
class QSpinBox;

class CConnectStudyDlg : public QDialog {
public:
    enum { IDC_URL = 1301, IDC_BUDGET = 1302 };

    explicit CConnectStudyDlg(QWidget* parent = nullptr);

    std::wstring Url() const;
    // Keeps the URL, without its password, and the memory budget for the next time.
    void Remember() const;

private:
    void UpdateOk();

    QLineEdit* m_url;
    QSpinBox* m_budget; // MiB; 0: a quarter of the memory
    QDialogButtonBox* m_buttons;
};
