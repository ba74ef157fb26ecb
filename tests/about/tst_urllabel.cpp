// SPDX-License-Identifier: GPL-3.0-or-later
// The link label: the address it forms for each kind, and its press, release and hover effects.
#include "about/urllabel.h"
#include "launchrecorder.h"

#include <QBitmap>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QColor kBlue(0, 0, 255), kRed(255, 0, 0), kGreen(0, 128, 0);

void click(QWidget* w, Qt::MouseButton button = Qt::LeftButton)
{
    QTest::mouseClick(w, button, {}, QPoint(2, 2));
}

} // namespace

TEST(URLLabel, StartsAsAnUnderlinedBlueWebLinkWithTheHand)
{
    TURLLabel label;
    EXPECT_EQ(label.LabelType(), TURLLabel::hmHTTP);
    EXPECT_EQ(label.URLColStd(), kBlue);
    EXPECT_EQ(label.URLColPre(), kRed);
    EXPECT_EQ(label.fontColor(), kBlue);
    EXPECT_TRUE(label.underlined());
    EXPECT_FALSE(label.AllowDown());
    EXPECT_FALSE(label.Effect98());
    // The hand from the resources is in the cursor table and on the label.
    EXPECT_EQ(label.cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(screencursors::cursor(crHandPoint).shape(), Qt::BitmapCursor);
    EXPECT_EQ(screencursors::cursor(crHandPoint).hotSpot(), QPoint(0, 0));
    EXPECT_EQ(screencursors::cursor(crHandPoint).bitmap().size(), QSize(32, 32));
}

TEST(URLLabel, ClickOpensTheAddressOfItsKind)
{
    const std::string longName(120, 'x');
    const struct {
        TURLLabel::TLabelType type;
        QString caption;
        std::string address; // what the label hands to the shell
        std::string opened;  // what reaches the desktop, empty for nothing
    } cases[] = {
        {TURLLabel::hmHTTP, "https://varnholt.example/tonfolio", "https://varnholt.example/tonfolio",
         "https://varnholt.example/tonfolio"},
        {TURLLabel::hmMAIL, "info@varnholt.example", "mailto:info@varnholt.example", "mailto:info@varnholt.example"},
        {TURLLabel::hmFTP, "ftp.varnholt.example/pub", "ftp:\\\\ftp.varnholt.example/pub",
         "ftp://ftp.varnholt.example/pub"},
        {TURLLabel::hmCUSTOM, "anything", "", ""},
        // The label adds no scheme; the desktop cannot open what is left.
        {TURLLabel::hmHTTP, "varnholt.example", "varnholt.example", ""},
        // Longer than 79 characters: opened whole, never cut.
        {TURLLabel::hmHTTP, QString::fromStdString("https://varnholt.example/" + longName),
         "https://varnholt.example/" + longName, "https://varnholt.example/" + longName},
    };
    for (const auto& c : cases) {
        RecordLaunches launches;
        TURLLabel label;
        label.setLabelType(c.type);
        label.setCaption(c.caption);
        int clicks = 0;
        label.OnClick = [&](TURLLabel* sender) {
            EXPECT_EQ(sender, &label);
            ++clicks;
        };
        EXPECT_EQ(label.address(), c.address);
        click(&label);
        EXPECT_EQ(clicks, 1) << c.address;
        if (c.opened.empty()) {
            EXPECT_TRUE(launches.recorder->urls.empty());
        } else {
            ASSERT_EQ(launches.recorder->urls.size(), 1u) << c.address;
            EXPECT_EQ(launches.recorder->urls[0], c.opened);
        }
    }
}

TEST(URLLabel, TypeEffectAndFontDecideUnderlineAndRestColour)
{
    TURLLabel label;
    label.setLabelType(TURLLabel::hmCUSTOM);
    EXPECT_FALSE(label.underlined());
    label.setEffect98(true);
    label.setEffect98(false);
    EXPECT_FALSE(label.underlined()) << "a custom label keeps its style";
    label.setLabelType(TURLLabel::hmMAIL);
    EXPECT_TRUE(label.underlined());
    label.setEffect98(true);
    EXPECT_FALSE(label.underlined());

    QFont font = label.font();
    font.setPointSize(14);
    label.setLabelFont(font, kGreen);
    EXPECT_EQ(label.URLColStd(), kGreen);
    EXPECT_EQ(label.fontColor(), kGreen);
    EXPECT_EQ(label.font().pointSize(), 14);
}

TEST(URLLabel, PressReleaseAndHover)
{
    RecordLaunches launches;
    QWidget parent;
    TURLLabel label(&parent);
    label.setCaption("https://varnholt.example");
    label.move(10, 20);

    // Plain: the pressed colour shows while the button is down only.
    QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(label.fontColor(), kRed);
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(label.fontColor(), kBlue);

    // AllowDown: the left button moves it one pixel down and back; the right button neither moves nor
    // colours it, but its release still restores the rest colour.
    label.setAllowDown(true);
    QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(label.y(), 21);
    QTest::mousePress(&label, Qt::RightButton, {}, QPoint(2, 2));
    EXPECT_EQ(label.y(), 21);
    EXPECT_EQ(label.fontColor(), kRed);
    QTest::mouseRelease(&label, Qt::RightButton, {}, QPoint(2, 2));
    EXPECT_EQ(label.fontColor(), kBlue);
    EXPECT_EQ(label.y(), 21);
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(label.y(), 20);

    // Effect98: hover underlines in the pressed colour; after a click it stays so until the pointer leaves.
    label.setEffect98(true);
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(&label, &enter);
    EXPECT_EQ(label.fontColor(), kRed);
    EXPECT_TRUE(label.underlined());
    click(&label);
    EXPECT_EQ(label.fontColor(), kRed);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&label, &leave);
    EXPECT_EQ(label.fontColor(), kBlue);
    EXPECT_FALSE(label.underlined());
    EXPECT_EQ(launches.recorder->urls.size(), 3u); // the three left clicks
}
