// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Aids to auditioning beyond the play commands: the preview volume, the output device and playing a row
// as soon as the keyboard selects it.

#include <QObject>
#include <string>

class QAction;
class QMenu;
class QSlider;
class QTimer;
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

    WaveListWidget& list_;
    QAction* playOnSelect_;
    QSlider* volume_;
    QMenu* outputMenu_;
    /// The chosen output's name, kept while it is absent; empty for the server's default.
    std::string output_;
    class KeyWatch;
    KeyWatch* keyWatch_;
    QTimer* selectionSettle_;
};
