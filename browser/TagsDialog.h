// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Edit > Tags...: the tags of the selected files in one line, comma-separated, with completion from the
// tags in use. Several files at once: the line shows the tags they all carry; a tag taken out of it
// goes from every file, a tag put in comes to every file, and each file keeps its other tags.

#include <QDialog>
#include <QStringList>

class QCompleter;
class QLineEdit;

class TagsDialog : public QDialog {
    Q_OBJECT
public:
    /// common: the tags every file carries; inUse: every tag of the library, for completion.
    TagsDialog(const QStringList& common, const QStringList& inUse, int files, QWidget* parent);

    QLineEdit* line() const { return line_; }
    /// The tags typed, each once (letter case ignored), in the order typed.
    QStringList tags() const;

    /// The tags of a comma-separated text, trimmed, each once.
    static QStringList splitTags(const QString& text);
    /// A file's tags after the edit: those taken out of the common ones go, those typed come.
    static QStringList edited(const QStringList& own, const QStringList& common, const QStringList& typed);

private:
    /// Completion works on the tag being typed, after the last comma.
    void completeLastTag(const QString& text);
    void takeCompletion(const QString& tag);

    QLineEdit* line_;
    QCompleter* completer_;
};
