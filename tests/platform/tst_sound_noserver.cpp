// SPDX-License-Identifier: GPL-3.0-or-later
// The sound call where no sound server can be reached: calls come back, nothing plays or crashes.
#include "platform/sound/sound.h"
#include "support/tempdrive.h"

#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <cstring>
#include <future>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace platform;

namespace {

SoundImage tone(double seconds)
{
    std::string bytes = testing_support::makeWav(1, 22050, 16, int(seconds * 22050), 440);
    std::shared_ptr<char[]> b(new char[bytes.size()]);
    std::memcpy(b.get(), bytes.data(), bytes.size());
    return SoundImage{b, bytes.size()};
}

bool becomesIdle()
{
    for (int i = 0; i < 1000 && soundIsPlaying(); ++i)
        QThread::msleep(10);
    return !soundIsPlaying();
}

class NoServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // A socket nobody listens on; set before the channel first connects.
        qputenv("PULSE_SERVER", "unix:/nonexistent/tonfolio/native");
    }
};

TEST_F(NoServerTest, PlaysAreAcceptedAndDroppedWithoutBlocking)
{
    // An asynchronous play is handed over at once; the channel gives it up when no server answers.
    EXPECT_TRUE(sndPlaySound(tone(2.0), SND_ASYNC | SND_MEMORY | SND_NODEFAULT));
    EXPECT_TRUE(becomesIdle());

    // A waiting play must come back too: run it aside and give it a generous bound.
    auto waiting = std::async(std::launch::async,
                              [] { return sndPlaySound(tone(2.0), SND_SYNC | SND_MEMORY | SND_NODEFAULT | SND_LOOP); });
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "a waiting play hung";
    waiting.get();

    // Many requests in a row, mixed with stops and the default sound: no crash, no pile-up.
    for (int i = 0; i < 50; ++i) {
        sndPlaySound(tone(0.5), SND_ASYNC | SND_MEMORY | (i % 3 ? SND_LOOP : 0));
        if (i % 5 == 0)
            sndPlaySound(nullptr, 0);
        if (i % 7 == 0)
            sndPlaySound("\\", SND_ASYNC);
    }
    EXPECT_TRUE(sndPlaySound(nullptr, 0));
    EXPECT_FALSE(soundIsPlaying());
    sndPlaySound(tone(0.5), SND_ASYNC | SND_MEMORY);
    EXPECT_TRUE(becomesIdle());
}

TEST_F(NoServerTest, AServerThatNeverAnswersIsGivenUpOn)
{
    // A socket that accepts connections into its backlog but never speaks.
    QTemporaryDir dir;
    const std::string path = dir.filePath("silent").toStdString();
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(fd, 8), 0);
    qputenv("PULSE_SERVER", QByteArray("unix:") + path.c_str());

    EXPECT_TRUE(sndPlaySound(tone(1.0), SND_ASYNC | SND_MEMORY | SND_NODEFAULT));
    EXPECT_TRUE(soundIsPlaying());
    auto waiting =
        std::async(std::launch::async, [] { return sndPlaySound(tone(0.5), SND_SYNC | SND_MEMORY | SND_NODEFAULT); });
    EXPECT_EQ(waiting.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "a waiting play hung";
    EXPECT_TRUE(becomesIdle());
    ::close(fd);
    qputenv("PULSE_SERVER", "unix:/nonexistent/tonfolio/native");
}

} // namespace
