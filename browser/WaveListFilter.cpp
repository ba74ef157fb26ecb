// SPDX-License-Identifier: GPL-3.0-or-later
// BrowserWindow: the filter box - which rows of the wave list are shown, and what the box tells of it.
#include "browser/BrowserWindow.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

namespace {

const char* const kFilterTip = "Filter the waves by name and measures";
// The box keeps room for a few words however narrow the window, and takes no more than it needs.
constexpr int kFilterMinChars = 20;
constexpr int kFilterMaxChars = 28;

} // namespace

void BrowserWindow::setupFilterBox()
{
    FilterBox = new QLineEdit(this);
    FilterBox->setObjectName("FilterBox");
    FilterBox->setPlaceholderText("Filter (Ctrl+F)");
    FilterBox->setClearButtonEnabled(true);
    FilterBox->setStatusTip("Show the waves whose names contain all the words; bpm:120-130, lufs:<-20, peak:>-1, "
                            "pitch:A4 choose by the measures");
    FilterBox->setToolTip(kFilterTip);
    const int average = FilterBox->fontMetrics().averageCharWidth();
    FilterBox->setMinimumWidth(average * kFilterMinChars);
    FilterBox->setMaximumWidth(average * kFilterMaxChars);
    FilterBox->setAccessibleName("Filter");
    // A bar of its own beside the toolbar: a narrow window moves toolbar buttons into the toolbar's
    // overflow menu, never the box being typed in, and a filter in force stays in sight.
    FilterBar = new QToolBar("Filter", this);
    FilterBar->setObjectName("FilterBar");
    FilterBar->setMovable(false);
    FilterBar->setFloatable(false);
    FilterBar->setContextMenuPolicy(Qt::PreventContextMenu);
    FilterBar->toggleViewAction()->setVisible(false);
    FilterBar->addWidget(FilterBox);
    addToolBar(Qt::TopToolBarArea, FilterBar);

    // A condition that cannot be read is marked in the box, and its tooltip says why.
    FilterProblem = FilterBox->addAction(QIcon::fromTheme("dialog-warning", style()->standardIcon(QStyle::SP_MessageBoxWarning)),
                                         QLineEdit::TrailingPosition);
    FilterProblem->setObjectName("FilterProblem");
    FilterProblem->setVisible(false);

    FilterCount = new QLabel(this);
    FilterCount->setObjectName("FilterCount");
    FilterCount->setContentsMargins(FilterBox->fontMetrics().averageCharWidth(), 0, 0, 0);
    StatusBar->addPermanentWidget(FilterCount);
    FilterCount->hide();
    // The rows shown change with the filter, a refill and measures arriving.
    connect(WaveList->filterModel(), &QAbstractItemModel::layoutChanged, this, &BrowserWindow::ShowFilterCount);
    connect(WaveList->filterModel(), &QAbstractItemModel::modelReset, this, &BrowserWindow::ShowFilterCount);

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
    // Another order of the rows shown (a click on a header) takes the sequence along as well.
    connect(WaveList, &WaveListWidget::reordered, this, &BrowserWindow::FollowShownRows);
}

void BrowserWindow::FilterBoxChange(const QString& text)
{
    WaveList->setFilterText(text);
    FollowShownRows();
    ShowFilterProblems();
    ShowFilterCount();
    // A condition on the measures needs them.
    StartMeasuring();
    UpdateCommands();
}

void BrowserWindow::FollowShownRows()
{
    // The all-waves sequence goes on with the row after the one it plays among the rows now shown.
    allWaves_->followFilter();
}

void BrowserWindow::ShowFilterProblems()
{
    const QString problems = WaveList->filterModel()->filter().problems.join(QLatin1Char('\n'));
    FilterProblem->setVisible(!problems.isEmpty());
    FilterProblem->setText(problems);
    FilterProblem->setToolTip(problems);
    FilterBox->setToolTip(problems.isEmpty() ? QString::fromLatin1(kFilterTip) : problems);
    // A palette of no roles of its own follows the window's again.
    QPalette palette;
    if (!problems.isEmpty())
        palette.setColor(QPalette::Text, QColor(0xa0, 0x10, 0x10));
    FilterBox->setPalette(palette);
}

void BrowserWindow::ShowFilterCount()
{
    // Another folder with the filter kept could otherwise look empty.
    const bool inForce = !FilterBox->text().trimmed().isEmpty();
    FilterCount->setVisible(inForce);
    if (inForce)
        FilterCount->setText(QStringLiteral("%1 of %2 shown")
                                 .arg(QLocale().toString(WaveList->visibleRowCount()), QLocale().toString(WaveList->rowCount())));
}
