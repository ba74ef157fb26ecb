// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/FavouritesNode.h"

#include <QAction>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cmath>

namespace {

const char* const kFavouritesQuery = "fav:";

/// A small gold star, the same mark as the Favourite column's.
QIcon starIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath star;
    const double c = size / 2.0, outer = size / 2.0 - 1, inner = outer * 0.42;
    for (int i = 0; i < 10; ++i) {
        const double r = i % 2 ? inner : outer, a = M_PI / 2 + i * M_PI / 5;
        const QPointF point(c + r * std::cos(a), c - r * std::sin(a));
        i == 0 ? star.moveTo(point) : star.lineTo(point);
    }
    star.closeSubpath();
    p.fillPath(star, QColor(235, 180, 20));
    p.strokePath(star, QPen(QColor(150, 105, 0), 0.8));
    return QIcon(pixmap);
}

} // namespace

FavouritesNode::FavouritesNode(QSplitter* host, QTreeWidget* tree, QAction* libraryScope, QLineEdit* filterBox,
                               QObject* parent)
    : QObject(parent), view_(new QTreeWidget), libraryScope_(libraryScope), filterBox_(filterBox)
{
    auto* pane = new QWidget;
    pane->setObjectName("TreePane");
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const int at = host->indexOf(tree);
    host->replaceWidget(at, pane);
    layout->addWidget(tree, 1);
    layout->addWidget(view_, 0);
    // Moved into the pane, the tree went to the end of the window's focus chain: the list would take the
    // focus at start. The tree keeps it, and Tab still goes from the tree to the list (the chain comes
    // round to it); the node takes the focus by a click only, so it does not stand between them.
    tree->setFocus();
    view_->setFocusPolicy(Qt::ClickFocus);

    view_->setObjectName("FavouritesNode");
    view_->setAccessibleName("Favourites");
    view_->setHeaderHidden(true);
    view_->setRootIsDecorated(false);
    view_->setStatusTip("Every favourite of the library");
    auto* item = new QTreeWidgetItem(view_, QStringList{"Favourites"});
    item->setIcon(0, starIcon(view_->iconSize().height() > 0 ? view_->iconSize().height() : 16));
    view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view_->setFixedHeight(view_->sizeHintForRow(0) + 2 * view_->frameWidth() + 4);

    connect(view_, &QTreeWidget::itemClicked, this, &FavouritesNode::choose);
    connect(view_, &QTreeWidget::itemActivated, this, &FavouritesNode::choose);
    // A folder chosen in the tree leaves the favourites for that folder; so does the folder scope.
    connect(tree, &QTreeWidget::itemSelectionChanged, this, &FavouritesNode::leave);
    connect(tree, &QTreeWidget::itemClicked, this, &FavouritesNode::leave);
    connect(libraryScope_, &QAction::toggled, this, [this](bool library) {
        if (!library)
            view_->clearSelection();
    });
}

void FavouritesNode::leave()
{
    if (view_->selectedItems().isEmpty())
        return;
    view_->clearSelection();
    if (filterBox_->text() == kFavouritesQuery)
        filterBox_->clear();
    libraryScope_->setChecked(false);
}

void FavouritesNode::choose()
{
    view_->topLevelItem(0)->setSelected(true);
    libraryScope_->setChecked(true);
    filterBox_->setText(kFavouritesQuery);
    emit chosen();
}
