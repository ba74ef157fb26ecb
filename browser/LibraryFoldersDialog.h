// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File > Library Folders...: the folders the library holds, with their state, and the buttons that add
// one, remove one from the library (its files stay where they are) and check one again.

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;
namespace library {
class LibraryIndexer;
class MarksKeeper;
} // namespace library

class LibraryFoldersDialog : public QDialog {
    Q_OBJECT
public:
    LibraryFoldersDialog(library::LibraryIndexer& indexer, QWidget* parent);
    ~LibraryFoldersDialog() override;

    /// Asks for a folder (through the system layer's dialogs) and adds it to the library.
    void addFolder();
    /// Removes the selected library folder from the library.
    void removeFolder();
    /// Lists every folder of the selected library folder again, comparing each file's size and time.
    void rescanFolder();

private:
    void showFolders();
    qint64 selectedRoot() const;

    library::LibraryIndexer& indexer_;
    library::MarksKeeper* store_; ///< the library, on a thread of its own: a server gone never holds the window
    QListWidget* folders_;
    QLabel* message_;
    QPushButton* remove_;
    QPushButton* rescan_;
};
