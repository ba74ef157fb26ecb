// SPDX-License-Identifier: GPL-3.0-or-later
// The about box: shown modally without a title bar, closed by Enter and Space on its OK button,
// with the program's version and the maker's links.
#include "about/aboutdlg.h"
#include "about/urllabel.h"
#include "about/verslab.h"
#include "launchrecorder.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

TEST(AboutBox, ShowsTheProgramsVersionWithoutATitleBar)
{
    TAboutBox box;
    EXPECT_EQ(box.versionLabel()->InfoString(), TONFOLIO_VERSION);
    EXPECT_FALSE(box.versionLabel()->ShowInfoPrefix());
    EXPECT_EQ(box.windowTitle(), "Info");
    EXPECT_TRUE(box.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_FALSE(box.windowFlags() & Qt::WindowTitleHint);
    EXPECT_EQ(box.size(), QSize(238, 160));
    EXPECT_EQ(box.mailLink()->LabelType(), TURLLabel::hmMAIL);
    EXPECT_EQ(box.webLink()->LabelType(), TURLLabel::hmHTTP);
    for (TURLLabel* link : {box.mailLink(), box.webLink()}) {
        EXPECT_TRUE(link->underlined());
        EXPECT_EQ(link->fontColor(), QColor(0, 0, 255));
    }
    // The main icon shows when the resources hold it, and nothing otherwise.
    auto* icon = box.findChild<QLabel*>("ProgramIcon");
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(!icon->pixmap().isNull(), QFile::exists(":/icons/tonfolio.svg"));
}

TEST(AboutBox, EnterAndSpaceCloseTheModalBox)
{
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        TAboutBox box;
        bool sawModal = false;
        QTimer::singleShot(0, [&] {
            sawModal = QApplication::activeModalWidget() == &box && box.isModal();
            QWidget* focus = box.focusWidget();
            ASSERT_NE(focus, nullptr);
            EXPECT_EQ(focus->objectName(), "OkButton");
            QTest::keyClick(focus, key);
        });
        // A box that ignores the key must not hang the test.
        QTimer::singleShot(5000, &box, [&] { box.done(-1); });
        EXPECT_EQ(box.ShowModal(), QDialog::Accepted) << key;
        EXPECT_TRUE(sawModal);
    }
}

TEST(AboutBox, LinksOpenWhileTheBoxStaysOpen)
{
    RecordLaunches launches;
    TAboutBox box;
    std::vector<std::string> seen;
    bool stillOpen = true;
    QTimer::singleShot(0, [&] {
        QTest::mouseClick(box.mailLink(), Qt::LeftButton, {}, QPoint(2, 2));
        QTest::mouseClick(box.webLink(), Qt::LeftButton, {}, QPoint(2, 2));
        stillOpen = box.isVisible();
        box.accept();
    });
    box.ShowModal();
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(launches.recorder->urls,
              (std::vector<std::string>{"mailto:info@varnholt.example", "https://varnholt.example/tonfolio"}));
}
