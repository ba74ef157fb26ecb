// SPDX-License-Identifier: GPL-3.0-or-later
// BrowserWindow: the filter box - which rows of the wave list are shown.
#include "browser/BrowserWindow.h"

#include <QAction>
#include <QLineEdit>

void BrowserWindow::setupFilterBox()
{
    FilterBox = new QLineEdit(this);
    FilterBox->setObjectName("FilterBox");
    FilterBox->setPlaceholderText("Filter (Ctrl+F)");
    FilterBox->setClearButtonEnabled(true);
    FilterBox->setStatusTip("Show the waves whose names contain the text; bpm:120-130, lufs:<-20, peak:>-1, "
                            "pitch:A4 choose by the measures");
    FilterBox->setToolTip("Filter the waves by name and measures");
    FilterBox->setMaximumWidth(FilterBox->fontMetrics().averageCharWidth() * 28);
    FilterBox->setAccessibleName("Filter");
    MainToolBar->addSeparator();
    MainToolBar->addWidget(FilterBox);

    auto* find = new QAction("Filter", this);
    find->setObjectName("FindAction");
    find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    find->setShortcutContext(Qt::WindowShortcut);
    addAction(find);
    connect(find, &QAction::triggered, this, [this] {
        FilterBox->setFocus(Qt::ShortcutFocusReason);
        FilterBox->selectAll();
    });
    // Escape empties the box; in an empty box it goes back to the list.
    auto* clear = new QAction("Clear filter", FilterBox);
    clear->setShortcut(QKeySequence(Qt::Key_Escape));
    clear->setShortcutContext(Qt::WidgetShortcut);
    FilterBox->addAction(clear);
    connect(clear, &QAction::triggered, this, [this] {
        if (FilterBox->text().isEmpty())
            WaveList->focusList();
        else
            FilterBox->clear();
    });
    connect(FilterBox, &QLineEdit::textChanged, this, &BrowserWindow::FilterBoxChange);
}

void BrowserWindow::FilterBoxChange(const QString& text)
{
    WaveList->setFilterText(text);
    // The all-waves sequence goes on with the row after the one it plays among the rows now shown.
    allWaves_->followFilter();
    // A condition on the measures needs them.
    StartMeasuring();
    UpdateCommands();
}
