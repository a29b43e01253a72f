#include "ConnectStudyDlg.h"

#include "Chart.h"
#include "VersionInfo.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QUrl>
#include <QVBoxLayout>

#include <memory>

namespace {

std::unique_ptr<QSettings> StudySettings()
{
    return OpenProgramSettings(L"\\Studies");
}

} // namespace

CConnectStudyDlg::CConnectStudyDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Connect to Study"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("Study &database:"), this);
    m_url = new QLineEdit(this);
    m_url->setObjectName(QString::number(IDC_URL));
    m_url->setPlaceholderText(QStringLiteral("postgresql://user@host:5432/optuna"));
    m_url->setMinimumWidth(420);
    label->setBuddy(m_url);
    auto* hint = new QLabel(QStringLiteral("postgresql://USER@HOST:PORT/DATABASE, mysql://USER@HOST:PORT/DATABASE "
                                           "(MariaDB, MySQL), sqlite:///relative/path.db or "
                                           "sqlite:////absolute/path.db. A password the server wants is asked for "
                                           "and never stored."),
                            this);
    hint->setWordWrap(true);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(label);
    layout->addWidget(m_url);
    layout->addWidget(hint);
    layout->addWidget(m_buttons);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_url, &QLineEdit::textChanged, this, [this] { UpdateOk(); });
    if (const auto settings = StudySettings())
        m_url->setText(settings->value(QStringLiteral("LastUrl")).toString());
    UpdateOk();
}

std::wstring CConnectStudyDlg::Url() const
{
    return m_url->text().trimmed().toStdWString();
}

void CConnectStudyDlg::UpdateOk()
{
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(IsStudyUrl(Url()));
}

void CConnectStudyDlg::Remember() const
{
    if (const auto settings = StudySettings())
        settings->setValue(QStringLiteral("LastUrl"), QString::fromStdWString(DisplayFileName(Url())));
}
