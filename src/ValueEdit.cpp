#include "ValueEdit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QStyle>
#include <QToolButton>

#include <algorithm>
#include <tuple>

QString NumberToText(double value)
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    return locale.toString(value, 'g', 15);
}

std::optional<double> TextToNumber(const QString& text)
{
    bool ok = false;
    const double value = QLocale().toDouble(text.trimmed(), &ok);
    if (!ok)
        return std::nullopt;
    return value;
}

std::optional<HoldText> TextToHold(const QString& text)
{
    const QString t = text.trimmed();
    if (t.compare(QStringLiteral("all"), Qt::CaseInsensitive) == 0)
        return HoldText{true, 0.0, 0.0};
    qsizetype at = t.indexOf(QLatin1Char(':'));
    qsizetype width = 1;
    if (at < 0) {
        at = t.indexOf(QStringLiteral(".."));
        width = 2;
    }
    if (at <= 0)
        return std::nullopt;
    const auto low = TextToNumber(t.left(at));
    const auto high = TextToNumber(t.mid(at + width));
    if (!low || !high)
        return std::nullopt;
    return HoldText{false, std::min(*low, *high), std::max(*low, *high)};
}

QString HoldToText(const HoldText& hold)
{
    return hold.bAll ? QStringLiteral("All") : NumberToText(hold.low) + QStringLiteral(" : ") + NumberToText(hold.high);
}

CValuesEdit::CValuesEdit(IStaticInputChange* pChange, QWidget* pParent)
    : CBaseCustomEdit(pParent),
      m_pChange(pChange),
      // The system's localized texts for these messages do not exist here.
      m_strErrorText(L"Please enter a number."),
      m_strErrorTitle(L"Invalid property value"),
      m_pUp(new QToolButton(this)),
      m_pDown(new QToolButton(this))
{
    for (auto [pButton, code, arrow, name] :
         {std::tuple{m_pUp, SB_LINEUP, Qt::UpArrow, "up"}, std::tuple{m_pDown, SB_LINEDOWN, Qt::DownArrow, "down"}}) {
        pButton->setObjectName(QString::fromLatin1(name));
        pButton->setArrowType(arrow);
        pButton->setAutoRaise(true);
        pButton->setAutoRepeat(true);
        // Clicking an arrow must not take the focus (that would end the edit).
        pButton->setFocusPolicy(Qt::NoFocus);
        pButton->setCursor(Qt::ArrowCursor);
        const int c = code;
        connect(pButton, &QToolButton::clicked, this, [this, c] { Navigate(c); });
    }
}

void CValuesEdit::resizeEvent(QResizeEvent* pEvent)
{
    CBaseCustomEdit::resizeEvent(pEvent);
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const int inner = std::max(2, height() - 2 * frame);
    const int width = std::max(12, fontMetrics().height() * 3 / 4);
    const int x = this->width() - frame - width;
    m_pUp->setGeometry(x, frame, width, inner / 2);
    m_pDown->setGeometry(x, frame + inner / 2, width, inner - inner / 2);
    setTextMargins(0, 0, width, 0);
}

bool CValuesEdit::ParseValue(double& value) const
{
    const std::optional<double> parsed = TextToNumber(text());
    value = parsed.value_or(0.0);
    return parsed.has_value();
}

void CValuesEdit::ShowValue(double value)
{
    setText(NumberToText(value));
    selectAll();
}

void CValuesEdit::ShowInputError()
{
    if (isVisible())
        ShowBalloonTip(QString::fromStdWString(m_strErrorTitle), QString::fromStdWString(m_strErrorText));
    else
        QApplication::beep();
}

void CValuesEdit::Navigate(int code)
{
    double value = 0.0;
    ParseValue(value);
    if (m_pChange && m_pChange->OnValueChange(code, &value))
        ShowCurrent(value);
}

void CValuesEdit::ShowCurrent(double value)
{
    const std::wstring label = m_pChange ? m_pChange->CurrentLabel() : std::wstring();
    if (label.empty()) {
        ShowValue(value);
        return;
    }
    setText(QString::fromStdWString(label));
    selectAll();
}

void CValuesEdit::keyPressEvent(QKeyEvent* pEvent)
{
    HideBalloonTip();
    switch (pEvent->key()) {
    case Qt::Key_Up:
        Navigate(SB_LINEUP);
        return;
    case Qt::Key_Down:
        Navigate(SB_LINEDOWN);
        return;
    case Qt::Key_PageUp:
        Navigate(SB_PAGEUP);
        return;
    case Qt::Key_PageDown:
        Navigate(SB_PAGEDOWN);
        return;
    case Qt::Key_Home:
        Navigate(SB_TOP);
        return;
    case Qt::Key_End:
        Navigate(SB_BOTTOM);
        return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        OnChar(U'\t', pEvent);
        return;
    default:
        break;
    }
    // Shortcuts (copy, paste, undo) and keys without a character go to the edit.
    const QString text = pEvent->text();
    if ((pEvent->modifiers() & Qt::ControlModifier) || text.isEmpty()) {
        QLineEdit::keyPressEvent(pEvent);
        return;
    }
    OnChar(text.toUcs4().value(0), pEvent);
}

void CValuesEdit::OnChar(char32_t ch, QKeyEvent* pEvent)
{
    pEvent->accept();
    switch (ch) {
    case U'\t':
    case U'\r':
    case U' ':
    case U'%':
    case U'\'': {
        // "All" holds at every value even where a label begins so; other
        // text naming a label picks that label.
        const std::optional<HoldText> all = TextToHold(text());
        if (!(all && all->bAll) && m_pChange && m_pChange->AcceptsLabels() &&
            m_pChange->OnLabelChange(text().toStdWString())) {
            ShowCurrent(0.0);
            EndEdit();
            return;
        }
        double value = 0.0;
        if (!ParseValue(value)) {
            // Not one number: "All" or a range, else refused.
            const std::optional<HoldText> hold = TextToHold(text());
            if (!hold || !m_pChange || !m_pChange->OnHoldChange(hold->bAll, hold->low, hold->high)) {
                ShowInputError();
                return;
            }
            EndEdit();
            return;
        }
        if (m_pChange && m_pChange->OnValueChange(-1, &value))
            ShowCurrent(value);
        EndEdit();
        return;
    }
    case U'\x1b':
        if (m_pChange)
            m_pChange->OnCancelChange();
        EndEdit();
        return;
    default:
        break;
    }
    // Backspace, and Delete (X11 gives it the text DEL), edit; they add nothing.
    if (ch == U'\b' || ch == U'\x7f') {
        QLineEdit::keyPressEvent(pEvent);
        return;
    }
    if (!Accepts(ch))
        return; // every other character is swallowed
    if (text().size() - selectedText().size() >= m_nLimit)
        return;
    QLineEdit::keyPressEvent(pEvent);
}

bool CValuesEdit::Accepts(char32_t ch) const
{
    // A labelled input's labels may hold any character.
    if (m_pChange && m_pChange->AcceptsLabels() && QChar::isPrint(ch))
        return true;
    // Digits and separators; the letters of "All" and ':' for holds.
    if ((ch >= U'0' && ch <= U'9') || ch == U',' || ch == U'.' || ch == U':' || ch == U'a' || ch == U'A' ||
        ch == U'l' || ch == U'L')
        return true;
    // What the typed character would follow, the selection being replaced.
    const int at = hasSelectedText() ? selectionStart() : cursorPosition();
    const QChar before = at > 0 ? text().at(at - 1) : QChar();
    const bool afterExponent = before == QLatin1Char('e') || before == QLatin1Char('E');
    // A sign leads a number (also the high end of a range) or its exponent.
    if (ch == U'-' || ch == U'+')
        return at == 0 || afterExponent || before == QLatin1Char(':') || before == QLatin1Char(' ');
    // An exponent follows a digit.
    if (ch == U'e' || ch == U'E')
        return before.isDigit() || before == QLatin1Char('.');
    return false;
}
