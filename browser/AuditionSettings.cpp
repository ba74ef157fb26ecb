// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/AuditionSettings.h"

#include "browser/SettingsRecord.h"
#include "browser/ToolbarCommands.h"
#include "browser/WaveListWidget.h"
#include "library/loudnessmeter.h"
#include "platform/sound/sound.h"

#include <QActionGroup>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QSlider>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <algorithm>
#include <functional>

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

} // namespace

/// Notes whether the list is handling a key, and whether that key is held and repeating.
class AuditionSettings::KeyWatch : public QObject {
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

AuditionSettings::AuditionSettings(WaveListWidget& list, QWidget* parent)
    : QObject(parent), list_(list), playOnSelect_(new QAction(playOnSelectIcon(), "Play on &Selection", parent)),
      volume_(new QSlider(Qt::Horizontal, parent)), outputMenu_(new QMenu("&Output", parent)),
      matchLoudness_(new QAction("&Match Loudness", parent)), keyWatch_(new KeyWatch(this)),
      selectionSettle_(new QTimer(this))
{
    playOnSelect_->setObjectName("PlayOnSelectBtn");
    playOnSelect_->setCheckable(true);
    playOnSelect_->setToolTip("Play on selection");
    playOnSelect_->setStatusTip("Play a wave as soon as it is selected with the keyboard");

    volume_->setObjectName("VolumeSlider");
    volume_->setRange(0, kFullVolume);
    volume_->setSingleStep(5);
    volume_->setPageStep(10);
    volume_->setValue(kFullVolume);
    volume_->setFixedWidth(volume_->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 8);
    volume_->setStatusTip("Volume of the sounds played here; the system's volume is left alone");
    volume_->setToolTip("Preview volume: 100%");
    // A screen reader names it and reads its value (0 to 100) from the slider itself.
    volume_->setAccessibleName("Preview volume");
    connect(volume_, &QSlider::valueChanged, this, [this](int value) {
        setSoundVolume(double(value) / kFullVolume);
        volume_->setToolTip(QString("Preview volume: %1%").arg(value));
    });

    matchLoudness_->setObjectName("MatchLoudnessItem");
    matchLoudness_->setCheckable(true);
    matchLoudness_->setStatusTip("Play every measured sound at one loudness (-18 LUFS), peaks kept under -1 dBFS");
    connect(matchLoudness_, &QAction::toggled, this, &AuditionSettings::applyMatchGain);

    outputMenu_->setObjectName("OutputMenu");
    outputMenu_->menuAction()->setStatusTip("Choose where the sounds are played");
    fillOutputMenu();
    // The server tells of outputs on its own thread; the menu is rebuilt on the owner's.
    watchSoundOutputs([this] {
        QMetaObject::invokeMethod(
            this, [this] { fillOutputMenu(); }, Qt::QueuedConnection);
    });

    keyWatch_->released = [this] {
        // The key that moved the list is let go: play where it stopped without waiting longer.
        if (selectionSettle_->isActive()) {
            selectionSettle_->stop();
            playSettledSelection();
        }
    };
    list_.listView()->installEventFilter(keyWatch_);
    list_.detailView()->installEventFilter(keyWatch_);
    selectionSettle_->setSingleShot(true);
    selectionSettle_->setInterval(kSelectionSettleMs);
    connect(selectionSettle_, &QTimer::timeout, this, &AuditionSettings::playSettledSelection);
    connect(list_.listView()->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &AuditionSettings::selectionChanged);
}

void AuditionSettings::place(QToolBar& bar, QAction* afterButton, QMenu& menu, QAction* afterItem)
{
    addCommandAfter(playOnSelect_, &bar, afterButton, &menu, afterItem);
    QAction* afterToggle = actionAfter(&bar, playOnSelect_);
    bar.insertSeparator(afterToggle);
    bar.insertWidget(afterToggle, volume_);
    menu.insertMenu(actionAfter(&menu, playOnSelect_), outputMenu_);
    menu.insertAction(actionAfter(&menu, outputMenu_->menuAction()), matchLoudness_);
}

AuditionSettings::~AuditionSettings()
{
    watchSoundOutputs(nullptr);
    setSoundGain(0);
}

void AuditionSettings::prepareToPlay(int row)
{
    playing_.reset();
    if (row >= 0 && row < list_.model()->rowCount() && list_.model()->row(row).analysed)
        playing_ = list_.model()->row(row).measures;
    applyMatchGain();
}

void AuditionSettings::applyMatchGain()
{
    // The running sound follows a toggle at once.
    const bool matching = matchLoudness_->isChecked() && playing_;
    setSoundGain(matching ? library::loudnessMatchGain(playing_->loudness, playing_->peak) : 0.0);
}

void AuditionSettings::applySettings(const SettingsRecord& stored)
{
    if (stored.previewVolume)
        volume_->setValue(std::clamp(*stored.previewVolume, 0, kFullVolume));
    setSoundVolume(double(volume_->value()) / kFullVolume);
    // An output that is not there now is kept for when it comes back; meanwhile the default plays.
    chooseOutput(stored.outputDevice.value_or(std::string()));
    if (stored.playOnSelect)
        playOnSelect_->setChecked(*stored.playOnSelect);
    matchLoudness_->setChecked(stored.matchLoudness.value_or(false));
}

void AuditionSettings::storeSettings(SettingsRecord& record) const
{
    record.previewVolume = volume_->value();
    record.outputDevice = output_;
    record.playOnSelect = playOnSelect_->isChecked();
    record.matchLoudness = matchLoudness_->isChecked();
}

void AuditionSettings::fillOutputMenu()
{
    outputMenu_->clear();
    auto* group = new QActionGroup(outputMenu_);
    const std::vector<SoundOutput> outputs = soundOutputs();
    const bool chosenThere =
        std::any_of(outputs.begin(), outputs.end(), [this](const SoundOutput& o) { return o.name == output_; });
    auto add = [&](const QString& text, const std::string& name, bool checked) {
        QAction* item = outputMenu_->addAction(text);
        item->setCheckable(true);
        item->setChecked(checked);
        item->setData(QString::fromStdString(name));
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, name] { chooseOutput(name); });
    };
    add("&Default Output", std::string(), output_.empty() || !chosenThere);
    if (!outputs.empty())
        outputMenu_->addSeparator();
    for (const SoundOutput& o : outputs) {
        add(outputText(o, outputs), o.name, chosenThere && o.name == output_);
        outputMenu_->actions().last()->setStatusTip(QString::fromStdString(o.name));
    }
}

void AuditionSettings::chooseOutput(const std::string& name)
{
    output_ = name;
    setSoundOutput(name);
    fillOutputMenu();
}

bool AuditionSettings::playsOnSelection() const
{
    return playOnSelect_->isChecked() && list_.selectedRow() >= 0 && !list_.isEditing();
}

void AuditionSettings::selectionChanged()
{
    if (!keyWatch_->handlingKey || !playsOnSelection())
        return;
    // Only one start per key: the play itself may move the selection (all-waves mode skips rows).
    keyWatch_->handlingKey = false;
    if (keyWatch_->repeating) {
        // A held key: wait until the list stops instead of starting every row it passes.
        selectionSettle_->start();
        return;
    }
    selectionSettle_->stop();
    emit playRequested();
}

void AuditionSettings::playSettledSelection()
{
    if (playsOnSelection())
        emit playRequested();
}
