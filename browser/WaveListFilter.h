// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The filter of the wave list as the user meets it: the box typed into, the mark of a condition that
// cannot be read, and how many rows it shows.

#include <QObject>
#include <QString>

class QAction;
class QLabel;
class QLineEdit;
class QToolBar;
class QWidget;
class WaveListWidget;

/// Owns the filter box (in a bar of its own, so a narrow window folds toolbar buttons away, never the box
/// being typed in), the problem mark in it and the "n of m shown" label. The text typed goes to the list
/// at once; the list shows the rows whose captions contain all its words and whose measures meet its
/// conditions (see WaveFilter).
class WaveListFilter : public QObject {
    Q_OBJECT
public:
    /// The controls are made as children of `window`, where Ctrl+F reaches the box from anywhere.
    WaveListFilter(WaveListWidget& list, QWidget* window);

    QToolBar* bar() const { return bar_; }
    QLineEdit* box() const { return box_; }
    /// Shown in the box while a condition cannot be read; its text and tooltip say why.
    QAction* problemMark() const { return problem_; }
    /// "n of m shown", visible while a filter is in force.
    QLabel* countLabel() const { return count_; }

    /// Empties the box: every row is shown again.
    void clear();
    /// Whether the text filters the list's rows (this folder's scope) or only goes to a library search
    /// whose results are shown whole.
    void setFiltersList(bool filters);
    /// The count's text for `shown` of `all` rows, in the user's number format.
    static QString countText(int shown, int all);

signals:
    /// Another text was typed: other rows are shown.
    void changed();

private:
    void textChanged(const QString& text);
    void showProblems();
    void showCount();

    WaveListWidget& list_;
    bool filtersList_ = true;
    QLineEdit* box_;
    QToolBar* bar_;
    QAction* problem_;
    QLabel* count_;
};
