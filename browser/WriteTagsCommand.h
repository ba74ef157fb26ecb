// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Edit > Write Tags into File: stores the selected file's tags in the file itself, as the keywords of
// its INFO list, only when asked and never while the file plays.

#include <QObject>
#include <QStringList>
#include <functional>
#include <string>

class PlaybackSequence;
class QAction;
class QWidget;

class WriteTagsCommand : public QObject {
    Q_OBJECT
public:
    /// `selectedFile` gives the selected row's file as the disk spells it, empty when none.
    WriteTagsCommand(PlaybackSequence& playback, std::function<std::string()> selectedFile, QWidget* window);

    /// The menu item; its owner places it and enables it with the other row commands.
    QAction* action() const { return action_; }
    /// Where the tags of a file come from; until a store of tags is given, the file's own keywords.
    void setTagsOf(std::function<QStringList(const std::string& file)> tagsOf) { tagsOf_ = std::move(tagsOf); }

    /// Writes the selected file's tags; a file that plays, is read-only, damaged or on a full disk is
    /// left as it was, with a message saying why. True when written.
    bool run();

private:
    PlaybackSequence& playback_;
    std::function<std::string()> selectedFile_;
    std::function<QStringList(const std::string&)> tagsOf_;
    QWidget* window_;
    QAction* action_;
};
