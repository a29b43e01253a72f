#include "CustomEdit.h"

#include "ScaleHelper.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

int CustomDrawTextMargin()
{
    const auto spScale = DPIAware::ScaleHelper::GetInstance();
    return spScale->IsDpiMeasured() ? DPIAware::ScaleHelper::MulDiv(2, spScale->GetDpiX(), 96) : 2;
}

namespace {
constexpr int kArrow = 10; // height of the balloon's pointer
}

CBalloonTip::CBalloonTip(QWidget* pAnchor)
    : QFrame(pAnchor, Qt::ToolTip | Qt::FramelessWindowHint), m_pAnchor(pAnchor)
{
    setObjectName(QStringLiteral("balloon"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    auto* pIcon = new QLabel(this);
    const int edge = style()->pixelMetric(QStyle::PM_SmallIconSize);
    pIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(edge, edge));
    m_pTitle = new QLabel(this);
    m_pTitle->setObjectName(QStringLiteral("title"));
    QFont bold = m_pTitle->font();
    bold.setBold(true);
    m_pTitle->setFont(bold);
    m_pText = new QLabel(this);
    m_pText->setObjectName(QStringLiteral("text"));
    auto* pHead = new QHBoxLayout;
    pHead->addWidget(pIcon);
    pHead->addWidget(m_pTitle, 1);
    auto* pBox = new QVBoxLayout(this);
    pBox->setContentsMargins(10, 8 + kArrow, 12, 10);
    pBox->addLayout(pHead);
    pBox->addWidget(m_pText);
}

void CBalloonTip::Show(const QString& title, const QString& text)
{
    m_pTitle->setText(title);
    m_pText->setText(text);
    adjustSize();
    if (m_pAnchor) {
        // Below the anchor, pointing at its text.
        const QPoint at = m_pAnchor->mapToGlobal(QPoint(std::min(20, m_pAnchor->width() / 2), m_pAnchor->height()));
        move(at - QPoint(16, 0));
    }
    show();
    raise();
}

QString CBalloonTip::Title() const
{
    return m_pTitle->text();
}

QString CBalloonTip::Text() const
{
    return m_pText->text();
}

void CBalloonTip::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body = QRectF(rect()).adjusted(0.5, kArrow + 0.5, -0.5, -0.5);
    QPainterPath path;
    path.addRoundedRect(body, 6, 6);
    QPainterPath arrow;
    arrow.moveTo(12, kArrow + 1);
    arrow.lineTo(16, 0.5);
    arrow.lineTo(24, kArrow + 1);
    arrow.closeSubpath();
    path = path.united(arrow);
    p.setPen(palette().color(QPalette::ToolTipText));
    p.setBrush(palette().color(QPalette::ToolTipBase));
    p.drawPath(path);
}

CBaseCustomEdit::CBaseCustomEdit(QWidget* pParent) : CBaseCustomDraw<QLineEdit>(pParent)
{
    setObjectName(QStringLiteral("CustomCombo"));
    setAccessibleName(QStringLiteral("CustomCombo"));
    hide();
}

CBaseCustomEdit::~CBaseCustomEdit()
{
    delete m_pBalloon;
}

void CBaseCustomEdit::ShowBalloonTip(const QString& title, const QString& text)
{
    if (!m_pBalloon)
        m_pBalloon = new CBalloonTip(this);
    m_pBalloon->Show(title, text);
}

void CBaseCustomEdit::HideBalloonTip()
{
    if (m_pBalloon)
        m_pBalloon->hide();
}

CBalloonTip* CBaseCustomEdit::BalloonTip() const
{
    return m_pBalloon && m_pBalloon->isVisible() ? m_pBalloon.data() : nullptr;
}

bool CBaseCustomEdit::event(QEvent* pEvent)
{
    // Tab belongs to the editor, not to the dialog's focus chain.
    if (pEvent->type() == QEvent::KeyPress) {
        auto* pKey = static_cast<QKeyEvent*>(pEvent);
        if (pKey->key() == Qt::Key_Tab || pKey->key() == Qt::Key_Backtab) {
            keyPressEvent(pKey);
            return true;
        }
    }
    return CBaseCustomDraw<QLineEdit>::event(pEvent);
}

void CBaseCustomEdit::keyPressEvent(QKeyEvent* pEvent)
{
    HideBalloonTip();
    switch (pEvent->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        EndEdit();
        pEvent->accept();
        return;
    default:
        CBaseCustomDraw<QLineEdit>::keyPressEvent(pEvent);
    }
}

void CBaseCustomEdit::EndEdit()
{
    hide();
}

void CBaseCustomEdit::focusInEvent(QFocusEvent* pEvent)
{
    m_bFocused = true;
    CBaseCustomDraw<QLineEdit>::focusInEvent(pEvent);
}

void CBaseCustomEdit::focusOutEvent(QFocusEvent* pEvent)
{
    CBaseCustomDraw<QLineEdit>::focusOutEvent(pEvent);
    HideBalloonTip();
    // A popup (a menu) taking the focus for a moment does not end the edit.
    if (pEvent->reason() != Qt::PopupFocusReason)
        ReportKillFocus();
}

void CBaseCustomEdit::hideEvent(QHideEvent* pEvent)
{
    CBaseCustomDraw<QLineEdit>::hideEvent(pEvent);
    HideBalloonTip();
    // Hiding the focused editor ends the edit like a loss of focus.
    ReportKillFocus();
}

void CBaseCustomEdit::ReportKillFocus()
{
    if (!m_bFocused)
        return;
    m_bFocused = false;
    emit killFocus();
}
