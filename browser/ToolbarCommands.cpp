// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/ToolbarCommands.h"

#include <QAction>
#include <QActionGroup>
#include <QIcon>
#include <QMenu>
#include <QToolBar>
#include <algorithm>

QAction* actionAfter(const QWidget* container, QAction* anchor)
{
    const QList<QAction*> actions = container->actions();
    const qsizetype at = actions.indexOf(anchor);
    return at >= 0 && at + 1 < actions.size() ? actions[at + 1] : nullptr;
}

void addCommandAfter(QAction* button, QToolBar* bar, QAction* afterButton, QMenu* menu, QAction* afterItem,
                     QAction* item)
{
    bar->insertAction(actionAfter(bar, afterButton), button);
    menu->insertAction(actionAfter(menu, afterItem), item ? item : button);
}

QActionGroup* exclusiveGroup(QObject* parent, const QList<QAction*>& buttons)
{
    auto* group = new QActionGroup(parent);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    for (QAction* a : buttons) {
        group->addAction(a);
        // A toggle may release the button that is down, which a click never does: it stays down.
        QObject::connect(a, &QAction::toggled, group, [a, group](bool down) {
            const QList<QAction*> all = group->actions();
            if (!down && std::none_of(all.begin(), all.end(), [](QAction* b) { return b->isChecked(); }))
                a->setChecked(true);
        });
    }
    return group;
}

void setToolbarIcons(const QWidget& window)
{
    const struct {
        const char* button;
        const char* themeName; ///< empty where no theme names a fitting icon
        const char* own;
    } icons[] = {
        {"PlayBtn", "media-playback-start", "play"},
        {"StopBtn", "media-playback-stop", "stop"},
        {"GoUpBtn", "go-up", "previousfolder"},
        {"NewFolderBtn", "folder-new", "newfolder"},
        {"DeleteBtn", "edit-delete", "delete"},
        {"PropBtn", "document-properties", "properties"},
        {"LargeBtn", "view-list-icons", "largeicons"},
        {"SmallBtn", "view-list-compact", "smallicons"},
        {"ListBtn", "view-list-text", "list"},
        {"DetailBtn", "view-list-details", "details"},
        {"LoopBtn", "media-playlist-repeat", "loop"},
        {"AllWavesBtn", "", "allwaves"},
        {"AboutBtn", "help-about", "about"},
        {"ExitBtn", "application-exit", "leave"},
    };
    for (const auto& i : icons) {
        auto* button = window.findChild<QAction*>(QLatin1String(i.button));
        if (!button)
            continue;
        const QString name = QLatin1String(i.themeName);
        if (!name.isEmpty() && QIcon::hasThemeIcon(name))
            button->setIcon(QIcon::fromTheme(name));
        else
            button->setIcon(QIcon(QStringLiteral(":/browser/") + QLatin1String(i.own) + QStringLiteral(".svg")));
    }
}
