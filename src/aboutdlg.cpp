#include "aboutdlg.h"

#include "GdiPlusBitmap.h"
#include "Prompts.h"
#include "VersionInfo.h"
#include "diagnostics/snagwise.h"

#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QString::number(IDD));
    setWindowTitle(QStringLiteral("About"));
    setModal(true);

    auto* group = new QGroupBox(this);
    auto* icon = new QLabel(group);
    icon->setObjectName(QStringLiteral("128"));
    icon->setPixmap(QPixmap::fromImage(LoadGroupIcon(128, QSize(48, 48))));
    auto* name = new QLabel(QStringLiteral("Vantix"), group);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    name->setFont(big);
    auto* versionCaption = new QLabel(QStringLiteral("Product version: "), group);
    m_version = new QLabel(QStringLiteral("version string"), group);
    m_version->setObjectName(QString::number(IDC_VERSION));
    m_version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_copyright = new QLabel(QStringLiteral("Copyright string"), group);
    m_copyright->setObjectName(QString::number(IDC_COPYRIGHT));

    auto* head = new QHBoxLayout;
    head->addWidget(icon);
    head->addSpacing(12);
    head->addWidget(name, 1);
    auto* versionRow = new QHBoxLayout;
    versionRow->addWidget(versionCaption);
    versionRow->addWidget(m_version, 1);
    auto* inner = new QVBoxLayout(group);
    inner->addLayout(head);
    inner->addLayout(versionRow);
    inner->addWidget(m_copyright);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("1"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, [this] { done(1); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(group);
    outer->addWidget(line);
    outer->addLayout(buttons);
    setMinimumWidth(400);
}

void CAboutDlg::OnInitDialog()
{
    const VersionInfo info;
    std::wstring version;
    HRESULT hr = info.GetVersionString(&version, 0);
    if (hr != S_OK) {
        SW_ASSERT_HR(hr);
        version.clear();
    }
    std::wstring copyright;
    hr = info.GetVersionString(&copyright, 2);
    if (hr != S_OK) {
        SW_ASSERT_HR(hr);
        copyright.clear();
    }
    m_version->setText(QString::fromStdWString(version));
    m_copyright->setText(QString::fromStdWString(copyright));
}

QString CAboutDlg::VersionText() const
{
    return m_version->text();
}

QString CAboutDlg::CopyrightText() const
{
    return m_copyright->text();
}

void CAboutDlg::showEvent(QShowEvent* event)
{
    if (!m_bInitialised) {
        m_bInitialised = true;
        OnInitDialog();
        adjustSize();
        if (QWidget* p = parentWidget())
            move(p->mapToGlobal(p->rect().center()) - rect().center());
    }
    QDialog::showEvent(event);
}

int CAboutDlg::DoModal()
{
    // Escape rejects, which the prompt service answers as IDCANCEL.
    return vantix::Prompts().DoModal(*this);
}
