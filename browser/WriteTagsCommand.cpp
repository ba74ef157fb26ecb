// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/WriteTagsCommand.h"

#include "browser/PlaybackSequence.h"
#include "components/WavePlay.h"
#include "platform/shell/dialogs.h"
#include "waves/WaveKeywords.h"

#include <QAction>
#include <QWidget>

WriteTagsCommand::WriteTagsCommand(PlaybackSequence& playback, std::function<std::string()> selectedFile,
                                   QWidget* window)
    : QObject(window), playback_(playback), selectedFile_(std::move(selectedFile)), tagsOf_(keywordsOf),
      window_(window), action_(new QAction(QStringLiteral("&Write Tags into File"), this))
{
    action_->setObjectName(QStringLiteral("WriteTagsItem"));
    action_->setStatusTip(QStringLiteral("Store the tags of the selected file in the file itself"));
    connect(action_, &QAction::triggered, this, &WriteTagsCommand::run);
}

bool WriteTagsCommand::run()
{
    const std::string file = selectedFile_();
    if (file.empty())
        return false;
    const std::string name = file.substr(file.find_last_of("\\/") + 1);
    auto refuse = [&](const QString& why) {
        platform::ShowErrorBox(platform::handleOf(window_),
                               QStringLiteral("The tags cannot be written into %1: %2. The file is unchanged.")
                                   .arg(QString::fromStdString(name), why)
                                   .toStdString());
        return false;
    };
    // The sound heard is read from the file as it plays: it is not replaced under it.
    if (playback_.playing() && playback_.player()->FileName() == file)
        return refuse(QStringLiteral("it is being played; stop it first"));
    const KeywordsWrite written = writeKeywords(file, tagsOf_(file));
    return written.ok || refuse(written.reason);
}
