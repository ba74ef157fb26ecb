// SPDX-License-Identifier: GPL-3.0-or-later
// Opening documents and addresses, and the property window, with a recording launcher in place of the desktop.
#include "platform/shell/launch.h"
#include "platform/shell/propertywindow.h"
#include "support/tempdrive.h"

#include <QLocale>
#include <QTest>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;

namespace {

class Recorder : public LaunchBackend {
public:
    std::vector<LaunchRequest> requests;
    bool succeed = true;
    bool openUrl(const std::string& url) override
    {
        requests.push_back({"open", {}, url});
        return succeed;
    }
    bool showProperties(const std::string& native, HWND) override
    {
        requests.push_back({"properties", {}, native});
        return succeed;
    }
};

class Launch : public ::testing::Test {
protected:
    Launch() : recorder(std::make_shared<Recorder>()), previous_(setLaunchBackend(recorder)) {}
    ~Launch() override { setLaunchBackend(previous_); }
    testing_support::TempDrive drive;
    std::shared_ptr<Recorder> recorder;

private:
    std::shared_ptr<LaunchBackend> previous_;
};

TEST_F(Launch, OpenResolvesPathsAndReadsAddresses)
{
    drive.write("Sounds/bell.wav", "x");
    drive.mkdirs("odd");
    // Raw bytes: the name is not valid UTF-8 and must reach the opener as it stands.
    const int fd = ::open(drive.native("odd/\xff name.wav").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const struct {
        std::string verb;
        std::string file;
        std::string opened; // empty: nothing may be opened
    } cases[] = {
        {"open", "C:\\SOUNDS\\BELL.WAV", "file://" + drive.root() + "/Sounds/bell.wav"},
        {"", "C:\\odd\\\xff name.wav", "file://" + drive.root() + "/odd/%FF%20name.wav"},
        {"", "https://varnholt.example/tonfolio", "https://varnholt.example/tonfolio"},
        {"", "mailto:info@varnholt.example", "mailto:info@varnholt.example"},
        {"", "ftp:\\\\ftp.varnholt.example\\pub", "ftp://ftp.varnholt.example/pub"},
        {"", "www.varnholt.example", "http://www.varnholt.example"},
        {"open", "C:\\SOUNDS\\missing.wav", ""},
        {"open", "bell.wav; rm -rf ~", ""},
        {"edit", "C:\\SOUNDS\\BELL.WAV", ""},
    };
    for (const auto& c : cases) {
        recorder->requests.clear();
        const std::uintptr_t result = ShellExecute(nullptr, c.verb, c.file, "", "", SW_SHOW);
        if (c.opened.empty()) {
            EXPECT_LE(result, 32u) << c.file;
            EXPECT_TRUE(recorder->requests.empty()) << c.file;
        } else {
            EXPECT_GT(result, 32u) << c.file;
            ASSERT_EQ(recorder->requests.size(), 1u) << c.file;
            EXPECT_EQ(recorder->requests[0].native, c.opened);
        }
    }
    recorder->succeed = false;
    EXPECT_EQ(ShellExecute(nullptr, "open", "https://varnholt.example", "", "", SW_SHOW), 31u);
    ::unlink(drive.native("odd/\xff name.wav").c_str()); // Qt cannot name it to clean up
}

TEST_F(Launch, PropertiesNeedTheVerbTheMaskAndAnExistingFile)
{
    drive.write("Sounds/bell.wav", "x");
    SHELLEXECUTEINFO info;
    info.cbSize = 60;
    info.fMask = SEE_MASK_INVOKEIDLIST;
    info.lpVerb = "properties";
    info.lpFile = "C:\\sounds\\bell.wav";
    info.nShow = 0;
    EXPECT_TRUE(ShellExecuteEx(&info));
    EXPECT_GT(info.hInstApp, 32u);
    ASSERT_EQ(recorder->requests.size(), 1u);
    EXPECT_EQ(recorder->requests[0].verb, "properties");
    EXPECT_EQ(recorder->requests[0].native, drive.root() + "/Sounds/bell.wav");

    info.lpFile = "C:\\sounds\\gone.wav";
    EXPECT_FALSE(ShellExecuteEx(&info));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    info.lpFile = "C:\\sounds\\bell.wav";
    info.fMask = 0;
    EXPECT_FALSE(ShellExecuteEx(&info));
    EXPECT_EQ(recorder->requests.size(), 1u);
}

TEST_F(Launch, PropertyWindowShowsTheWaveHeader)
{
    const std::string wav = testing_support::makeWav(2, 22050, 16, 22050);
    drive.write("bell.wav", wav);
    PropertyWindow window(drive.native("bell.wav"));
    EXPECT_EQ(window.windowTitle(), "bell.wav Properties");
    EXPECT_EQ(window.value("Name"), "bell.wav");
    EXPECT_EQ(window.value("Folder"), "C:\\");
    EXPECT_TRUE(window.value("Size").contains(QLocale().toString(qint64(wav.size())) + " bytes"));
    EXPECT_EQ(window.value("Channels"), "2");
    EXPECT_EQ(window.value("Sample rate"), QLocale().toString(22050) + " Hz");
    EXPECT_EQ(window.value("Length"), "0:01.000");
    EXPECT_TRUE(window.value("Encoding").contains("16"));
    EXPECT_FALSE(window.value("Permissions").isEmpty());
    EXPECT_FALSE(window.value("Owner").isEmpty());
    EXPECT_EQ(window.value("Loudness"), ""); // no further rows unless the program gives them

    // Further rows come once found, away from the window; a file of none says so.
    setSoundDetails({{"Loudness", "Key"}, [](const std::string& native) {
                         return native.find("bell") != std::string::npos ? std::vector<QString>{"-inf LUFS", "None"}
                                                                         : std::vector<QString>{};
                     }});
    drive.write("odd.wav", wav);
    PropertyWindow bell(drive.native("bell.wav")), odd(drive.native("odd.wav"));
    EXPECT_EQ(bell.value("Loudness"), "Measuring\u2026");
    ASSERT_TRUE(QTest::qWaitFor([&] { return bell.value("Key") == "None" && odd.value("Key") == "Not measured"; }, 10000));
    EXPECT_EQ(bell.value("Loudness"), "-inf LUFS");
    setSoundDetails({});

    // The file's own texts, as the program reads them, as the window opens.
    setFileTexts([](const std::string&) { return std::vector<std::pair<QString, QString>>{{"Description", "Door slam"}}; });
    EXPECT_EQ(PropertyWindow(drive.native("bell.wav")).value("Description"), "Door slam");
    setFileTexts({});
}

TEST_F(Launch, PropertyWindowCopesWithOddEntries)
{
    drive.write("broken.wav", "RIFF\x10\0\0\0WAVEjunk");
    drive.mkdirs("folder.wav");
    ASSERT_EQ(::mkfifo(drive.native("pipe.wav").c_str(), 0600), 0);
    {
        PropertyWindow window(drive.native("broken.wav"));
        EXPECT_FALSE(window.value("Wave").isEmpty());
        EXPECT_TRUE(window.value("Channels").isEmpty());
    }
    {
        PropertyWindow window(drive.native("folder.wav"));
        EXPECT_EQ(window.value("Type"), "Folder");
        EXPECT_TRUE(window.value("Size").isEmpty());
    }
    {
        PropertyWindow window(drive.native("pipe.wav")); // must not block on the FIFO
        EXPECT_EQ(window.value("Type"), "Special file");
        EXPECT_TRUE(window.value("Channels").isEmpty());
    }
    EXPECT_FALSE(showPropertyWindow(drive.native("nothing.wav"), nullptr));
}

} // namespace
