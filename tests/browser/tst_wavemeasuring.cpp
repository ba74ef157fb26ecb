// SPDX-License-Identifier: GPL-3.0-or-later
// Measuring the rows of a wave list of its own: in the background once a column wants the measures,
// each file of names that differ only in case on its own, and results of a job that was replaced dropped.
#include "browserfixture.h"
#include "library/soundanalyser.h"

#include <QFile>
#include <QSignalSpy>

using namespace browser_testing;
using library::SoundAnalyser;

namespace {

class WaveMeasuringTest : public BrowserTest {
protected:
    /// A list of a folder's waves and the measuring of its rows.
    WaveMeasuring& over(const std::string& folder)
    {
        measuring_.reset();
        list_ = std::make_unique<WaveListWidget>();
        list_->setViewStyle(WaveListWidget::vsReport);
        const std::string path = fillList(*list_, folder);
        measuring_ = std::make_unique<WaveMeasuring>(*list_, [path] { return path; });
        return *measuring_;
    }
    /// A measure column's text for the row of a file.
    QString measure(const std::string& fileName, int column) const
    {
        for (int r = 0; r < list_->rowCount(); ++r)
            if (list_->model()->fileName(r) == fileName)
                return measureText(list_->model()->row(r), column);
        return "no such row";
    }
    bool idle() const { return measuring_->analyser() && measuring_->analyser()->isIdle(); }

    std::unique_ptr<WaveListWidget> list_;
    std::unique_ptr<WaveMeasuring> measuring_;
};

TEST_F(WaveMeasuringTest, ColumnsFillInTheBackgroundAndCaseTwinsAreMeasuredApart)
{
    drive_.write("SOUNDS/tone.wav", testing_support::makeWav(1, 44100, 16, 44100, 440.0));
    wave("SOUNDS/TONE.wav"); // silent, named differently only in case
    wave("SOUNDS/quiet.wav");
    drive_.write("SOUNDS/text.wav", std::string(500, 'x'));
    WaveMeasuring& m = over("SOUNDS");
    // Nothing wants the measures: nothing is measured.
    m.start();
    EXPECT_FALSE(m.wanted());
    EXPECT_EQ(m.analyser(), nullptr);
    QSignalSpy progress(&m, &WaveMeasuring::progressChanged);
    list_->setShownMeasures(0x1F);
    EXPECT_TRUE(m.wanted());
    EXPECT_EQ(measure("tone.wav", WaveListModel::ColPeak), ""); // the list goes on before the measures come
    // A cell still to be measured says so, unlike one without a value.
    const QModelIndex key = list_->model()->index(list_->model()->rowNamed("tone.wav"), WaveListModel::ColKey);
    EXPECT_EQ(key.data().toString(), kPendingMeasureMark);
    EXPECT_EQ(key.data(Qt::ToolTipRole).toString(), "Not measured yet");
    ASSERT_TRUE(QTest::qWaitFor([&] { return m.allMeasured(); }, 20000));
    const struct {
        const char* file;
        int column;
        QString text;
    } cases[] = {
        {"quiet.wav", WaveListModel::ColLoudness, "-inf LUFS"},
        {"quiet.wav", WaveListModel::ColPitch, ""},
        {"text.wav", WaveListModel::ColLoudness, ""}, // not a sound
        {"tone.wav", WaveListModel::ColPeak, "-6.0 dBFS"},
        {"tone.wav", WaveListModel::ColTempo, ""},
        {"TONE.wav", WaveListModel::ColPeak, "-inf dBFS"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(measure(c.file, c.column), c.text) << c.file << " " << c.column;
    EXPECT_EQ(measure("tone.wav", WaveListModel::ColPitch).left(2), "A4");
    EXPECT_NE(key.data().toString(), kPendingMeasureMark);
    // The status bar's text: how far the folder is, then nothing once it is done.
    ASSERT_GE(progress.size(), 2);
    EXPECT_EQ(progress.first().first().toString(), "Measuring 1 of 4");
    EXPECT_EQ(progress.last().first().toString(), "");
    EXPECT_TRUE(QFile::exists(config_.path() + "/cache/tonfolio/analysis.sqlite"));
}

// Each job has its id; what an older job measures never lands in the rows that replaced its own.
TEST_F(WaveMeasuringTest, ResultsOfAReplacedJobAreDropped)
{
    drive_.write("A/tone.wav", testing_support::makeWav(1, 44100, 16, 44100 * 3, 440.0));
    wave("B/tone.wav");
    list_ = std::make_unique<WaveListWidget>();
    std::string folder = fillList(*list_, "A");
    measuring_ = std::make_unique<WaveMeasuring>(*list_, [&folder] { return folder; });
    list_->setShownMeasures(0xF);
    ASSERT_NE(measuring_->analyser(), nullptr);
    // Another folder's rows under the same name before the first job is done.
    folder = fillList(*list_, "B");
    ASSERT_TRUE(QTest::qWaitFor([&] { return idle() && !measure("tone.wav", WaveListModel::ColPeak).isEmpty(); }, 20000));
    QTest::qWait(50);
    EXPECT_EQ(measure("tone.wav", WaveListModel::ColPeak), "-inf dBFS");

    // A job of no files cancels the one before: nothing of it is measured or delivered.
    SoundAnalyser analyser(nullptr, (config_.path() + "/cancel.sqlite").toStdString());
    std::vector<std::string> delivered;
    QObject::connect(&analyser, &SoundAnalyser::measured, [&](quint64 job, const std::vector<SoundAnalyser::Result>& r) {
        for (const auto& [path, measures] : r)
            if (job == 2)
                delivered.push_back(path);
    });
    analyser.setFiles(1, {"C:\\A\\tone.wav"});
    analyser.setFiles(2, {});
    ASSERT_TRUE(QTest::qWaitFor([&] { return analyser.isIdle(); }, 20000));
    QTest::qWait(50);
    EXPECT_TRUE(delivered.empty()) << delivered.front();
}

} // namespace
