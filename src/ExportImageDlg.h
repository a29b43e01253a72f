#pragma once
// "Export Image": where the chart's picture goes and at what size. The format
// follows the file name's extension (PNG, SVG or PDF) and the format list
// rewrites the extension; the size starts at the chart window's.
#include <QDialog>
#include <QSize>
#include <QString>

class QComboBox;
class QLineEdit;
class QSpinBox;

class CExportImageDlg : public QDialog {
    Q_OBJECT
public:
    // Control ids, also the controls' object names.
    enum { IDC_PATH = 1101, IDC_BROWSE = 1102, IDC_FORMAT = 1103, IDC_WIDTH = 1104, IDC_HEIGHT = 1105,
           IDC_WINDOW_SIZE = 1106 };

    CExportImageDlg(QSize windowSize, const QString& path, QWidget* parent = nullptr);

    // What was chosen, read after IDOK: a path with a picture extension.
    QString Path() const { return m_path; }
    QSize Size() const { return m_size; }

    // Refuses an empty name and asks before replacing a file.
    void accept() override;

private:
    void OnBrowse();
    void OnFormatChosen(int index);
    void OnPathEdited(const QString& text);

    QSize m_windowSize;
    QLineEdit* m_edit;
    QComboBox* m_format;
    QSpinBox* m_width;
    QSpinBox* m_height;
    QString m_confirmed; // replacing it was agreed in the file dialog
    QString m_path;
    QSize m_size;
};
