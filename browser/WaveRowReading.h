// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a row of the wave list takes from the folder's listing and from its file's header.

#include "browser/WaveListModel.h"
#include "waves/W32Waves.h"

#include <QIcon>
#include <QString>
#include <array>
#include <string>

/// What a row takes from its file's header: the Format, Length and Type texts and the values they show,
/// and what the file's own chunks say of it.
struct HeaderTexts {
    std::array<QString, 3> texts;
    TWaveInfo info;
    QString description;
    quint32 loops = 0;
    QString fileTexts;
};

/// Reads one file's header and its texts and loops; safe on any thread, so many headers can be read at once.
HeaderTexts readHeaderTexts(const std::string& path);
/// The texts of a header already read (a library result's).
HeaderTexts headerTextsOf(const TWaveInfo& info);
/// A row with the texts the listing gives (the entry's name as its folder holds it, and its size); the
/// header's texts come later.
WaveRow listedRow(const std::string& fileName, qint64 bytes);
/// Gives a listed row its header's texts and the values its columns sort by.
void takeHeader(WaveRow& row, HeaderTexts header);
/// The desktop's icon for wave files, asked for through this file; the program's speaker without one.
QIcon waveFileIcon(const std::string& path);
