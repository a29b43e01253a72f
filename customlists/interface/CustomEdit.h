#pragma once
// In-place single-line editors of the column list. Enter, Escape and Tab end an
// edit by hiding the editor; editing then ends through the loss of focus.
#include "BaseCustomControl.h"

#include <QFrame>
#include <QLineEdit>
#include <QPointer>

class QLabel;

// A balloon with an error icon, a title and a text, pointing at a widget.
class CBalloonTip : public QFrame {
    Q_OBJECT
public:
    explicit CBalloonTip(QWidget* pAnchor);
    void Show(const QString& title, const QString& text);
    QString Title() const;
    QString Text() const;

protected:
    void paintEvent(QPaintEvent* pEvent) override;

private:
    QPointer<QWidget> m_pAnchor;
    QLabel* m_pTitle;
    QLabel* m_pText;
};

class CBaseCustomEdit : public CBaseCustomDraw<QLineEdit> {
    Q_OBJECT
public:
    explicit CBaseCustomEdit(QWidget* pParent);
    ~CBaseCustomEdit() override;

    // Balloon tip over the editor (EM_SHOWBALLOONTIP).
    void ShowBalloonTip(const QString& title, const QString& text);
    void HideBalloonTip();
    // The balloon while it is shown, else null.
    CBalloonTip* BalloonTip() const;

signals:
    // The editor lost the focus (or was hidden while it had it).
    void killFocus();

protected:
    bool event(QEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void focusInEvent(QFocusEvent* pEvent) override;
    void focusOutEvent(QFocusEvent* pEvent) override;
    void hideEvent(QHideEvent* pEvent) override;
    // Hides the editor; editing then ends through the loss of focus.
    void EndEdit();

private:
    void ReportKillFocus();

    bool m_bFocused = false;
    QPointer<CBalloonTip> m_pBalloon;
};

class CTextEdit : public CBaseCustomEdit {
    Q_OBJECT
public:
    using CBaseCustomEdit::CBaseCustomEdit;
};
