// SPDX-License-Identifier: GPL-3.0-or-later
// The aids to auditioning on a wave list of their own: play on selection, the preview volume and the
// output menu, and the values they keep.
#include "browser/SettingsRecord.h"
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

class AuditionSettingsTest : public BrowserTest {
protected:
    void TearDown() override
    {
        window_.reset();
        platform::setSoundVolume(1.0);
        platform::setSoundOutput("");
        BrowserTest::TearDown();
    }
    /// Auditioning over a list of its own, in a window of their own.
    AuditionSettings& make()
    {
        window_ = std::make_unique<QWidget>();
        list_ = new WaveListWidget(window_.get());
        list_->resize(400, 300);
        auto* audition = new AuditionSettings(*list_, window_.get());
        window_->show();
        return *audition;
    }

    std::unique_ptr<QWidget> window_;
    WaveListWidget* list_ = nullptr;
};

TEST_F(AuditionSettingsTest, PlayOnSelectionPlaysWhereTheArrowKeysStop)
{
    for (const char* name : {"a", "b", "c", "d", "e", "f"})
        wave(std::string("K/") + name + ".wav", 1, 8000, 8, 8000); // 1 s
    AuditionSettings& audition = make();
    fillList(*list_, "K");
    list_->setViewStyle(WaveListWidget::vsReport); // one row per line: Down goes to the next row
    std::vector<std::string> played;
    QObject::connect(&audition, &AuditionSettings::playRequested,
                     [&] { played.push_back(list_->model()->fileName(list_->selectedRow())); });
    QAbstractItemView* view = list_->currentView();
    list_->focusList();
    list_->selectRow(0);
    auto key = [&](QEvent::Type type, bool autoRepeat) {
        QKeyEvent e(type, Qt::Key_Down, Qt::NoModifier, QString(), autoRepeat);
        QApplication::sendEvent(view, &e);
        QApplication::processEvents();
    };

    // Off by default: the keys only select.
    EXPECT_FALSE(audition.playOnSelection()->isChecked());
    key(QEvent::KeyPress, false);
    key(QEvent::KeyRelease, false);
    EXPECT_EQ(list_->selectedRow(), 1);
    EXPECT_TRUE(played.empty());

    // On: a key press plays the row it selects at once.
    audition.playOnSelection()->trigger();
    key(QEvent::KeyPress, false);
    EXPECT_EQ(played, std::vector<std::string>{"c.wav"});
    // Held: the rows passed are not started; where the key is let go plays.
    key(QEvent::KeyRelease, true);
    key(QEvent::KeyPress, true);
    key(QEvent::KeyRelease, true);
    key(QEvent::KeyPress, true);
    EXPECT_EQ(list_->selectedRow(), 4);
    EXPECT_EQ(played.size(), 1u);
    key(QEvent::KeyRelease, false);
    EXPECT_EQ(played, (std::vector<std::string>{"c.wav", "e.wav"}));
    // A repeat that rests long enough plays too, even before its key is let go.
    key(QEvent::KeyPress, true);
    EXPECT_EQ(played.size(), 2u);
    QTest::qWait(400);
    EXPECT_EQ(played.back(), "f.wav");
    // Selections the program makes itself play nothing more.
    list_->selectRow(0);
    QApplication::processEvents();
    EXPECT_EQ(played.size(), 3u);
}

TEST_F(AuditionSettingsTest, VolumeOutputAndPlayOnSelectionAreKept)
{
    SettingsRecord stored;
    stored.previewVolume = 250; // out of range: taken as full
    stored.outputDevice = "gone_output";
    AuditionSettings& audition = make();
    audition.applySettings(stored);
    EXPECT_EQ(audition.volumeSlider()->value(), 100);
    EXPECT_FALSE(audition.playOnSelection()->isChecked());
    // An output that is not there falls back to the default quietly; the choice is kept.
    QTest::qWait(300);
    QMenu* menu = audition.outputMenu();
    ASSERT_FALSE(menu->actions().isEmpty());
    EXPECT_TRUE(menu->actions().first()->isChecked());
    if (testing_support::SoundMonitor::serverConfigured()) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return menu->actions().size() > 2; }, 3000));
        QStringList names;
        for (QAction* a : menu->actions())
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
            for (QAction* a : menu->actions())
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
    QSlider* slider = audition.volumeSlider();
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_PageDown);
    EXPECT_EQ(slider->value(), 90);
    EXPECT_DOUBLE_EQ(platform::soundVolume(), 0.9);
    QWheelEvent wheel(QPointF(5, 5), slider->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(slider, &wheel);
    EXPECT_LT(slider->value(), 90);
    slider->setValue(40);
    audition.playOnSelection()->setChecked(true);
    SettingsRecord kept;
    audition.storeSettings(kept);
    EXPECT_EQ(kept.previewVolume, 40);
    EXPECT_EQ(kept.playOnSelect, true);
    EXPECT_EQ(kept.outputDevice, "gone_output");

    window_.reset();
    platform::setSoundVolume(1.0);
    AuditionSettings& again = make();
    again.applySettings(kept);
    EXPECT_EQ(again.volumeSlider()->value(), 40);
    EXPECT_DOUBLE_EQ(platform::soundVolume(), 0.4);
    EXPECT_TRUE(again.playOnSelection()->isChecked());
}

} // namespace
