#include "ConnectStudyDlg.h"

#include "Chart.h"
#include "ServerChoice.h"
#include "VersionInfo.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
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
    auto* budgetLabel = new QLabel(QStringLiteral("&Memory for a study (MiB, 0: a quarter of this computer's):"), this);
    m_budget = new QSpinBox(this);
    m_budget->setObjectName(QString::number(IDC_BUDGET));
    m_budget->setRange(0, 16 * 1024 * 1024);
    m_budget->setValue(static_cast<int>(std::min<std::uint64_t>(StudyBudget() >> 20, 16 * 1024 * 1024)));
    m_budget->setToolTip(QStringLiteral("A study that needs more is not read whole: its server selects each slice."));
    budgetLabel->setBuddy(m_budget);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(label);
    layout->addWidget(m_url);
    layout->addWidget(hint);
    layout->addWidget(budgetLabel);
    layout->addWidget(m_budget);
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
    // A budget below a MiB (set elsewhere) stays unless the field changed it.
    if (static_cast<std::uint64_t>(m_budget->value()) != StudyBudget() >> 20)
        SetStudyBudget(static_cast<std::uint64_t>(m_budget->value()) << 20);
}
