// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The status bar's one text: the hint of what is under the pointer, or for a while a notice.

#include <QObject>
#include <QString>

class QLabel;
class QStatusBar;
class QTimer;

/// Shows hints in a status bar, and notices the user should read (the measures cache was set aside),
/// which hold the bar for a while against the hints; the last hint asked for follows a notice.
class StatusLine : public QObject {
    Q_OBJECT
public:
    explicit StatusLine(QStatusBar* bar);

    void showHint(const QString& hint);
    void showNotice(const QString& text);
    /// Ends the notice of that text early, where it is still shown: what it said no longer holds.
    void withdrawNotice(const QString& text);
    /// Work going on ("Measuring 37 of 200"), at the bar's right beside the hints; empty when it is over.
    void showProgress(const QString& text);

private:
    QStatusBar* bar_;
    QTimer* noticeShown_;
    QString lastHint_;
    QLabel* progress_;
};
