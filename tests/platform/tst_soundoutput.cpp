// SPDX-License-Identifier: GPL-3.0-or-later
// The sound call's place, volume and output against the test sound server, and how one sound joins the
// next: what reaches the null sink is recorded and checked.
#include "support/soundcalltest.h"
#include "support/tempdrive.h"

#include <QProcess>
#include <QRegularExpression>
#include <QElapsedTimer>
#include <algorithm>
#include <atomic>
#include <vector>

using namespace sound_testing;

namespace {

TEST_F(SoundTest, PlaysFromAPointAndTellsWhereTheSoundIs)
{
    testing_support::TempDrive drive;
    // One second of 440 Hz, then one of 880 Hz.
    const auto [fmt, first] = chunksOf(makeWav(1, 22050, 16, 22050, 440));
    const std::string second = chunksOf(makeWav(1, 22050, 16, 22050, 880)).second.substr(8);
    drive.write("two.wav", riffOf(fmt + "data" + le(2 * 22050 * 2, 4) + first.substr(8) + second));

    EXPECT_LT(soundPositionSeconds(), 0);
    long from = mon.mark();
    ASSERT_TRUE(sndPlaySoundFrom("C:\\TWO.WAV", SND_ASYNC | SND_NODEFAULT, 1.0));
    long at = hear(from, 400);
    ASSERT_GE(at, 0);
    const double early = soundPositionSeconds();
    EXPECT_GE(early, 1.0);
    EXPECT_LT(early, 1.6);
    mon.pump(200);
    EXPECT_GT(soundPositionSeconds(), early);
    // A sound that takes over tells its own position.
    const long joined = mon.mark();
    ASSERT_TRUE(sndPlaySoundFrom("C:\\TWO.WAV", SND_ASYNC | SND_NODEFAULT, 1.1));
    mon.pump(50);
    const double replaced = soundPositionSeconds();
    EXPECT_GE(replaced, 1.1);
    EXPECT_LT(replaced, 1.4);
    mon.pump(1100);
    // From 1.0 s until the second play, then 0.9 s from 1.1 s: all of it the second tone, unbroken.
    EXPECT_NEAR(mon.loudMs(at), SoundMonitor::ms(joined - at) + 900, 150);
    EXPECT_GT(mon.toneShare(at + mon.samplesOf(50), joined, 880), 0.5);
    EXPECT_GT(mon.toneShare(joined + mon.samplesOf(150), joined + mon.samplesOf(850), 880), 0.5);
    EXPECT_LT(mon.toneShare(at, mon.size(), 440), 0.05);
    ASSERT_TRUE(waitIdle());
    EXPECT_LT(soundPositionSeconds(), 0);
    EXPECT_FALSE(sndPlaySoundFrom("C:\\TWO.WAV", SND_ASYNC | SND_MEMORY, 0.5));
}

TEST_F(SoundTest, TheVolumeIsThatOfTheProgramsOwnStream)
{
    long from = mon.mark();
    ASSERT_TRUE(sndPlaySound(tone(3.0), kAsync));
    long at = hear(from, 600);
    ASSERT_GE(at, 0);
    const double full = mon.rms(at + mon.samplesOf(100), at + mon.samplesOf(500));
    setSoundVolume(0.5);
    long changed = mon.mark();
    mon.pump(700);
    const double half = mon.rms(changed + mon.samplesOf(200), changed + mon.samplesOf(600));
    // The server's volume scale is cubic: half way is an eighth of the amplitude.
    EXPECT_NEAR(half / full, 0.125, 0.04);
    // A new sound starts at the volume set.
    from = mon.mark();
    ASSERT_TRUE(sndPlaySound(tone(1.0), kAsync));
    at = hear(from, 600);
    setSoundVolume(1.0);
    ASSERT_GE(at, 0);
    EXPECT_NEAR(mon.rms(at + mon.samplesOf(100), at + mon.samplesOf(500)) / full, 0.125, 0.04);
    // The sink itself is left alone.
    QProcess pactl;
    pactl.start("pactl", {"get-sink-volume", "tonfolio_null"});
    ASSERT_TRUE(pactl.waitForFinished(5000));
    EXPECT_TRUE(pactl.readAllStandardOutput().contains("100%"));
}

TEST_F(SoundTest, SoundGoesToTheChosenOutputAndOutputsComeAndGo)
{
    std::atomic<int> changes{0};
    watchSoundOutputs([&] { ++changes; });
    auto listed = [](const std::string& name) {
        for (const SoundOutput& o : soundOutputs())
            if (o.name == name)
                return true;
        return false;
    };
    auto waitFor = [&](auto condition) {
        for (int i = 0; i < 300 && !condition(); ++i)
            mon.pump(10);
        return condition();
    };
    ASSERT_TRUE(waitFor([&] { return listed("tonfolio_null"); }));
    const int before = changes;
    QProcess pactl;
    pactl.start("pactl", {"load-module", "module-null-sink", "sink_name=tonfolio_second",
                          "sink_properties=device.description=Second"});
    ASSERT_TRUE(pactl.waitForFinished(5000));
    const QString module = QString::fromLatin1(pactl.readAllStandardOutput()).trimmed();
    ASSERT_FALSE(module.isEmpty());
    EXPECT_TRUE(waitFor([&] { return listed("tonfolio_second"); })) << "an output that comes is listed";
    EXPECT_GT(changes, before);
    for (const SoundOutput& o : soundOutputs()) {
        if (o.name == "tonfolio_second") {
            EXPECT_EQ(o.description, "Second");
        }
    }

    SoundMonitor second;
    ASSERT_TRUE(second.start("tonfolio_second.monitor"));
    setSoundOutput("tonfolio_second");
    long from = mon.mark();
    long fromSecond = second.mark();
    ASSERT_TRUE(sndPlaySound(tone(0.6), kAsync));
    EXPECT_GE(second.waitForSound(fromSecond, 3000), 0) << "the chosen output plays it";
    mon.pump(700);
    EXPECT_EQ(mon.firstLoud(from), -1) << "the default output stays silent";
    ASSERT_TRUE(waitIdle());
    second.stopRecording();

    QProcess::execute("pactl", {"unload-module", module});
    EXPECT_TRUE(waitFor([&] { return !listed("tonfolio_second"); })) << "an output that goes is dropped";
    // Its sounds go to the default output now, quietly.
    from = mon.mark();
    ASSERT_TRUE(sndPlaySound(tone(0.4), kAsync));
    EXPECT_GE(hear(from, 400), 0);
    setSoundOutput("");
    watchSoundOutputs(nullptr);
}

TEST_F(SoundTest, LoopsAndReplacementsJoinWithoutAGapOrAClick)
{
    testing_support::TempDrive drive;
    // A quarter second holds whole periods of both tones, so each loop joins itself smoothly.
    drive.write("low.wav", makeWav(1, 44100, 16, 44100 / 4, 500));
    drive.write("high.wav", makeWav(1, 44100, 16, 44100 / 4, 750));
    drive.write("other.wav", makeWav(2, 22050, 16, 22050 / 2, 600));
    SoundMonitor::Seams joins, streamChange;
    double otherTone = 0;
    const double stall = listenUntilSteady([&] {
        long from = mon.mark();
        ASSERT_TRUE(sndPlaySound("C:\\LOW.WAV", SND_ASYNC | SND_NODEFAULT | SND_LOOP));
        long at = hear(from, 700);
        ASSERT_GE(at, 0);
        // Replaced at uneven moments, so the cuts fall at all points of the periods.
        for (int ms : {170, 230, 190, 260, 210, 180}) {
            ASSERT_TRUE(sndPlaySound(ms % 20 ? "C:\\HIGH.WAV" : "C:\\LOW.WAV", SND_ASYNC | SND_NODEFAULT | SND_LOOP));
            mon.pump(ms);
        }
        const long end = mon.mark();
        joins = mon.seams(at + mon.samplesOf(20), end - mon.samplesOf(20));
        // A sound of another rate needs a stream of its own; the running one fades out meanwhile.
        ASSERT_TRUE(sndPlaySound("C:\\OTHER.WAV", SND_ASYNC | SND_NODEFAULT | SND_LOOP));
        mon.pump(400);
        sndPlaySound(nullptr, 0);
        streamChange = mon.seams(end - mon.samplesOf(20), end + mon.samplesOf(300));
        otherTone = mon.toneShare(end + mon.samplesOf(100), end + mon.samplesOf(350), 600);
        mon.pump(100); // a try made again starts from silence
    });
    if (HasFatalFailure())
        return;
    SCOPED_TRACE(testing::Message() << "longest stall of the machine " << stall << " ms");
    // A sound joining itself in opposite phase cancels in the middle of the cross-fade: a 2 ms stretch
    // there keeps about a quarter of the level. A gap keeps nothing.
    EXPECT_GT(joins.weakest, 0.15) << "a gap in the sound";
    EXPECT_LT(joins.largestStep, 0.6) << "a click in the sound";
    EXPECT_LT(streamChange.largestStep, 0.6) << "a click";
    EXPECT_GT(otherTone, 0.5);
}

TEST_F(SoundTest, ALoopedStretchRepeatsSampleForSampleAfterTheStartPlaysOnce)
{
    // The sound is made at the rate the sink runs at, so nothing resamples it on its way to the monitor,
    // which then holds the very samples played.
    QProcess sinks;
    sinks.start("pactl", {"list", "short", "sinks"});
    ASSERT_TRUE(sinks.waitForFinished(5000));
    const QRegularExpressionMatch rateText =
        QRegularExpression(R"(tonfolio_null\s.*\s(\d+)Hz)").match(QString::fromUtf8(sinks.readAllStandardOutput()));
    ASSERT_TRUE(rateText.hasMatch());
    const int rate = rateText.captured(1).toInt();

    testing_support::TempDrive drive;
    // Samples that never repeat inside the sound: a frame dropped or doubled at a join shows.
    std::vector<std::int16_t> samples(std::size_t(rate / 2));
    std::string data;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = std::int16_t(long(i * 7919 % 20011) - 10005);
        data += le(std::uint16_t(samples[i]), 2);
    }
    const std::string fmt = chunksOf(makeWav(1, rate, 16, 1)).first;
    drive.write("loop.wav", riffOf(fmt + "data" + le(data.size(), 4) + data));
    const SoundLoop loop{8000, 13000};
    // Each sample tells where in the sound it came from, so what is heard can be followed from wherever
    // the recording catches it: after the loop's last frame comes its first, and nothing else changes.
    const auto next = [&](long at) { return at + 1 == loop.end ? long(loop.start) : at + 1; };

    long joins = 0, wrong = 0, firstWrong = -1;
    const double stall = listenUntilSteady([&] {
        ASSERT_TRUE(sndPlaySoundFrom("C:\\LOOP.WAV", SND_ASYNC | SND_NODEFAULT | SND_LOOP, 0, loop));
        // The sink's monitor at the sound's own rate (it gives samples once the sink plays).
        QProcess recorder;
        recorder.start("parec", {"--device=tonfolio_null.monitor", "--raw", "--format=s16le", "--channels=2",
                                 QString("--rate=%1").arg(rate), "--latency-msec=10"});
        ASSERT_TRUE(recorder.waitForStarted(5000));
        QByteArray heard;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 900) {
            recorder.waitForReadyRead(20);
            heard += recorder.readAll();
        }
        // Where the sound is told to be follows the loop: inside it, never past its end.
        const double place = soundPositionSeconds();
        EXPECT_GE(place, double(loop.start) / rate);
        EXPECT_LT(place, double(loop.end) / rate);
        sndPlaySound(nullptr, 0);
        recorder.kill();
        recorder.waitForFinished();

        std::vector<std::int16_t> left(std::size_t(heard.size()) / 4);
        for (std::size_t i = 0; i < left.size(); ++i)
            std::memcpy(&left[i], heard.constData() + 4 * i, 2);
        // The first stretch of the recording that is a stretch of the sound tells where the sound was.
        long at = -1;
        std::size_t from = 0;
        for (; at < 0 && from + 16 < left.size(); ++from)
            for (long k = 0; k + 16 < long(samples.size()); ++k)
                if (std::equal(left.begin() + long(from), left.begin() + long(from) + 16, samples.begin() + k)) {
                    at = k;
                    break;
                }
        ASSERT_GE(at, 0) << "the sound was not heard";
        joins = 0, wrong = 0, firstWrong = -1;
        for (std::size_t i = from; i < left.size(); ++i) {
            const long following = next(at);
            joins += following < at;
            at = following;
            if (std::abs(left[i] - samples[std::size_t(at)]) > 1 && wrong++ == 0)
                firstWrong = long(i - from);
            if (left[i] == 0 && i + 1 < left.size() && left[i + 1] == 0)
                break; // stopped
        }
    });
    if (HasFatalFailure())
        return;
    SCOPED_TRACE(testing::Message() << "longest stall of the machine " << stall << " ms");
    EXPECT_GE(joins, 2) << "the loop came round too few times";
    EXPECT_EQ(wrong, 0) << "first at frame " << firstWrong << " of what was heard";
}

} // namespace
