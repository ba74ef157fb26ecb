// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's own property window of a file or folder: name, folder, type, size, dates, owner and
// permissions, and for a wave file the details of its header and its measures. Modeless; it lives on by
// itself.

#include "platform/sound/soundanalysis.h"
#include "platform/types.h"

#include <QString>
#include <QWidget>
#include <string>

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
    /// Rows for the measures, filled from the measures cache or by measuring, away from the window.
    void addMeasures(const std::string& native);
    void showMeasures(const std::optional<SoundMeasures>& measures);

    QFormLayout* form_ = nullptr;
};

/// Opens a property window for a Linux path; false when nothing is there.
bool showPropertyWindow(const std::string& native, HWND owner);

} // namespace platform
