// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/WaveformPanel.h"

#include "browser/SettingsRecord.h"
#include "browser/WaveformStrip.h"

#include <QAction>
#include <QIcon>
#include <QSplitter>
#include <algorithm>

namespace {

const char* const kWaveformHint = "Shows the waveform of the selected wave";
// Heights from a damaged store must still give a strip that can be seen and handled.
constexpr int kMinWaveformHeight = 40;
constexpr int kMaxWaveformHeight = 4000;

} // namespace

WaveformPanel::WaveformPanel(QSplitter* host, QWidget* list, QObject* parent)
    : QObject(parent), strip_(new WaveformStrip), splitter_(new QSplitter(Qt::Vertical)),
      item_(new QAction("Wave&form", this)),
      button_(new QAction(QIcon(":/browser/waveform.svg"), "Waveform", this))
{
    strip_->setObjectName("Waveform");
    splitter_->setObjectName("ListSplitter");
    splitter_->setHandleWidth(3);
    splitter_->setChildrenCollapsible(false);
    host->replaceWidget(host->indexOf(list), splitter_);
    splitter_->addWidget(list);
    splitter_->addWidget(strip_);
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 0);
    host->setStretchFactor(host->indexOf(splitter_), 1);
    strip_->hide();

    item_->setObjectName("WaveformItem");
    button_->setObjectName("WaveformBtn");
    button_->setToolTip(kWaveformHint);
    for (QAction* a : {item_, button_}) {
        a->setCheckable(true);
        a->setStatusTip(kWaveformHint);
        connect(a, &QAction::toggled, this, &WaveformPanel::setShown);
    }
}

void WaveformPanel::setShown(bool shown)
{
    item_->setChecked(shown);
    button_->setChecked(shown);
    if (shown == !strip_->isHidden())
        return;
    if (!shown)
        height_ = stripHeight();
    strip_->setVisible(shown);
    if (shown)
        setStripHeight(height_);
    emit shownChanged(shown);
}

void WaveformPanel::showFile(const std::string& path, bool reload, bool playing)
{
    strip_->showFile(path, reload);
    // Back on the row playing (the filter had hidden it): the marker takes up the sound again.
    if (playing)
        strip_->followPlayback();
}

int WaveformPanel::stripHeight() const
{
    // Until the window is on the screen, the strip's height is only what was asked for.
    return strip_->isVisible() ? strip_->height() : height_;
}

void WaveformPanel::setStripHeight(int pixels)
{
    height_ = std::clamp(pixels, kMinWaveformHeight, kMaxWaveformHeight);
    const QList<int> sizes = splitter_->sizes();
    const int total = std::max(splitter_->height(), sizes.value(0) + sizes.value(1));
    splitter_->setSizes({std::max(1, total - height_), height_});
}

void WaveformPanel::applySettings(const SettingsRecord& stored)
{
    if (stored.waveformHeight)
        height_ = std::clamp(int(*stored.waveformHeight), kMinWaveformHeight, kMaxWaveformHeight);
    setShown(stored.showWaveform.value_or(false));
}

void WaveformPanel::storeSettings(SettingsRecord& record) const
{
    record.showWaveform = button_->isChecked();
    record.waveformHeight = stripHeight();
}
