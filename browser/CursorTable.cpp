// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/CursorTable.h"

#include <QPixmap>
#include <map>

namespace {

std::map<int, QCursor>& cursorTable()
{
    static std::map<int, QCursor> table;
    return table;
}

} // namespace

void registerCursor(int number, const QCursor& cursor)
{
    cursorTable()[number] = cursor;
}

QCursor cursorOf(int number)
{
    const auto it = cursorTable().find(number);
    return it == cursorTable().end() ? QCursor(Qt::ArrowCursor) : it->second;
}

QCursor resourceCursor(const QString& name)
{
    const QPixmap picture(":/browser/" + name + ".xpm");
    if (picture.isNull())
        return QCursor(Qt::ArrowCursor);
    return QCursor(picture, 0, 0);
}
