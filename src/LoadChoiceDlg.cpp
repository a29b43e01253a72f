#include "LoadChoiceDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace vantix {

CStudyDialog::CStudyDialog(const LoadChoiceRequest& request, QWidget* parent)
    : QDialog(parent), m_pList(new QListWidget(this))
{
    setWindowTitle(QStringLiteral("Choose a Study"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("\"%1\" holds several studies. Which one should be opened?").arg(QString::fromStdWString(request.file)),
        this));
    std::size_t largest = 0;
    for (std::size_t k = 0; k < request.studies.size(); ++k) {
        const std::uint32_t n = k < request.trials.size() ? request.trials[k] : 0;
        m_pList->addItem(QStringLiteral("%1  (%2 %3)")
                             .arg(QString::fromStdWString(request.studies[k]))
                             .arg(n)
                             .arg(n == 1 ? QStringLiteral("trial") : QStringLiteral("trials")));
        if (k < request.trials.size() && request.trials[k] > request.trials[largest])
            largest = k;
    }
    m_pList->setCurrentRow(int(largest));
    layout->addWidget(m_pList);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pList, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
}

std::size_t CStudyDialog::Study() const
{
    return std::size_t(std::max(0, m_pList->currentRow()));
}

CColumnRolesDialog::CColumnRolesDialog(const LoadChoiceRequest& request, QWidget* parent)
    : QDialog(parent), m_pTable(new QTableWidget(int(request.columns.size()), 2, this))
{
    setWindowTitle(QStringLiteral("Inputs and Functions"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Which columns of \"%1\" are inputs and which are functions? "
                                                "The roles proposed are a guess.")
                                     .arg(QString::fromStdWString(request.file)),
                                 this));
    m_pTable->setHorizontalHeaderLabels({QStringLiteral("Column"), QStringLiteral("Role")});
    m_pTable->verticalHeader()->hide();
    m_pTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int r = 0; r < m_pTable->rowCount(); ++r) {
        auto* name = new QTableWidgetItem(QString::fromStdWString(request.columns[std::size_t(r)]));
        name->setFlags(Qt::ItemIsEnabled);
        m_pTable->setItem(r, 0, name);
        auto* role = new QComboBox(m_pTable);
        role->addItems({QStringLiteral("Input"), QStringLiteral("Function"), QStringLiteral("Ignore")});
        const int guess = std::size_t(r) < request.roles.size() ? request.roles[std::size_t(r)] : kColumnIgnore;
        role->setCurrentIndex(std::clamp(guess, kColumnInput, kColumnIgnore));
        connect(role, &QComboBox::currentIndexChanged, this, [this] { UpdateOk(); });
        m_pTable->setCellWidget(r, 1, role);
    }
    layout->addWidget(m_pTable);
    m_pHint = new QLabel(this);
    layout->addWidget(m_pHint);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_pOk = buttons->button(QDialogButtonBox::Ok);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(420, 360);
    UpdateOk();
}

std::vector<int> CColumnRolesDialog::Roles() const
{
    std::vector<int> roles;
    for (int r = 0; r < m_pTable->rowCount(); ++r)
        roles.push_back(static_cast<QComboBox*>(m_pTable->cellWidget(r, 1))->currentIndex());
    return roles;
}

void CColumnRolesDialog::SetRole(int column, int role)
{
    if (column >= 0 && column < m_pTable->rowCount())
        static_cast<QComboBox*>(m_pTable->cellWidget(column, 1))->setCurrentIndex(role);
}

void CColumnRolesDialog::UpdateOk()
{
    const std::vector<int> roles = Roles();
    const auto inputs = std::count(roles.begin(), roles.end(), kColumnInput);
    const auto functions = std::count(roles.begin(), roles.end(), kColumnFunction);
    const bool ok = inputs >= 2 && functions >= 1;
    m_pOk->setEnabled(ok);
    m_pHint->setText(ok ? QString() : QStringLiteral("A chart needs at least two inputs and one function."));
}

} // namespace vantix
