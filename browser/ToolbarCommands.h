// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the toolbar's commands look and behave, and where commands added to the toolbar and a menu go.

#include <QList>

class QAction;
class QObject;
class QActionGroup;
class QMenu;
class QToolBar;
class QWidget;

/// The action that follows `anchor` in a toolbar's or menu's actions: inserting before it puts a new
/// one right after `anchor`. Null (the end) when `anchor` is last or not there.
QAction* actionAfter(const QWidget* container, QAction* anchor);

/// Adds a command right after `afterButton` in the toolbar and right after `afterItem` in the menu. The
/// menu shows `item`, or the button's own action when none is given.
void addCommandAfter(QAction* button, QToolBar* bar, QAction* afterButton, QMenu* menu, QAction* afterItem,
                     QAction* item = nullptr);

/// Joins buttons into one exclusive group: pressing one puts it down and releases the others, and the
/// one down stays down when pressed again, also by a screen reader, whose toggle could release it.
QActionGroup* exclusiveGroup(QObject* parent, const QList<QAction*>& buttons);

/// Gives the window's toolbar actions their pictures: the desktop theme's icon where it has one that fits
/// the command, else the program's own drawing, which stays sharp at any scale. Qt greys either for a
/// disabled button.
void setToolbarIcons(const QWidget& window);
