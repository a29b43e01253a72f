#include "Prompts.h"

#include "LoadChoiceDlg.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace vantix {

namespace {

class QtPrompts final : public IPrompts {
public:
    int MessageBox(QWidget* parent, const std::wstring& text, const std::wstring& caption, unsigned style) override
    {
        QMessageBox box(parent);
        box.setWindowTitle(QString::fromStdWString(caption));
        box.setText(QString::fromStdWString(text));
        switch (style & 0xF0) {
        case MB_ICONHAND: box.setIcon(QMessageBox::Critical); break;
        case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
        case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
        case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
        default: box.setIcon(QMessageBox::NoIcon); break;
        }
        switch (style & 0x0F) {
        case MB_OKCANCEL: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
        case MB_YESNOCANCEL:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            box.setEscapeButton(QMessageBox::Cancel);
            break;
        case MB_YESNO: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
        default: box.setStandardButtons(QMessageBox::Ok); break;
        }
        switch (box.exec()) {
        case QMessageBox::Yes: return IDYES;
        case QMessageBox::No: return IDNO;
        case QMessageBox::Cancel: return IDCANCEL;
        default: return IDOK;
        }
    }

    std::optional<std::wstring> FileDialog(QWidget* parent, const FileDialogRequest& r) override
    {
        QFileDialog dialog(parent, QString::fromStdWString(r.title));
        const QString filter = r.filter.empty() ? ResultsFileFilter() : QString::fromStdWString(r.filter);
        dialog.setNameFilters(filter.split(QStringLiteral(";;")));
        if (r.mode == FileDialogRequest::Mode::Save) {
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setFileMode(QFileDialog::AnyFile);
            if (!r.overwritePrompt)
                dialog.setOption(QFileDialog::DontConfirmOverwrite);
        } else {
            dialog.setAcceptMode(QFileDialog::AcceptOpen);
            dialog.setFileMode(QFileDialog::ExistingFile);
        }
        if (!r.defaultExtension.empty())
            dialog.setDefaultSuffix(QString::fromStdWString(r.defaultExtension));
        if (!r.folder.empty())
            dialog.setDirectory(QString::fromStdWString(r.folder));
        if (!r.initialName.empty())
            dialog.selectFile(QString::fromStdWString(r.initialName));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().front().toStdWString();
    }

    std::optional<std::wstring> AskPassword(QWidget* parent, const std::wstring& text) override
    {
        bool ok = false;
        const QString password = QInputDialog::getText(parent, QStringLiteral("Password"), QString::fromStdWString(text),
                                                       QLineEdit::Password, QString(), &ok);
        if (!ok)
            return std::nullopt;
        return password.toStdWString();
    }

    int DoModal(QDialog& dialog) override
    {
        const int r = dialog.exec();
        return r == QDialog::Rejected ? IDCANCEL : r;
    }

    std::optional<std::size_t> ChooseStudy(QWidget* parent, const LoadChoiceRequest& request) override
    {
        CStudyDialog dialog(request, parent);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.Study();
    }

    std::optional<std::vector<int>> ChooseColumnRoles(QWidget* parent, const LoadChoiceRequest& request) override
    {
        CColumnRolesDialog dialog(request, parent);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.Roles();
    }
};

QtPrompts g_qtPrompts;
IPrompts* g_prompts = &g_qtPrompts;

} // namespace

IPrompts& Prompts()
{
    return *g_prompts;
}

ScopedPrompts::ScopedPrompts(IPrompts& prompts) : m_previous(g_prompts)
{
    g_prompts = &prompts;
}

ScopedPrompts::~ScopedPrompts()
{
    g_prompts = m_previous;
}

QString ResultsFileFilter()
{
    return QStringLiteral("Optimization Results Files (*.ors);;All Files (*)");
}

QWidget* ActiveWindow()
{
    return QApplication::activeWindow();
}

} // namespace vantix
