// The real prompts (what users see) answered from a timer, as a person would:
// the answer each returns, and that a cancelled prompt answers nothing. (The
// file dialog is left out: inside the whole suite its exec does not return to
// the timer's answer, alone it does.)
#include "Prompts.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <memory>

using namespace vantix;

namespace {

// Runs answer on the first shown window of type T once it is up. A window
// that never comes, or one of another type, fails the test and is closed
// after a while instead of hanging it.
template <class T>
void AnswerWhenShown(std::function<void(T*)> answer)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    auto ticks = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, answer, ticks] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (T* t = qobject_cast<T*>(w); t && t->isVisible() && t->isModal()) {
                timer->stop();
                timer->deleteLater();
                answer(t);
                return;
            }
        if (++*ticks > 500) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no window of the expected kind came up";
            if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                d->reject();
        }
    });
    timer->start();
}

} // namespace

TEST(QtPrompts, MessageBoxesAnswerWithTheButtonPressed)
{
    const struct {
        unsigned style;
        QMessageBox::StandardButton press;
        int answer;
    } cases[] = {
        {MB_YESNOCANCEL | MB_ICONQUESTION, QMessageBox::Yes, IDYES},
        {MB_YESNOCANCEL | MB_ICONQUESTION, QMessageBox::Cancel, IDCANCEL},
        {MB_YESNO, QMessageBox::No, IDNO},
        {MB_OKCANCEL | MB_ICONHAND, QMessageBox::Cancel, IDCANCEL},
        {MB_OK | MB_ICONINFORMATION, QMessageBox::Ok, IDOK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        QString shown;
        AnswerWhenShown<QMessageBox>([&](QMessageBox* box) {
            shown = box->windowTitle() + QLatin1Char('|') + box->text();
            box->button(c.press)->click();
        });
        EXPECT_EQ(Prompts().MessageBox(nullptr, L"the text", L"the caption", c.style), c.answer);
        EXPECT_EQ(shown, QStringLiteral("the caption|the text"));
    }
}

TEST(QtPrompts, PasswordAndModalDialogs)
{
    // The password is typed hidden, and given back as typed.
    AnswerWhenShown<QInputDialog>([](QInputDialog* d) {
        auto* edit = d->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
        edit->setText(QStringLiteral("pa ss"));
        d->accept();
    });
    EXPECT_EQ(Prompts().AskPassword(nullptr, L"The server wants a password."), L"pa ss");
    AnswerWhenShown<QInputDialog>([](QInputDialog* d) { d->reject(); });
    EXPECT_EQ(Prompts().AskPassword(nullptr, L"again"), std::nullopt);

    for (const auto& [accept, answer] : {std::pair{true, IDOK}, {false, IDCANCEL}}) {
        QDialog dialog;
        dialog.setObjectName(QStringLiteral("ours"));
        AnswerWhenShown<QDialog>([accept = accept](QDialog* d) { accept ? d->accept() : d->reject(); });
        EXPECT_EQ(Prompts().DoModal(dialog), answer);
    }
}
