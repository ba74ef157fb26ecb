// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Aids to auditioning beyond the play commands: the preview volume, the output device, playing a row
// as soon as the keyboard selects it, and playing every sound at one loudness.

#include "library/soundanalysis.h"

#include <QObject>
#include <optional>
#include <string>

class QAction;
class QMenu;
class QSlider;
class QTimer;
class QToolBar;
class QWidget;
class WaveListWidget;
struct SettingsRecord;

/// The volume and the output of the program's own sound stream (the system's mixer and default output
/// are left as they are), and the play-on-selection toggle, with their controls. The owner places the
/// controls and plays when asked to.
class AuditionSettings : public QObject {
    Q_OBJECT
public:
    /// The controls are made as children of `parent`.
    AuditionSettings(WaveListWidget& list, QWidget* parent);
    ~AuditionSettings() override;

    QAction* playOnSelection() const { return playOnSelect_; }
    QSlider* volumeSlider() const { return volume_; }
    QMenu* outputMenu() const { return outputMenu_; }
    /// Match Loudness: each sound plays at one loudness, by its measures; off by default.
    QAction* matchLoudness() const { return matchLoudness_; }

    /// Puts the controls after the play modes: the toggle after `afterButton` in the toolbar with the volume
    /// beside it, the toggle, the output menu and Match Loudness after `afterItem` in the menu.
    void place(QToolBar& bar, QAction* afterButton, QMenu& menu, QAction* afterItem);

    /// A row is about to play: with Match Loudness on, its gain is set from its measures (a row not
    /// measured yet plays as it is).
    void prepareToPlay(int row);

    /// Plays on the chosen output; a name not there now is kept for when it comes back, and meanwhile the
    /// server's default plays. Empty chooses the default.
    void chooseOutput(const std::string& name);

    /// Takes the stored volume (out of range: the nearest in range), output and toggle.
    void applySettings(const SettingsRecord& stored);
    void storeSettings(SettingsRecord& record) const;

signals:
    /// The keyboard selected a row while play on selection is on: it should play now.
    void playRequested();

private:
    void fillOutputMenu();
    void selectionChanged();
    void playSettledSelection();
    bool playsOnSelection() const;
    void applyMatchGain();

    WaveListWidget& list_;
    QAction* playOnSelect_;
    QSlider* volume_;
    QMenu* outputMenu_;
    QAction* matchLoudness_;
    /// The measures of the sound started last, if it was measured.
    std::optional<library::SoundAnalysis> playing_;
    /// The chosen output's name, kept while it is absent; empty for the server's default.
    std::string output_;
    class KeyWatch;
    KeyWatch* keyWatch_;
    QTimer* selectionSettle_;
};
