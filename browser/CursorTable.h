// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application-wide cursor table: controls pick the program's own cursors by number.

#include <QCursor>
#include <QString>

/// Numbers of the program's own cursors in the cursor table.
constexpr int crWaveCur = 1;
constexpr int crDragCopy = 2;

void registerCursor(int number, const QCursor& cursor);
/// The cursor of a number; the arrow for a number never registered.
QCursor cursorOf(int number);
/// A cursor drawn in resources/ (":/browser/<name>.xpm"): black and white with a transparent rest, hot
/// spot top-left; the arrow when there is no such picture.
QCursor resourceCursor(const QString& name);
