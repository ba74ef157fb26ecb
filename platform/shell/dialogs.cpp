// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/dialogs.h"

#include "platform/utf8.h"

#include "platform/files/nativepath.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>

namespace platform {

namespace {

std::shared_ptr<DialogBackend>& currentBackend()
{
    static std::shared_ptr<DialogBackend> backend;
    return backend;
}

// A lone carriage return breaks a message box line, as callers of the system's box expect.
QString messageText(const std::string& bytes)
{
    QString text = displayText(bytes);
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    return text;
}

QMessageBox::Icon iconOf(UINT type)
{
    switch (type & MB_ICONMASK) {
    case MB_ICONERROR:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONWARNING:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// The answer a box gives when nobody is there to choose: the least harmful one.
int safeAnswer(UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
        return IDCANCEL;
    case MB_YESNO:
        return IDNO;
    default:
        return IDOK;
    }
}

} // namespace

std::shared_ptr<DialogBackend> setDialogBackend(std::shared_ptr<DialogBackend> backend)
{
    auto previous = currentBackend();
    currentBackend() = std::move(backend);
    return previous;
}

DialogBackend& dialogBackend()
{
    if (!currentBackend())
        currentBackend() = std::make_shared<QtDialogBackend>();
    return *currentBackend();
}

std::string ChooseFolder(HWND owner, const std::string& title)
{
    return dialogBackend().chooseFolder(owner, title);
}

std::string ChooseFile(HWND owner, const std::string& title, const std::string& filter)
{
    return dialogBackend().chooseFile(owner, title, filter);
}

int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type)
{
    return dialogBackend().messageBox(owner, text, caption, type);
}

HWND windowOfOwner(QObject* owner)
{
    auto* widget = qobject_cast<QWidget*>(owner);
    return widget && widget->isWindow() ? handleOf(widget) : nullptr;
}

void ShowErrorBox(HWND owner, const std::string& text)
{
    QString title = QApplication::applicationDisplayName();
    if (title.isEmpty())
        title = QApplication::applicationName();
    MessageBox(owner, text, title.toStdString(), MB_OK | MB_ICONERROR);
}

// --- Qt dialogs ---

struct QtDialogBackend::Progress {
    QPointer<QProgressDialog> dialog;
    long long total = 0;
    bool cancelled = false;
};

QtDialogBackend::QtDialogBackend() = default;

QtDialogBackend::~QtDialogBackend()
{
    progressEnd();
}

int QtDialogBackend::messageBox(HWND owner, const std::string& text, const std::string& caption, UINT type)
{
    QMessageBox box(iconOf(type), displayText(caption), messageText(text), QMessageBox::NoButton, widgetOf(owner));
    QMessageBox::StandardButton escape = QMessageBox::Ok;
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        escape = QMessageBox::Cancel;
        break;
    case MB_YESNOCANCEL:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        escape = QMessageBox::Cancel;
        break;
    case MB_YESNO:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        escape = QMessageBox::No;
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    box.setEscapeButton(escape);
    switch (box.exec()) {
    case QMessageBox::Ok:
        return IDOK;
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    case QMessageBox::Cancel:
        return IDCANCEL;
    default:
        return safeAnswer(type);
    }
}

void QtDialogBackend::progressBegin(HWND owner, const std::string& title, long long total)
{
    progressEnd();
    progress_ = std::make_unique<Progress>();
    progress_->total = total > 0 ? total : 1;
    auto* dialog = new QProgressDialog(widgetOf(owner));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The operation runs on this thread; nothing else of the program may run meanwhile.
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setWindowTitle(displayText(title));
    dialog->setMinimumDuration(0);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setRange(0, 1000);
    dialog->setValue(0);
    progress_->dialog = dialog;
    dialog->show();
    QApplication::processEvents();
}

void QtDialogBackend::progressUpdate(long long value, const std::string& text)
{
    if (!progress_ || !progress_->dialog)
        return;
    QProgressDialog* dialog = progress_->dialog;
    const QString label = displayText(text);
    if (dialog->labelText() != label)
        dialog->setLabelText(label);
    const long long total = progress_->total;
    dialog->setValue(static_cast<int>(std::min(total, std::max(0LL, value)) * 1000 / total));
    QApplication::processEvents();
    if (progress_ && progress_->dialog && progress_->dialog->wasCanceled())
        progress_->cancelled = true;
}

bool QtDialogBackend::progressCancelled()
{
    if (!progress_)
        return false;
    if (progress_->dialog && progress_->dialog->wasCanceled())
        progress_->cancelled = true;
    return progress_->cancelled;
}

void QtDialogBackend::progressEnd()
{
    if (!progress_)
        return;
    if (progress_->dialog)
        progress_->dialog->close();
    progress_.reset();
}

std::string QtDialogBackend::chooseFolder(HWND owner, const std::string& title)
{
    const QString chosen = QFileDialog::getExistingDirectory(widgetOf(owner), displayText(title));
    if (chosen.isEmpty())
        return {};
    const QByteArray native = QFile::encodeName(chosen);
    return drivePathOf(std::string(native.constData(), size_t(native.size())));
}

std::string QtDialogBackend::chooseFile(HWND owner, const std::string& title, const std::string& filter)
{
    const QString chosen =
        QFileDialog::getOpenFileName(widgetOf(owner), displayText(title), QString(), QString::fromStdString(filter));
    if (chosen.isEmpty())
        return {};
    const QByteArray native = QFile::encodeName(chosen);
    return drivePathOf(std::string(native.constData(), size_t(native.size())));
}

// --- scripted dialogs ---

std::string ScriptedDialogs::chooseFile(HWND owner, const std::string& title, const std::string&)
{
    std::string file;
    if (!files_.empty()) {
        file = files_.front();
        files_.pop_front();
    }
    prompts_.push_back(Prompt{file, title, 0, owner, file.empty() ? IDCANCEL : IDOK});
    return file;
}

std::string ScriptedDialogs::chooseFolder(HWND owner, const std::string& title)
{
    std::string folder;
    if (!folders_.empty()) {
        folder = folders_.front();
        folders_.pop_front();
    }
    prompts_.push_back(Prompt{folder, title, 0, owner, folder.empty() ? IDCANCEL : IDOK});
    return folder;
}

int ScriptedDialogs::messageBox(HWND owner, const std::string& text, const std::string& caption, UINT type)
{
    int id = safeAnswer(type);
    if (!answers_.empty()) {
        id = answers_.front();
        answers_.pop_front();
    }
    prompts_.push_back(Prompt{text, caption, type, owner, id});
    return id;
}

void ScriptedDialogs::progressBegin(HWND, const std::string& title, long long total)
{
    cancelled_ = false;
    runs_.push_back(ProgressRun{title, total, 0, {}, false});
}

void ScriptedDialogs::progressUpdate(long long, const std::string& text)
{
    if (runs_.empty())
        return;
    ProgressRun& run = runs_.back();
    ++run.updates;
    if (run.texts.empty() || run.texts.back() != text)
        run.texts.push_back(text);
    if (cancelAfter_ >= 0 && run.updates >= cancelAfter_)
        cancelled_ = true;
}

bool ScriptedDialogs::progressCancelled()
{
    return cancelled_;
}

void ScriptedDialogs::progressEnd()
{
    if (!runs_.empty())
        runs_.back().ended = true;
}

ScopedScriptedDialogs::ScopedScriptedDialogs() : dialogs_(std::make_shared<ScriptedDialogs>())
{
    previous_ = setDialogBackend(dialogs_);
}

ScopedScriptedDialogs::~ScopedScriptedDialogs()
{
    setDialogBackend(previous_);
}

} // namespace platform
