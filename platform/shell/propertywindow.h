// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's own property window of a file or folder: name, folder, type, size, dates, owner and
// permissions, and for a wave file the details of its header and what the program knows of the sound.
// Modeless; it lives on by itself.

#include "platform/types.h"

#include <QString>
#include <QWidget>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class QFormLayout;

namespace platform {

class PropertyWindow : public QWidget {
    Q_OBJECT
public:
    /// Reads the entry at a Linux path once; the window shows that state.
    explicit PropertyWindow(const std::string& native, QWidget* parent = nullptr);

    /// The text shown beside a label ("Size", "Channels", ...); empty when the window has no such row.
    QString value(const QString& label) const;

private:
    void addRow(const QString& label, const QString& value);
    /// Whether the header could be read.
    bool addWaveDetails(const std::string& native);
    void addFileTexts(const std::string& native);
    void addSoundDetails(const std::string& native);
    void showSoundDetails(const std::vector<QString>& texts);

    QFormLayout* form_ = nullptr;
};

/// Further rows of a wave file's window that the program above this layer knows (its measures). They may
/// take seconds to find: `find` runs away from the window, which shows "Measuring…" meanwhile, and gives
/// a text for each label, or fewer when it knows none.
struct SoundDetails {
    std::vector<QString> labels;
    std::function<std::vector<QString>(const std::string& native)> find;
};
/// Sets the further rows of every property window opened from now on; none by default.
void setSoundDetails(SoundDetails details);

/// The texts a wave file carries about itself (descriptions, titles, loops), as (label, text) rows
/// that the program above this layer reads. Reading them is quick and bounded: done as the window opens.
using FileTexts = std::function<std::vector<std::pair<QString, QString>>(const std::string& native)>;
/// Sets the text rows of every property window opened from now on; none by default.
void setFileTexts(FileTexts texts);

/// Opens a property window for a Linux path; false when nothing is there.
bool showPropertyWindow(const std::string& native, HWND owner);

} // namespace platform
