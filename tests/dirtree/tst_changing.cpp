// SPDX-License-Identifier: GPL-3.0-or-later
// OnChanging may keep the selection where it is, for keys, clicks and selection by path alike.
#include "treetesting.h"

#include <QTest>

using namespace treetesting;

TEST_F(TreeTest, ChangingCanRefuseAMoveOfTheSelection)
{
    drive.mkdirs("Alpha");
    drive.mkdirs("Beta");
    makeTree();
    tree->SelectPath("C:\\ALPHA");
    ASSERT_EQ(tree->SelectedPath(), "C:\\ALPHA\\");
    changes.clear();

    std::vector<std::string> asked;
    bool allow = false;
    tree->OnChanging = [&](TDirTree*, QTreeWidgetItem* node, bool& allowChange) {
        asked.push_back(TDirTree::entryOf(node) ? TDirTree::entryOf(node)->Path : "nil");
        allowChange = allow;
    };
    tree->SelectPath("C:\\BETA");
    EXPECT_EQ(tree->SelectedPath(), "C:\\ALPHA\\");
    EXPECT_EQ(asked, std::vector<std::string>{"C:\\BETA\\"});
    EXPECT_TRUE(changes.empty());

    // A click on the other node is refused too, and does not leave it highlighted.
    QTreeWidgetItem* beta = node("C:\\BETA\\");
    ASSERT_NE(beta, nullptr);
    tree->show();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(beta).center());
    EXPECT_EQ(tree->SelectedPath(), "C:\\ALPHA\\");
    EXPECT_FALSE(beta->isSelected());
    EXPECT_TRUE(changes.empty());

    allow = true;
    tree->SelectPath("C:\\BETA");
    EXPECT_EQ(tree->SelectedPath(), "C:\\BETA\\");
    EXPECT_EQ(changes, std::vector<std::string>{"C:\\BETA\\"});
    tree->OnChanging = nullptr;
    expectBalanced();
}
