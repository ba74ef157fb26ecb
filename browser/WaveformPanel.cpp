// SPDX-License-Identifier: GPL-3.0-or-later
// BrowserWindow: the waveform overview of the selected wave under the list, its toggle and its settings.
#include "browser/WaveformStrip.h"
#include "browser/BrowserWindow.h"

#include <QSplitter>
#include <algorithm>

using namespace platform;

namespace {

const char* const kWaveformHint = "Shows the waveform of the selected wave";
// Heights from a damaged store must still give a strip that can be seen and handled.
constexpr int kMinWaveformHeight = 40;
constexpr int kMaxWaveformHeight = 4000;

} // namespace

void BrowserWindow::setupWaveform()
{
    Waveform = new WaveformStrip;
    Waveform->setObjectName("Waveform");
    ListSplitter = new QSplitter(Qt::Vertical);
    ListSplitter->setObjectName("ListSplitter");
    ListSplitter->setHandleWidth(3);
    ListSplitter->setChildrenCollapsible(false);
    // The list keeps its place in the window's splitter, now with the strip below it.
    TreeListSplitter->replaceWidget(TreeListSplitter->indexOf(WaveList), ListSplitter);
    ListSplitter->addWidget(WaveList);
    ListSplitter->addWidget(Waveform);
    ListSplitter->setStretchFactor(0, 1);
    ListSplitter->setStretchFactor(1, 0);
    TreeListSplitter->setStretchFactor(TreeListSplitter->indexOf(ListSplitter), 1);
    Waveform->hide();

    WaveformItem = new QAction("Wave&form", this);
    WaveformItem->setObjectName("WaveformItem");
    WaveformBtn = new QAction(QIcon(":/browser/waveform.svg"), "Waveform", this);
    WaveformBtn->setObjectName("WaveformBtn");
    WaveformBtn->setToolTip(kWaveformHint);
    for (QAction* a : {WaveformItem, WaveformBtn}) {
        a->setCheckable(true);
        a->setStatusTip(kWaveformHint);
        connect(a, &QAction::toggled, this, &BrowserWindow::WaveformBtnClick);
    }
    // Beside the play modes; in the menu with the other playing commands.
    const QList<QAction*> buttons = MainToolBar->actions();
    const int modes = int(buttons.indexOf(AllWavesBtn));
    MainToolBar->insertAction(modes >= 0 && modes + 1 < buttons.size() ? buttons[modes + 1] : nullptr, WaveformBtn);
    const QList<QAction*> items = FileMenu->actions();
    const int stop = int(items.indexOf(StopItem));
    FileMenu->insertAction(stop >= 0 && stop + 1 < items.size() ? items[stop + 1] : nullptr, WaveformItem);

    connect(WaveList, &WaveListWidget::changed, this, [this] { ShowSelectedWaveform(); });
    // A refill may bring a changed file under the same name.
    connect(WaveList->model(), &QAbstractItemModel::modelReset, this, [this] { ShowSelectedWaveform(true); });
    connect(Waveform, &WaveformStrip::playFromRequested, this, &BrowserWindow::WaveformClick);
    connect(Waveform, &WaveformStrip::stopRequested, this, &BrowserWindow::StopPlaying);
    Waveform->position = [this] {
        // Only the sound of the file shown has a place in the picture.
        return Player->FileName() == Waveform->file() ? Player->PositionSeconds() : -1.0;
    };
}

void BrowserWindow::WaveformBtnClick(bool shown)
{
    WaveformItem->setChecked(shown);
    WaveformBtn->setChecked(shown);
    if (shown == !Waveform->isHidden())
        return;
    if (!shown)
        waveformHeight_ = waveformHeight();
    Waveform->setVisible(shown);
    if (shown)
        setWaveformHeight(waveformHeight_);
    ShowSelectedWaveform();
}

void BrowserWindow::ShowSelectedWaveform(bool reload)
{
    // The file of the row as the disk spells it: of two names differing only in case, the one shown.
    Waveform->showFile(selectedWaveFile(), reload);
    // Back on the row playing (the filter had hidden it): the marker takes up the sound again.
    if (Playing)
        Waveform->followPlayback();
}

void BrowserWindow::WaveformClick(double seconds)
{
    const int row = WaveList->selectedRow();
    if (row < 0)
        return;
    // In the all-waves mode the sequence goes on from this row through the rows shown after it.
    if (AllWavesBtn->isChecked())
        allWaves_->startAt(row);
    PlaySelected(seconds);
}

int BrowserWindow::waveformHeight() const
{
    // Until the window is on the screen, the strip's height is only what was asked for.
    return Waveform->isVisible() ? Waveform->height() : waveformHeight_;
}

void BrowserWindow::setWaveformHeight(int pixels)
{
    waveformHeight_ = std::clamp(pixels, kMinWaveformHeight, kMaxWaveformHeight);
    const QList<int> sizes = ListSplitter->sizes();
    const int total = std::max(ListSplitter->height(), sizes.value(0) + sizes.value(1));
    ListSplitter->setSizes({std::max(1, total - waveformHeight_), waveformHeight_});
}

void BrowserWindow::loadWaveformSettings(HKEY key)
{
    if (const auto height = regReadDword(key, "WaveformHeight"))
        waveformHeight_ = std::clamp(int(*height), kMinWaveformHeight, kMaxWaveformHeight);
    const auto shown = regReadDword(key, "ShowWaveform");
    WaveformBtnClick(shown && *shown != 0);
}

void BrowserWindow::saveWaveformSettings(HKEY key)
{
    regWriteDword(key, "ShowWaveform", WaveformBtn->isChecked() ? 1 : 0);
    regWriteDword(key, "WaveformHeight", waveformHeight());
}
