// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/WaveListFilter.h"

#include "browser/WaveListWidget.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QStyle>
#include <QToolBar>

namespace {

const char* const kFilterTip = "Filter the waves by name and measures";
// The box keeps room for a few words however narrow the window, and takes no more than it needs.
constexpr int kFilterMinChars = 20;
constexpr int kFilterMaxChars = 28;

} // namespace

WaveListFilter::WaveListFilter(WaveListWidget& list, QWidget* window)
    : QObject(window), list_(list), box_(new QLineEdit(window)), bar_(new QToolBar("Filter", window)),
      count_(new QLabel(window))
{
    box_->setObjectName("FilterBox");
    box_->setPlaceholderText("Filter (Ctrl+F)");
    box_->setClearButtonEnabled(true);
    box_->setStatusTip("Show the waves whose names contain all the words; bpm:120-130, lufs:<-20, peak:>-1, "
                       "pitch:A4 choose by the measures");
    box_->setToolTip(kFilterTip);
    const int average = box_->fontMetrics().averageCharWidth();
    box_->setMinimumWidth(average * kFilterMinChars);
    box_->setMaximumWidth(average * kFilterMaxChars);
    box_->setAccessibleName("Filter");
    // A bar of its own beside the toolbar: a narrow window moves toolbar buttons into the toolbar's
    // overflow menu, never the box being typed in, and a filter in force stays in sight.
    bar_->setObjectName("FilterBar");
    bar_->setMovable(false);
    bar_->setFloatable(false);
    bar_->setContextMenuPolicy(Qt::PreventContextMenu);
    bar_->toggleViewAction()->setVisible(false);
    bar_->addWidget(box_);

    // A condition that cannot be read is marked in the box, and its tooltip says why.
    problem_ = box_->addAction(QIcon::fromTheme("dialog-warning", window->style()->standardIcon(QStyle::SP_MessageBoxWarning)),
                               QLineEdit::TrailingPosition);
    problem_->setObjectName("FilterProblem");
    problem_->setVisible(false);
    // The box's own clear button, named for screen readers like every other button.
    if (auto* clear = box_->findChild<QAction*>("_q_qlineeditclearaction"))
        clear->setText("Clear filter");

    count_->setObjectName("FilterCount");
    count_->setContentsMargins(average, 0, 0, 0);
    count_->hide();
    // The rows shown change with the filter, a refill and measures arriving.
    connect(list_.filterModel(), &QAbstractItemModel::layoutChanged, this, &WaveListFilter::showCount);
    connect(list_.filterModel(), &QAbstractItemModel::modelReset, this, &WaveListFilter::showCount);

    auto* find = new QAction("Filter", window);
    find->setObjectName("FindAction");
    find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    find->setShortcutContext(Qt::WindowShortcut);
    window->addAction(find);
    connect(find, &QAction::triggered, this, [this] {
        box_->setFocus(Qt::ShortcutFocusReason);
        box_->selectAll();
    });
    // Escape empties the box; in an empty box it goes back to the list.
    auto* clearing = new QAction("Clear filter", box_);
    clearing->setShortcut(QKeySequence(Qt::Key_Escape));
    clearing->setShortcutContext(Qt::WidgetShortcut);
    box_->addAction(clearing);
    connect(clearing, &QAction::triggered, this, [this] {
        if (box_->text().isEmpty())
            list_.focusList();
        else
            box_->clear();
    });
    connect(box_, &QLineEdit::textChanged, this, &WaveListFilter::textChanged);
}

void WaveListFilter::clear()
{
    box_->clear();
}

void WaveListFilter::setFiltersList(bool filters)
{
    filtersList_ = filters;
    // The box says what it searches, as the toggle's look alone may not.
    box_->setPlaceholderText(filters ? "Filter (Ctrl+F)" : "Search the library (Ctrl+F)");
    textChanged(box_->text());
}

void WaveListFilter::textChanged(const QString& text)
{
    list_.setFilterText(filtersList_ ? text : QString());
    showProblems();
    showCount();
    emit changed();
}

void WaveListFilter::showProblems()
{
    const QString problems = list_.filterModel()->filter().problems.join(QLatin1Char('\n'));
    problem_->setVisible(!problems.isEmpty());
    problem_->setText(problems);
    problem_->setToolTip(problems);
    box_->setToolTip(problems.isEmpty() ? QString::fromLatin1(kFilterTip) : problems);
    // A palette of no roles of its own follows the window's again.
    QPalette palette;
    if (!problems.isEmpty())
        palette.setColor(QPalette::Text, QColor(0xa0, 0x10, 0x10));
    box_->setPalette(palette);
}

QString WaveListFilter::countText(int shown, int all)
{
    return QStringLiteral("%1 of %2 shown").arg(QLocale().toString(shown), QLocale().toString(all));
}

void WaveListFilter::showCount()
{
    // Another folder with the filter kept could otherwise look empty.
    const bool inForce = !box_->text().trimmed().isEmpty();
    count_->setVisible(inForce);
    if (inForce)
        count_->setText(countText(list_.visibleRowCount(), list_.rowCount()));
}
