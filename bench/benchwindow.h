// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The browser window's controls a benchmark drives, reached once by their object names.

#include "browser/BrowserWindow.h"
#include "browser/WaveListWidget.h"
#include "dirtree/DirTree.h"

#include <QAction>
#include <QLineEdit>

struct WindowControls {
    explicit WindowControls(const BrowserWindow& form)
        : WaveList(find<WaveListWidget>(form, "WaveList")), FolderTree(find<TDirTree>(form, "FolderTree")),
          FilterBox(find<QLineEdit>(form, "FilterBox")), DetailBtn(find<QAction>(form, "DetailBtn")),
          SmallBtn(find<QAction>(form, "SmallBtn")), ListBtn(find<QAction>(form, "ListBtn")),
          LargeBtn(find<QAction>(form, "LargeBtn"))
    {
    }
    WaveListWidget* WaveList;
    TDirTree* FolderTree;
    QLineEdit* FilterBox;
    QAction* DetailBtn;
    QAction* SmallBtn;
    QAction* ListBtn;
    QAction* LargeBtn;

private:
    template <typename T> static T* find(const BrowserWindow& form, const char* name)
    {
        return form.findChild<T*>(QLatin1String(name));
    }
};
