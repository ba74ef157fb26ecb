// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/StatusLine.h"

#include <QLabel>
#include <QStatusBar>
#include <QTimer>

namespace {

/// How long a notice holds the status bar against the hints: time to read two lines.
constexpr int kNoticeMs = 20000;

} // namespace

StatusLine::StatusLine(QStatusBar* bar)
    : QObject(bar), bar_(bar), noticeShown_(new QTimer(this)), progress_(new QLabel(bar))
{
    progress_->setObjectName("MeasuringProgress");
    progress_->hide();
    bar_->addPermanentWidget(progress_);
    noticeShown_->setSingleShot(true);
    noticeShown_->setInterval(kNoticeMs);
    connect(noticeShown_, &QTimer::timeout, this, [this] {
        bar_->setToolTip(QString());
        bar_->showMessage(lastHint_);
    });
}

void StatusLine::showHint(const QString& hint)
{
    lastHint_ = hint;
    // A notice stays readable for its time; the hint comes once it is over.
    if (!noticeShown_->isActive())
        bar_->showMessage(hint);
}

void StatusLine::withdrawNotice(const QString& text)
{
    if (!noticeShown_->isActive() || bar_->currentMessage() != text)
        return;
    noticeShown_->stop();
    bar_->setToolTip(QString());
    bar_->showMessage(lastHint_);
}

void StatusLine::showProgress(const QString& text)
{
    progress_->setText(text);
    progress_->setVisible(!text.isEmpty());
}

void StatusLine::showNotice(const QString& text)
{
    bar_->showMessage(text);
    // A narrow window cuts the line; the whole text is at hand under the pointer.
    bar_->setToolTip(text);
    noticeShown_->start();
}
