// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt dialogs behind the shell: buttons map to the right answers, and the progress window's Cancel is seen.
#include "platform/shell/dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace platform;

namespace {

// Runs an action on the next modal dialog as soon as it is up.
void onModal(std::function<void(QWidget*)> action)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            action(modal);
        }
    });
    timer->start();
}

void press(QWidget* box, QMessageBox::StandardButton which)
{
    auto* mb = qobject_cast<QMessageBox*>(box);
    ASSERT_NE(mb, nullptr);
    mb->button(which)->click();
}

TEST(QtDialogs, ButtonsGiveTheirAnswers)
{
    QtDialogBackend qt;
    const struct {
        UINT type;
        QMessageBox::StandardButton pressed;
        int answer;
    } cases[] = {
        {MB_YESNOCANCEL | MB_ICONWARNING, QMessageBox::Yes, IDYES},
        {MB_YESNOCANCEL, QMessageBox::No, IDNO},
        {MB_YESNOCANCEL, QMessageBox::Cancel, IDCANCEL},
        {MB_YESNO | MB_ICONQUESTION, QMessageBox::No, IDNO},
        {MB_OKCANCEL, QMessageBox::Cancel, IDCANCEL},
        {MB_OK | MB_ICONINFORMATION, QMessageBox::Ok, IDOK},
    };
    for (const auto& c : cases) {
        onModal([&](QWidget* box) { press(box, c.pressed); });
        EXPECT_EQ(
            qt.messageBox(nullptr, "Cannot move bell.wav\rDestination and source identical.", "Information", c.type),
            c.answer);
    }
}

TEST(QtDialogs, BoxShowsOddBytesEscapedAndTheIcon)
{
    QtDialogBackend qt;
    QString shown;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    onModal([&](QWidget* box) {
        auto* mb = qobject_cast<QMessageBox*>(box);
        shown = mb->text();
        icon = mb->icon();
        mb->button(QMessageBox::Ok)->click();
    });
    qt.messageBox(nullptr, "Cannot copy \xff.wav\rsecond line", "Error", MB_OK | MB_ICONERROR);
    EXPECT_EQ(shown, "Cannot copy \\xFF.wav\nsecond line");
    EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST(QtDialogs, ProgressCancelIsSeen)
{
    QtDialogBackend qt;
    QWidget owner;
    owner.show();
    qt.progressBegin(&owner, "Copying...", 100);
    auto* dialog = owner.findChild<QProgressDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Copying...");
    qt.progressUpdate(10, "bell.wav");
    EXPECT_EQ(dialog->labelText(), "bell.wav");
    EXPECT_FALSE(qt.progressCancelled());
    dialog->cancel();
    qt.progressUpdate(20, "bell.wav");
    EXPECT_TRUE(qt.progressCancelled());
    qt.progressEnd();
    QApplication::processEvents();
    EXPECT_FALSE(qt.progressCancelled());
}

} // namespace
