// SPDX-License-Identifier: GPL-3.0-or-later
// BrowserWindow: aids to auditioning beyond the play commands - the preview volume, the output device and
// playing a row as soon as the keyboard selects it.
//
// The volume and the output belong to the program's own sound stream; the system's mixer and
// default output are left as they are.
#include "browser/BrowserWindow.h"
#include "platform/settings/registry.h"
#include "platform/sound/sound.h"

#include <QActionGroup>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QSlider>
#include <QTreeView>
#include <algorithm>

using namespace platform;

namespace {

constexpr int kFullVolume = 100;
// Held arrow keys repeat every 30 to 50 ms; once they have rested this long, the list has stopped.
constexpr int kSelectionSettleMs = 150;

/// The toggle's picture: a play triangle over a down arrow, drawn at each size so it stays crisp.
QIcon playOnSelectIcon()
{
    QIcon icon;
    for (int size : {20, 40}) {
        QPixmap picture(size, size);
        picture.fill(Qt::transparent);
        QPainter p(&picture);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 20.0, size / 20.0);
        QPainterPath play;
        play.moveTo(3, 2);
        play.lineTo(11, 6.5);
        play.lineTo(3, 11);
        play.closeSubpath();
        p.fillPath(play, QColor(0, 128, 0));
        p.setPen(QPen(QColor(0, 0, 128), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(15, 3), QPointF(15, 17));
        p.drawPolyline(QPolygonF({QPointF(11.5, 13.5), QPointF(15, 17), QPointF(18.5, 13.5)}));
        p.end();
        icon.addPixmap(picture);
    }
    return icon;
}

/// What the output menu calls an output: its description (its name when it has none), and its name too
/// where another output has the same description, so that the two can be told apart.
QString outputText(const SoundOutput& output, const std::vector<SoundOutput>& outputs)
{
    const auto shown = [](const SoundOutput& o) { return o.description.empty() ? o.name : o.description; };
    const std::string text = shown(output);
    const bool shared = std::count_if(outputs.begin(), outputs.end(),
                                      [&](const SoundOutput& o) { return shown(o) == text; }) > 1;
    const std::string full = shared && text != output.name ? text + " (" + output.name + ")" : text;
    // Descriptions may hold "&"; it is shown, not taken as an access key.
    return QString::fromStdString(full).replace('&', "&&");
}

/// Notes whether the list is handling a key, and whether that key is held and repeating.
class KeySelectionWatch : public QObject {
public:
    using QObject::QObject;
    bool handlingKey = false;
    bool repeating = false;
    std::function<void()> released;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            handlingKey = true;
            repeating = static_cast<QKeyEvent*>(event)->isAutoRepeat();
            // The view moves the selection right after this returns, within the same event.
            QMetaObject::invokeMethod(
                this, [this] { handlingKey = false; }, Qt::QueuedConnection);
        } else if (event->type() == QEvent::KeyRelease && !static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
            if (released)
                released();
        }
        return false;
    }
};

} // namespace

void BrowserWindow::setupAudition()
{
    PlayOnSelectBtn = new QAction(playOnSelectIcon(), "Play on &Selection", this);
    PlayOnSelectBtn->setObjectName("PlayOnSelectBtn");
    PlayOnSelectBtn->setCheckable(true);
    PlayOnSelectBtn->setToolTip("Play on selection");
    PlayOnSelectBtn->setStatusTip("Play a wave as soon as it is selected with the keyboard");

    VolumeSlider = new QSlider(Qt::Horizontal, this);
    VolumeSlider->setObjectName("VolumeSlider");
    VolumeSlider->setRange(0, kFullVolume);
    VolumeSlider->setSingleStep(5);
    VolumeSlider->setPageStep(10);
    VolumeSlider->setValue(kFullVolume);
    VolumeSlider->setFixedWidth(VolumeSlider->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 8);
    VolumeSlider->setStatusTip("Volume of the sounds played here; the system's volume is left alone");
    VolumeSlider->setToolTip("Preview volume: 100%");
    // A screen reader names it and reads its value (0 to 100) from the slider itself.
    VolumeSlider->setAccessibleName("Preview volume");
    connect(VolumeSlider, &QSlider::valueChanged, this, [this](int value) {
        setSoundVolume(double(value) / kFullVolume);
        VolumeSlider->setToolTip(QString("Preview volume: %1%").arg(value));
    });

    // Beside the play modes in the toolbar, after Play and Stop in the menu.
    const QList<QAction*> tools = MainToolBar->actions();
    const qsizetype modes = tools.indexOf(AllWavesBtn);
    QAction* afterModes = modes >= 0 && modes + 1 < tools.size() ? tools[modes + 1] : nullptr;
    MainToolBar->insertAction(afterModes, PlayOnSelectBtn);
    MainToolBar->insertSeparator(afterModes);
    MainToolBar->insertWidget(afterModes, VolumeSlider);

    OutputMenu = new QMenu("&Output", this);
    OutputMenu->setObjectName("OutputMenu");
    OutputMenu->menuAction()->setStatusTip("Choose where the sounds are played");
    const QList<QAction*> items = FileMenu->actions();
    const qsizetype stop = items.indexOf(StopItem);
    QAction* afterStop = stop >= 0 && stop + 1 < items.size() ? items[stop + 1] : nullptr;
    FileMenu->insertAction(afterStop, PlayOnSelectBtn);
    FileMenu->insertMenu(afterStop, OutputMenu);
    FillOutputMenu();
    // The server tells of outputs on its own thread; the menu is rebuilt on the window's.
    watchSoundOutputs([this] {
        QMetaObject::invokeMethod(
            this, [this] { FillOutputMenu(); }, Qt::QueuedConnection);
    });

    auto* watch = new KeySelectionWatch(this);
    keySelectionWatch_ = watch;
    watch->released = [this] {
        // The key that moved the list is let go: play where it stopped without waiting longer.
        if (selectionSettle_->isActive()) {
            selectionSettle_->stop();
            PlaySettledSelection();
        }
    };
    WaveList->listView()->installEventFilter(watch);
    WaveList->detailView()->installEventFilter(watch);
    selectionSettle_ = new QTimer(this);
    selectionSettle_->setSingleShot(true);
    selectionSettle_->setInterval(kSelectionSettleMs);
    connect(selectionSettle_, &QTimer::timeout, this, &BrowserWindow::PlaySettledSelection);
    connect(WaveList->listView()->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &BrowserWindow::WaveListSelectedByKey);
}

void BrowserWindow::LoadAuditionSettings(void* key)
{
    if (const auto volume = regReadDword(key, "PreviewVolume"))
        VolumeSlider->setValue(std::clamp(*volume, 0, kFullVolume));
    setSoundVolume(double(VolumeSlider->value()) / kFullVolume);
    // An output that is not there now is kept for when it comes back; meanwhile the default plays.
    OutputChoice = regReadString(key, "OutputDevice").value_or(std::string());
    setSoundOutput(OutputChoice);
    FillOutputMenu();
    if (const auto onSelect = regReadDword(key, "PlayOnSelect"))
        PlayOnSelectBtn->setChecked(*onSelect != 0);
}

void BrowserWindow::SaveAuditionSettings(void* key)
{
    regWriteDword(key, "PreviewVolume", VolumeSlider->value());
    regWriteString(key, "OutputDevice", OutputChoice);
    regWriteDword(key, "PlayOnSelect", PlayOnSelectBtn->isChecked() ? 1 : 0);
}

void BrowserWindow::FillOutputMenu()
{
    OutputMenu->clear();
    auto* group = new QActionGroup(OutputMenu);
    const std::vector<SoundOutput> outputs = soundOutputs();
    const bool chosenThere =
        std::any_of(outputs.begin(), outputs.end(), [this](const SoundOutput& o) { return o.name == OutputChoice; });
    auto add = [&](const QString& text, const std::string& name, bool checked) {
        QAction* item = OutputMenu->addAction(text);
        item->setCheckable(true);
        item->setChecked(checked);
        item->setData(QString::fromStdString(name));
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, name] { ChooseOutput(name); });
    };
    add("&Default Output", std::string(), OutputChoice.empty() || !chosenThere);
    if (!outputs.empty())
        OutputMenu->addSeparator();
    for (const SoundOutput& o : outputs) {
        add(outputText(o, outputs), o.name, chosenThere && o.name == OutputChoice);
        OutputMenu->actions().last()->setStatusTip(QString::fromStdString(o.name));
    }
}

void BrowserWindow::ChooseOutput(const std::string& name)
{
    OutputChoice = name;
    setSoundOutput(name);
    FillOutputMenu();
}

void BrowserWindow::WaveListSelectedByKey()
{
    auto* watch = static_cast<KeySelectionWatch*>(keySelectionWatch_);
    if (!watch->handlingKey || !PlayOnSelectBtn->isChecked() || WaveList->selectedRow() < 0 || WaveList->isEditing())
        return;
    // Only one start per key: the play itself may move the selection (all-waves mode skips rows).
    watch->handlingKey = false;
    if (watch->repeating) {
        // A held key: wait until the list stops instead of starting every row it passes.
        selectionSettle_->start();
        return;
    }
    selectionSettle_->stop();
    StartPlaying();
    UpdateCommands();
}

void BrowserWindow::PlaySettledSelection()
{
    if (!PlayOnSelectBtn->isChecked() || WaveList->selectedRow() < 0 || WaveList->isEditing())
        return;
    StartPlaying();
    UpdateCommands();
}
