// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/AllWavesPosition.h"

#include "browser/WaveListWidget.h"

void AllWavesPosition::startAt(int row)
{
    index_ = list_.placeOfRow(row);
    row_ = row;
    stopped_ = false;
}

int AllWavesPosition::take()
{
    if (index_ < 0 || index_ >= list_.visibleRowCount())
        return -1;
    row_ = list_.visibleRow(index_);
    return row_;
}

bool AllWavesPosition::advance()
{
    ++index_;
    return index_ < list_.visibleRowCount();
}

void AllWavesPosition::followFilter()
{
    if (stopped_ || row_ < 0)
        return;
    const int place = list_.placeOfRow(row_);
    index_ = place >= 0 ? place : list_.firstPlaceFrom(row_) - 1;
}
