// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The waveform overview under the wave list: the strip, the splitter that holds it below the list, its
// toggle and its height.

#include <QObject>
#include <string>

class QAction;
class QSplitter;
class QWidget;
class WaveformStrip;
struct SettingsRecord;

/// Puts a waveform strip under a list, in the list's place in its splitter, and shows and hides it by a
/// menu item and a toolbar button that always agree. Hidden, the strip keeps its height for the next time.
class WaveformPanel : public QObject {
    Q_OBJECT
public:
    /// The list keeps its place in `host`, now with the strip below it.
    WaveformPanel(QSplitter* host, QWidget* list, QObject* parent = nullptr);

    WaveformStrip* strip() const { return strip_; }
    QSplitter* splitter() const { return splitter_; }
    /// The toggle in the menu and in the toolbar.
    QAction* menuItem() const { return item_; }
    QAction* button() const { return button_; }

    void setShown(bool shown);
    /// Points the strip at a file, and lets its marker follow the sound when that file plays.
    void showFile(const std::string& path, bool reload, bool playing);
    /// The strip's height in pixels, also while it is hidden.
    int stripHeight() const;
    void setStripHeight(int pixels);

    /// Takes the stored toggle and height (out of range: the nearest in range).
    void applySettings(const SettingsRecord& stored);
    void storeSettings(SettingsRecord& record) const;

signals:
    /// The strip was shown or hidden; shown, it wants the file to show.
    void shownChanged(bool shown);

private:
    WaveformStrip* strip_;
    QSplitter* splitter_;
    QAction* item_;
    QAction* button_;
    int height_ = 140;
};
