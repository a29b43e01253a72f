#pragma once
// The value editor of the fixed-inputs list: number characters only (a sign
// and an exponent included), the
// arrow and page keys (and two small arrow buttons) step through the values
// the dialog allows, Enter, Tab, Space, "%" and "'" commit a typed number,
// Escape cancels. Text that is not a number is answered with a balloon tip.
// For an input with labels (categories, "(none)") letters are taken too: the
// text picks the label it is or the only label it begins, ignoring case.
#include "CustomEdit.h"
#include "IStaticInputChange.h"

#include <QString>

#include <optional>
#include <string>

class QToolButton;

// Numbers as the user writes them: the user's locale (the default locale,
// which is the system's unless a test sets another), up to 15 significant
// digits, no group separators.
QString NumberToText(double value);
std::optional<double> TextToNumber(const QString& text);

// A hold other than one value, as typed: "All" (any case), or a range of two
// numbers "LOW:HIGH" (also "LOW..HIGH").
struct HoldText {
    bool bAll = false;
    double low = 0.0;
    double high = 0.0;
};
std::optional<HoldText> TextToHold(const QString& text);
QString HoldToText(const HoldText& hold);

class CValuesEdit : public CBaseCustomEdit {
    Q_OBJECT
public:
    CValuesEdit(IStaticInputChange* pChange, QWidget* pParent);

    // Reads the editor's number (0.0 and false when it is not one).
    bool ParseValue(double& value) const;
    void ShowValue(double value);
    // The current value after a change: its label where it has one, else value.
    void ShowCurrent(double value);
    void ShowInputError();
    // A step through the allowed values (a scroll code).
    void Navigate(int code);
    // The most characters typing may leave in the editor. Like EM_LIMITTEXT it
    // binds the keyboard only: a value the program shows is never cut, so
    // Enter without typing commits exactly what was shown.
    void LimitText(int nChars) { m_nLimit = nChars; }
    int TextLimit() const { return m_nLimit; }

    const std::wstring& ErrorText() const { return m_strErrorText; }
    const std::wstring& ErrorTitle() const { return m_strErrorTitle; }
    QToolButton* UpButton() const { return m_pUp; }
    QToolButton* DownButton() const { return m_pDown; }

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    void OnChar(char32_t ch, QKeyEvent* pEvent);
    // Whether ch may be typed at the cursor: a number, its sign and exponent,
    // or a hold ("All", "LOW:HIGH").
    bool Accepts(char32_t ch) const;

    IStaticInputChange* m_pChange;
    std::wstring m_strErrorText;
    std::wstring m_strErrorTitle;
    QToolButton* m_pUp;
    QToolButton* m_pDown;
    int m_nLimit = 32767;
};
