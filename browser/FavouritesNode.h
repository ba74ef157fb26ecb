// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Favourites" entry under the folder tree: chosen, the list shows every favourite of the library.

#include <QObject>

class QAction;
class QLineEdit;
class QSplitter;
class QTreeWidget;

/// Puts a one-row "Favourites" node under the folder tree, in the tree's place in its splitter. Choosing
/// it switches the filter box to library scope and searches "fav:", so the list shows the library's
/// favourites with their folders and every command works on them; choosing a folder leaves it.
class FavouritesNode : public QObject {
    Q_OBJECT
public:
    FavouritesNode(QSplitter* host, QTreeWidget* tree, QAction* libraryScope, QLineEdit* filterBox,
                   QObject* parent = nullptr);

    QTreeWidget* view() const { return view_; }

signals:
    /// The node was chosen (the search for favourites is under way).
    void chosen();

private:
    void choose();
    void leave();

    QTreeWidget* view_;
    QAction* libraryScope_;
    QLineEdit* filterBox_;
};
