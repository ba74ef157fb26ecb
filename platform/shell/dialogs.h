// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Message boxes and the progress window of the system layer, behind a replaceable backend:
// Qt dialogs in the program, scripted answers in tests.
//
// An HWND handed to these functions is the QWidget* of a window (nullptr: the application).

#include "platform/types.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

class QObject;
class QWidget;

namespace platform {

// Buttons of a message box.
constexpr UINT MB_OK = 0x00;
constexpr UINT MB_OKCANCEL = 0x01;
constexpr UINT MB_YESNOCANCEL = 0x03;
constexpr UINT MB_YESNO = 0x04;
constexpr UINT MB_TYPEMASK = 0x0F;
// Icons of a message box.
constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_ICONHAND = MB_ICONERROR;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONWARNING = 0x30;
constexpr UINT MB_ICONEXCLAMATION = MB_ICONWARNING;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_ICONASTERISK = MB_ICONINFORMATION;
constexpr UINT MB_ICONMASK = 0xF0;

// Answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

/// The widget behind a window handle.
inline QWidget* widgetOf(HWND hwnd)
{
    return static_cast<QWidget*>(hwnd);
}
/// The window handle of a widget.
inline HWND handleOf(QWidget* widget)
{
    return static_cast<HWND>(widget);
}
/// The window an owning object stands for: itself when it is a window, else none (the application).
HWND windowOfOwner(QObject* owner);

/// The seam behind every dialog of the system layer.
class DialogBackend {
public:
    virtual ~DialogBackend() = default;

    /// Shows a modal message box; returns IDOK, IDCANCEL, IDYES or IDNO.
    virtual int messageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) = 0;

    /// Opens the progress window of a long operation (value runs from 0 to total).
    virtual void progressBegin(HWND owner, const std::string& title, long long total) = 0;
    /// Moves the progress on and lets the window react (its Cancel button) .
    virtual void progressUpdate(long long value, const std::string& text) = 0;
    /// True once the user pressed Cancel.
    virtual bool progressCancelled() = 0;
    /// Closes the progress window.
    virtual void progressEnd() = 0;
    /// Lets the user pick a folder; its drive path, empty when cancelled.
    virtual std::string chooseFolder(HWND owner, const std::string& title) = 0;
    /// Lets the user pick an existing file matching `filter` (as Qt writes one: "Waves (*.wav)"); its
    /// drive path, empty when cancelled.
    virtual std::string chooseFile(HWND owner, const std::string& title, const std::string& filter) = 0;
};

/// Replaces the backend (nullptr: the Qt dialogs). Returns the previous one.
std::shared_ptr<DialogBackend> setDialogBackend(std::shared_ptr<DialogBackend> backend);
/// The backend in use.
DialogBackend& dialogBackend();

/// A message box through the backend. type is a button set ORed with an icon.
int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type);

/// A folder picker through the backend: the chosen folder's drive path, empty when cancelled.
std::string ChooseFolder(HWND owner, const std::string& title);
/// A file picker through the backend: the chosen file's drive path, empty when cancelled.
std::string ChooseFile(HWND owner, const std::string& title, const std::string& filter);

/// The application's standard error box: titled with the application's name, an error icon and OK.
void ShowErrorBox(HWND owner, const std::string& text);

/// The dialogs of the program: QMessageBox and QProgressDialog.
class QtDialogBackend : public DialogBackend {
public:
    QtDialogBackend();
    ~QtDialogBackend() override;
    int messageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override;
    void progressBegin(HWND owner, const std::string& title, long long total) override;
    void progressUpdate(long long value, const std::string& text) override;
    bool progressCancelled() override;
    void progressEnd() override;
    std::string chooseFolder(HWND owner, const std::string& title) override;
    std::string chooseFile(HWND owner, const std::string& title, const std::string& filter) override;

private:
    struct Progress;
    std::unique_ptr<Progress> progress_;
};

/// Answers dialogs from a queue and records every prompt, for tests.
/// With an empty queue a message box gets its safe answer: OK for MB_OK, else Cancel or No.
class ScriptedDialogs : public DialogBackend {
public:
    struct Prompt {
        std::string text;
        std::string caption;
        UINT type = 0;
        HWND owner = nullptr;
        int answer = 0;
    };
    struct ProgressRun {
        std::string title;
        long long total = 0;
        int updates = 0;
        std::vector<std::string> texts; ///< distinct texts, in order
        bool ended = false;
    };

    /// Queues the answer to the next message box.
    void answer(int id) { answers_.push_back(id); }
    /// Queues the folder the next folder picker returns (empty: Cancel, as with an empty queue).
    void answerFolder(const std::string& drivePath) { folders_.push_back(drivePath); }
    /// Queues the file the next file picker returns (empty: Cancel, as with an empty queue).
    void answerFile(const std::string& drivePath) { files_.push_back(drivePath); }
    /// Presses Cancel in the progress window after that many updates (-1: never).
    void cancelProgressAfter(int updates) { cancelAfter_ = updates; }

    const std::vector<Prompt>& prompts() const { return prompts_; }
    const std::vector<ProgressRun>& progressRuns() const { return runs_; }
    std::size_t pendingAnswers() const { return answers_.size(); }

    int messageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override;
    void progressBegin(HWND owner, const std::string& title, long long total) override;
    void progressUpdate(long long value, const std::string& text) override;
    bool progressCancelled() override;
    void progressEnd() override;
    std::string chooseFolder(HWND owner, const std::string& title) override;
    std::string chooseFile(HWND owner, const std::string& title, const std::string& filter) override;

private:
    std::deque<int> answers_;
    std::deque<std::string> folders_;
    std::deque<std::string> files_;
    std::vector<Prompt> prompts_;
    std::vector<ProgressRun> runs_;
    int cancelAfter_ = -1;
    bool cancelled_ = false;
};

/// Installs a ScriptedDialogs backend for its lifetime (tests).
class ScopedScriptedDialogs {
public:
    ScopedScriptedDialogs();
    ~ScopedScriptedDialogs();
    ScopedScriptedDialogs(const ScopedScriptedDialogs&) = delete;
    ScopedScriptedDialogs& operator=(const ScopedScriptedDialogs&) = delete;
    ScriptedDialogs* operator->() const { return dialogs_.get(); }
    ScriptedDialogs& operator*() const { return *dialogs_; }

private:
    std::shared_ptr<ScriptedDialogs> dialogs_;
    std::shared_ptr<DialogBackend> previous_;
};

} // namespace platform
