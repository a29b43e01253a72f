// The real prompts (what users see) answered from a timer, as a person would:
// the answer each returns, and that a cancelled prompt answers nothing.
#include "Prompts.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

using namespace vantix;

namespace {

// Runs answer on the modal window once it is up.
void AnswerWhenShown(std::function<void(QWidget*)> answer)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            answer(w);
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
        {MB_YESNOCANCEL | MB_ICONQUESTION, QMessageBox::No, IDNO},
        {MB_YESNOCANCEL | MB_ICONQUESTION, QMessageBox::Cancel, IDCANCEL},
        {MB_YESNO, QMessageBox::No, IDNO},
        {MB_OKCANCEL | MB_ICONHAND, QMessageBox::Cancel, IDCANCEL},
        {MB_OK | MB_ICONINFORMATION, QMessageBox::Ok, IDOK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        QString shown;
        AnswerWhenShown([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr);
            shown = box->windowTitle() + QLatin1Char('|') + box->text();
            box->button(c.press)->click();
        });
        EXPECT_EQ(Prompts().MessageBox(nullptr, L"the text", L"the caption", c.style), c.answer);
        EXPECT_EQ(shown, QStringLiteral("the caption|the text"));
    }
}

TEST(QtPrompts, FileDialogPasswordAndModalDialogs)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("chosen.ors"));
    AnswerWhenShown([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Save it"));
        dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    FileDialogRequest save;
    save.mode = FileDialogRequest::Mode::Save;
    save.title = L"Save it";
    save.folder = dir.path().toStdWString();
    EXPECT_EQ(Prompts().FileDialog(nullptr, save), path.toStdWString());
    AnswerWhenShown([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
    EXPECT_EQ(Prompts().FileDialog(nullptr, save), std::nullopt);

    // The password is typed hidden, and given back as typed.
    AnswerWhenShown([](QWidget* w) {
        auto* edit = w->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
        edit->setText(QStringLiteral("pa ss"));
        qobject_cast<QDialog*>(w)->accept();
    });
    EXPECT_EQ(Prompts().AskPassword(nullptr, L"The server wants a password."), L"pa ss");
    AnswerWhenShown([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
    EXPECT_EQ(Prompts().AskPassword(nullptr, L"again"), std::nullopt);

    for (const auto& [accept, answer] : {std::pair{true, IDOK}, {false, IDCANCEL}}) {
        QDialog dialog;
        AnswerWhenShown([accept = accept](QWidget* w) {
            accept ? qobject_cast<QDialog*>(w)->accept() : qobject_cast<QDialog*>(w)->reject();
        });
        EXPECT_EQ(Prompts().DoModal(dialog), answer);
    }
}
