#pragma once
// "About": the program's icon, name, product version and copyright line.
#include <QDialog>

class QLabel;

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 100, IDC_VERSION = 1028, IDC_COPYRIGHT = 1029 };

    explicit CAboutDlg(QWidget* parent = nullptr);

    // Runs the dialog through the prompt service: 1 for "Close", 2 for Escape.
    int DoModal();

    // Fills the texts from the version block (on first show).
    void OnInitDialog();

    QString VersionText() const;
    QString CopyrightText() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_bInitialised = false;
    QLabel* m_version = nullptr;
    QLabel* m_copyright = nullptr;
};
