// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writing a user's tags into a wave file as the keywords (IKEY) of its INFO list, its sound and every
// other chunk kept byte for byte.

#include <QString>
#include <QStringList>
#include <string>

/// What became of a write: done, or why the file was left as it was.
struct KeywordsWrite {
    bool ok = false;
    QString reason; ///< for the user, when not ok: "the file is read-only", ...
};

/// Stores the keywords as the IKEY text ("kick; dry") of the file's LIST/INFO chunk, which is added
/// after the last chunk when there is none; no keywords remove IKEY. The new file is built as a
/// temporary file beside the original, read back and compared (the same chunks but the INFO list, the
/// same bytes after the form, the keywords read again), and only then takes the original's place in
/// one step. Accepts drive-letter and absolute Linux paths.
KeywordsWrite writeKeywords(const std::string& path, const QStringList& keywords);

/// The keywords of a file as writeKeywords stores them: its IKEY text split at ';' and ','.
QStringList keywordsOf(const std::string& path);
