// SPDX-License-Identifier: GPL-3.0-or-later
// Aids to auditioning in the browser window: play on selection, the preview volume and the output menu.
#include "browserfixture.h"
#include "platform/sound/sound.h"
#include "support/soundmonitor.h"

#include <QAbstractItemView>
#include <QMenu>
#include <QProcess>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>

using namespace browser_testing;

namespace {

class AuditionTest : public BrowserTest {
protected:
    void TearDown() override
    {
        platform::sndPlaySound(nullptr, 0);
        BrowserTest::TearDown();
    }
};

/// Notes every file the window asks its player to play.
class CountingPlayer : public TWavePlayer {
public:
    using TWavePlayer::TWavePlayer;
    void PlayWave() override
    {
        played.push_back(FileName());
        TWavePlayer::PlayWave();
    }
    std::vector<std::string> played;
};

TEST_F(AuditionTest, PlayOnSelectionPlaysWhereTheArrowKeysStop)
{
    for (const char* name : {"a", "b", "c", "d", "e", "f"})
        wave(std::string("K/") + name + ".wav", 1, 8000, 8, 8000); // 1 s
    BrowserWindow& w = start();
    selectFolder("C:\\K\\");
    w.DetailBtn->trigger(); // one row per line: Down goes to the next row
    CountingPlayer counting;
    counting.setForcePlay(true);
    TWavePlayer* own = w.Player;
    w.Player = &counting;
    QAbstractItemView* view = w.WaveList->currentView();
    w.WaveList->focusList();
    w.WaveList->selectRow(0);
    auto key = [&](QEvent::Type type, bool autoRepeat) {
        QKeyEvent e(type, Qt::Key_Down, Qt::NoModifier, QString(), autoRepeat);
        QApplication::sendEvent(view, &e);
        QApplication::processEvents();
    };

    // Off by default: the keys only select.
    EXPECT_FALSE(w.PlayOnSelectBtn->isChecked());
    key(QEvent::KeyPress, false);
    key(QEvent::KeyRelease, false);
    EXPECT_EQ(w.WaveList->selectedRow(), 1);
    EXPECT_TRUE(counting.played.empty());

    // On: a key press plays the row it selects at once.
    w.PlayOnSelectBtn->trigger();
    key(QEvent::KeyPress, false);
    EXPECT_EQ(counting.played, std::vector<std::string>{"C:\\K\\c.wav"});
    EXPECT_TRUE(w.Playing);
    // Held: the rows passed are not started; where the key is let go plays.
    key(QEvent::KeyRelease, true);
    key(QEvent::KeyPress, true);
    key(QEvent::KeyRelease, true);
    key(QEvent::KeyPress, true);
    EXPECT_EQ(w.WaveList->selectedRow(), 4);
    EXPECT_EQ(counting.played.size(), 1u);
    key(QEvent::KeyRelease, false);
    EXPECT_EQ(counting.played, (std::vector<std::string>{"C:\\K\\c.wav", "C:\\K\\e.wav"}));
    // A repeat that rests long enough plays too, even before its key is let go.
    key(QEvent::KeyPress, true);
    EXPECT_EQ(counting.played.size(), 2u);
    QTest::qWait(400);
    EXPECT_EQ(counting.played.back(), "C:\\K\\f.wav");
    // Selections the program makes itself play nothing more.
    w.WaveList->selectRow(0);
    QApplication::processEvents();
    EXPECT_EQ(counting.played.size(), 3u);

    w.StopSingle();
    w.Player = own;
}

TEST_F(AuditionTest, VolumeOutputAndPlayOnSelectionAreRemembered)
{
    wave("V/a.wav");
    setDword("PreviewVolume", 250); // out of range: taken as full
    setString("OutputDevice", "gone_output");
    BrowserWindow& w = start();
    selectFolder("C:\\V\\");
    EXPECT_EQ(w.VolumeSlider->value(), 100);
    EXPECT_FALSE(w.PlayOnSelectBtn->isChecked());
    // An output that is not there falls back to the default quietly; the choice is kept.
    QTest::qWait(300);
    ASSERT_FALSE(w.OutputMenu->actions().isEmpty());
    EXPECT_TRUE(w.OutputMenu->actions().first()->isChecked());
    if (testing_support::SoundMonitor::serverConfigured()) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return w.OutputMenu->actions().size() > 2; }, 3000));
        QStringList names;
        for (QAction* a : w.OutputMenu->actions())
            names << a->data().toString();
        EXPECT_TRUE(names.contains("tonfolio_null")) << names.join(",").toStdString();
        // Two outputs of one description are told apart by their names.
        QStringList modules;
        for (const char* name : {"tonfolio_twin_a", "tonfolio_twin_b"}) {
            QProcess pactl;
            pactl.start("pactl", {"load-module", "module-null-sink", QString("sink_name=") + name,
                                  "sink_properties=device.description=Twin"});
            pactl.waitForFinished(5000);
            modules << QString::fromUtf8(pactl.readAllStandardOutput()).trimmed();
        }
        QStringList twins;
        EXPECT_TRUE(QTest::qWaitFor([&] {
            twins.clear();
            for (QAction* a : w.OutputMenu->actions())
                if (a->data().toString().startsWith("tonfolio_twin"))
                    twins << a->text();
            return twins.size() == 2;
        }, 3000));
        twins.sort();
        EXPECT_EQ(twins, (QStringList{"Twin (tonfolio_twin_a)", "Twin (tonfolio_twin_b)"}));
        for (const QString& module : modules)
            QProcess::execute("pactl", {"unload-module", module});
    }

    // The slider follows the keyboard and the wheel, and sets the stream's volume.
    w.VolumeSlider->setFocus();
    QTest::keyClick(w.VolumeSlider, Qt::Key_PageDown);
    EXPECT_EQ(w.VolumeSlider->value(), 90);
    EXPECT_DOUBLE_EQ(platform::soundVolume(), 0.9);
    QWheelEvent wheel(QPointF(5, 5), w.VolumeSlider->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w.VolumeSlider, &wheel);
    EXPECT_LT(w.VolumeSlider->value(), 90);
    w.VolumeSlider->setValue(40);
    w.PlayOnSelectBtn->setChecked(true);
    closeForm();
    platform::setSoundVolume(1.0);
    ASSERT_TRUE(storedValue("PreviewVolume") && storedValue("PlayOnSelect") && storedValue("OutputDevice"));
    EXPECT_EQ(storedValue("PreviewVolume")->data, std::string("\x28\0\0\0", 4));
    EXPECT_EQ(storedValue("PlayOnSelect")->data, std::string("\x01\0\0\0", 4));
    EXPECT_EQ(storedValue("OutputDevice")->data, std::string("gone_output\0", 12));

    BrowserWindow& again = start();
    EXPECT_EQ(again.VolumeSlider->value(), 40);
    EXPECT_DOUBLE_EQ(platform::soundVolume(), 0.4);
    EXPECT_TRUE(again.PlayOnSelectBtn->isChecked());
    closeForm();
    platform::setSoundVolume(1.0);
    platform::setSoundOutput("");
}

} // namespace
