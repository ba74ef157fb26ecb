// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared set-up of the tree tests: a temporary drive C:, an owner window that records what reaches it,
// and a tree configured with the browser window's stored values.

#include "dirtree/DirTree.h"
#include "platform/shell/mountwatch.h"
#include "support/tempdrive.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace treetesting {

/// Opens the protected building blocks to the tests.
class TestTree : public TDirTree {
public:
    using TDirTree::AcceptFolder;
    using TDirTree::IsScanned;
    using TDirTree::MatchesDirTypes;
    using TDirTree::NodePath;
    using TDirTree::TDirTree;
};

/// An owner window that counts the device-change events it receives itself.
class Owner : public QWidget {
public:
    int deviceChanges = 0;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == platform::DeviceChangeEvent::eventType())
            ++deviceChanges;
        return QWidget::event(e);
    }
};

constexpr TDirTypes browserDirTypes = dirTypeBit(dtReadOnly) | dirTypeBit(dtArchive) | dirTypeBit(dtNormal);
constexpr TDriveTypes browserDriveTypes = driveTypeBit(drtUnknown) | driveTypeBit(drtRemovable) |
                                          driveTypeBit(drtFixed) | driveTypeBit(drtRemote) | driveTypeBit(drtCDRom);

class TreeTest : public ::testing::Test {
protected:
    testing_support::TempDrive drive;
    std::unique_ptr<Owner> owner = std::make_unique<Owner>();
    TestTree* tree = nullptr;
    std::vector<std::string> changes; // SelectedPath-style text of every OnChange ("nil" for none)

    /// Makes the tree as the browser window does: stored values first, then the end of loading.
    void makeTree(bool goBelowRecycleBin = false, TDirTypes dirTypes = browserDirTypes)
    {
        tree = new TestTree(owner.get());
        tree->setReadOnStart(true);
        tree->setDirTypes(dirTypes);
        tree->setGoBelowRecycleBin(goBelowRecycleBin);
        tree->setFastLoad(false);
        tree->setInitialDirectory("c:");
        tree->setDriveTypes(browserDriveTypes);
        tree->setDragMode(dmAutomatic);
        tree->OnChange = [this](TDirTree*, QTreeWidgetItem* node) {
            const TDirEntry* e = TDirTree::entryOf(node);
            changes.push_back(e ? e->Path : "nil");
        };
        tree->Loaded();
    }

    // Handlers of a test body may capture its locals; the tree is destroyed later, with the owner.
    void TearDown() override
    {
        if (tree)
            tree->OnDeleteItem = nullptr;
    }

    QTreeWidgetItem* node(const std::string& path) { return tree->FindNode(path); }

    std::vector<std::string> childPaths(QTreeWidgetItem* parent)
    {
        std::vector<std::string> out;
        for (int i = 0; i < parent->childCount(); ++i)
            out.push_back(tree->NodePath(parent->child(i)));
        return out;
    }

    std::vector<std::string> topPaths()
    {
        std::vector<std::string> out;
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            out.push_back(tree->NodePath(tree->topLevelItem(i)));
        return out;
    }

    /// A placeholder only: a child without entry.
    static bool hasPlaceholderOnly(QTreeWidgetItem* n)
    {
        return n->childCount() == 1 && !TDirTree::entryOf(n->child(0));
    }

    /// The tree left nothing unbalanced behind.
    void expectBalanced()
    {
        EXPECT_EQ(tree->ChangeLock(), 0);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_TRUE(tree->updatesEnabled());
    }
};

} // namespace treetesting
