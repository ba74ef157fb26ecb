// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/LibraryFoldersDialog.h"

#include "browser/WaveListModel.h"
#include "library/libraryfolders.h"
#include "library/libraryindexer.h"
#include "library/librarylocation.h"
#include "library/markskeeper.h"
#include "platform/files/nativepath.h"
#include "platform/shell/dialogs.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString stateText(const library::LibraryRoot& root)
{
    switch (root.state) {
    case library::RootState::New:
        return QStringLiteral("not indexed yet");
    case library::RootState::Indexing:
        return QStringLiteral("indexing");
    case library::RootState::Ready:
        return QStringLiteral("%1 files").arg(root.files);
    case library::RootState::Offline:
        return QStringLiteral("offline");
    case library::RootState::Unreachable:
        return root.status.isEmpty() ? QStringLiteral("cannot be read") : root.status;
    case library::RootState::NeedsConfirmation:
        return QStringLiteral("files missing, waiting for your answer");
    }
    return {};
}

} // namespace

LibraryFoldersDialog::LibraryFoldersDialog(library::LibraryIndexer& indexer, QWidget* parent)
    : QDialog(parent), indexer_(indexer),
      store_(new library::MarksKeeper([](bool) { return library::openLibraryStore(); }, this)),
      folders_(new QListWidget(this)), message_(new QLabel(this)), remove_(new QPushButton("&Remove", this)),
      rescan_(new QPushButton("Re&scan", this))
{
    setObjectName("LibraryFoldersDialog");
    setWindowTitle("Library Folders");
    folders_->setObjectName("LibraryFolderList");
    message_->setObjectName("LibraryFoldersMessage");
    message_->setWordWrap(true);
    auto* add = new QPushButton("&Add...", this);
    add->setObjectName("AddLibraryFolderBtn");
    remove_->setObjectName("RemoveLibraryFolderBtn");
    rescan_->setObjectName("RescanLibraryFolderBtn");
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {add, remove_, rescan_})
        buttons->addWidget(b);
    buttons->addStretch();
    auto* row = new QHBoxLayout;
    row->addWidget(folders_, 1);
    row->addLayout(buttons);
    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(message_);
    layout->addWidget(close);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(add, &QPushButton::clicked, this, &LibraryFoldersDialog::addFolder);
    connect(remove_, &QPushButton::clicked, this, &LibraryFoldersDialog::removeFolder);
    connect(rescan_, &QPushButton::clicked, this, &LibraryFoldersDialog::rescanFolder);
    connect(folders_, &QListWidget::currentRowChanged, this, [this](int current) {
        remove_->setEnabled(current >= 0);
        rescan_->setEnabled(current >= 0);
    });
    connect(store_, &library::MarksKeeper::notice, message_, &QLabel::setText);
    resize(560, 320);
    showFolders();
}

LibraryFoldersDialog::~LibraryFoldersDialog() = default;

void LibraryFoldersDialog::showFolders()
{
    store_->request([this](library::LibraryStore* s) {
        return [this, roots = s ? s->roots() : std::vector<library::LibraryRoot>()] {
            folders_->clear();
            for (const library::LibraryRoot& root : roots) {
                auto* item = new QListWidgetItem(
                    QStringLiteral("%1  (%2)").arg(library::pathText(root.path), stateText(root)), folders_);
                item->setData(Qt::UserRole, qint64(root.id));
            }
            remove_->setEnabled(false);
            rescan_->setEnabled(false);
        };
    });
}

qint64 LibraryFoldersDialog::selectedRoot() const
{
    const QListWidgetItem* item = folders_->currentItem();
    return item ? item->data(Qt::UserRole).toLongLong() : 0;
}

void LibraryFoldersDialog::addFolder()
{
    const std::string folder = platform::ChooseFolder(platform::handleOf(this), "Add a Library Folder");
    if (folder.empty())
        return;
    store_->request([this, folder](library::LibraryStore* s) {
        library::AddedFolder added;
        if (s)
            added = library::addLibraryFolder(*s, folder);
        else
            added.message = QStringLiteral("The library cannot be opened.");
        return [this, added] {
            message_->setText(added.message);
            if (added.root)
                indexer_.start({*added.root});
        };
    });
    showFolders();
}

void LibraryFoldersDialog::removeFolder()
{
    const qint64 root = selectedRoot();
    // Only the index forgets the folder; its files are not touched.
    if (root != 0)
        store_->request([this, root](library::LibraryStore* s) {
            const bool removed = s && s->removeRoot(root);
            return [this, removed] {
                if (removed)
                    message_->setText("Removed from the library; the files stay where they are.");
            };
        });
    showFolders();
}

void LibraryFoldersDialog::rescanFolder()
{
    const qint64 root = selectedRoot();
    if (root == 0)
        return;
    indexer_.fullCheck(root);
    message_->setText("Checking every file again.");
}
