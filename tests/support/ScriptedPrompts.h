#pragma once
// Answers the program's prompts from a script and records what was asked, so a
// test can drive a whole flow (open, choose, save, close) without a person.
#include "Prompts.h"

#include <QDialog>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantix::test {

class ScriptedPrompts final : public IPrompts {
public:
    struct Message {
        std::wstring text;
        std::wstring caption;
        unsigned style;
    };

    // Queued answers, taken in order. Each prompt without one counts as
    // unexpected and cancels: a message box answers IDOK (IDCANCEL for
    // Yes/No/Cancel), every other prompt gives nothing.
    std::deque<int> messageAnswers;
    std::deque<std::optional<std::wstring>> fileAnswers;
    std::deque<std::function<int(QDialog&)>> dialogAnswers;
    std::deque<std::optional<std::wstring>> passwordAnswers;

    // What was asked.
    std::vector<Message> messages;
    std::vector<FileDialogRequest> fileDialogs;
    std::vector<QString> dialogs; // window titles of the modal dialogs run
    std::vector<std::wstring> passwordRequests;
    int unexpected = 0;

    ScopedPrompts install() { return ScopedPrompts(*this); }

    int MessageBox(QWidget*, const std::wstring& text, const std::wstring& caption, unsigned style) override
    {
        messages.push_back({text, caption, style});
        return Take(messageAnswers, (style & 0x0F) == MB_YESNOCANCEL ? int(IDCANCEL) : int(IDOK));
    }
    std::optional<std::wstring> FileDialog(QWidget*, const FileDialogRequest& request) override
    {
        fileDialogs.push_back(request);
        return Take(fileAnswers, {});
    }
    int DoModal(QDialog& dialog) override
    {
        dialogs.push_back(dialog.windowTitle());
        const auto handler = Take(dialogAnswers, {});
        if (!handler)
            return IDCANCEL;
        // Shown without a loop: handlers see the initialised controls.
        dialog.show();
        const int r = handler(dialog);
        dialog.hide();
        return r;
    }
    // No flow here asks which study or which column roles: asking cancels.
    std::optional<std::size_t> ChooseStudy(QWidget*, const LoadChoiceRequest&) override
    {
        ++unexpected;
        return {};
    }
    std::optional<std::vector<int>> ChooseColumnRoles(QWidget*, const LoadChoiceRequest&) override
    {
        ++unexpected;
        return {};
    }
    std::optional<std::wstring> AskPassword(QWidget*, const std::wstring& text) override
    {
        passwordRequests.push_back(text);
        return Take(passwordAnswers, {});
    }

private:
    template <class T>
    T Take(std::deque<T>& answers, T unscripted)
    {
        if (answers.empty()) {
            ++unexpected;
            return unscripted;
        }
        T a{};
        std::swap(a, answers.front()); // not a move: GCC 12 then warns of an uninitialised optional
        answers.pop_front();
        return a;
    }
};

} // namespace vantix::test
