#pragma once
// Answers the program's prompts from a script and records what was asked, so a
// test can drive a whole flow (open, choose, save, close) without a person.
#include "Prompts.h"

#include <QDialog>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vantix::test {

class ScriptedPrompts final : public IPrompts {
public:
    struct Message {
        std::wstring text;
        std::wstring caption;
        unsigned style;
    };

    // Queued answers, taken in order. An unscripted message box answers IDOK
    // (IDCANCEL for Yes/No/Cancel), an unscripted file dialog is cancelled and
    // an unscripted modal dialog is cancelled; each counts as unexpected.
    std::deque<int> messageAnswers;
    std::deque<std::optional<std::wstring>> fileAnswers;
    std::deque<std::function<int(QDialog&)>> dialogAnswers;

    // Study and column-role answers; nothing cancels. Unscripted ones cancel.
    std::deque<std::optional<std::size_t>> studyAnswers;
    std::deque<std::optional<std::vector<int>>> roleAnswers;
    std::vector<LoadChoiceRequest> loadChoices; // what was asked
    std::deque<std::optional<std::wstring>> passwordAnswers;
    std::vector<std::wstring> passwordRequests;

    std::vector<Message> messages;
    std::vector<FileDialogRequest> fileDialogs;
    std::vector<QString> dialogs; // window titles of the modal dialogs run
    int unexpected = 0;

    ScopedPrompts install() { return ScopedPrompts(*this); }

    int MessageBox(QWidget*, const std::wstring& text, const std::wstring& caption, unsigned style) override
    {
        messages.push_back({text, caption, style});
        if (messageAnswers.empty()) {
            ++unexpected;
            return (style & 0x0F) == MB_YESNOCANCEL ? IDCANCEL : IDOK;
        }
        const int a = messageAnswers.front();
        messageAnswers.pop_front();
        return a;
    }

    std::optional<std::wstring> FileDialog(QWidget*, const FileDialogRequest& request) override
    {
        fileDialogs.push_back(request);
        if (fileAnswers.empty()) {
            ++unexpected;
            return std::nullopt;
        }
        auto a = fileAnswers.front();
        fileAnswers.pop_front();
        return a;
    }

    int DoModal(QDialog& dialog) override
    {
        dialogs.push_back(dialog.windowTitle());
        if (dialogAnswers.empty()) {
            ++unexpected;
            return IDCANCEL;
        }
        auto handler = std::move(dialogAnswers.front());
        dialogAnswers.pop_front();
        // Shown without a loop: handlers see the initialised controls.
        dialog.show();
        const int r = handler(dialog);
        dialog.hide();
        return r;
    }

    std::optional<std::size_t> ChooseStudy(QWidget*, const LoadChoiceRequest& request) override
    {
        return Next(studyAnswers, request);
    }
    std::optional<std::vector<int>> ChooseColumnRoles(QWidget*, const LoadChoiceRequest& request) override
    {
        return Next(roleAnswers, request);
    }
    std::optional<std::wstring> AskPassword(QWidget*, const std::wstring& text) override
    {
        passwordRequests.push_back(text);
        if (passwordAnswers.empty()) {
            ++unexpected;
            return std::nullopt;
        }
        auto a = passwordAnswers.front();
        passwordAnswers.pop_front();
        return a;
    }

private:
    template <class T>
    std::optional<T> Next(std::deque<std::optional<T>>& answers, const LoadChoiceRequest& request)
    {
        loadChoices.push_back(request);
        if (answers.empty()) {
            ++unexpected;
            return std::nullopt;
        }
        std::optional<T> a;
        a.swap(answers.front());
        answers.pop_front();
        return a;
    }
};

} // namespace vantix::test
