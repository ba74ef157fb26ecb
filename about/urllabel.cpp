// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/urllabel.h"

#include "platform/shell/launch.h"

#include <QBitmap>
#include <QHash>
#include <QMouseEvent>

namespace screencursors {

namespace {
QHash<int, QCursor>& table()
{
    static QHash<int, QCursor> cursors;
    return cursors;
}
} // namespace

void setCursor(int number, const QCursor& cursor)
{
    table().insert(number, cursor);
}

QCursor cursor(int number)
{
    return table().value(number, QCursor(Qt::ArrowCursor));
}

} // namespace screencursors

namespace {

/// The "URLHAND" cursor: a monochrome hand with raised index finger, hot spot at its top-left corner.
/// Without the pictures (a build without resources) the desktop's own pointing hand stands in.
QCursor urlHandCursor()
{
    QBitmap bits(QStringLiteral(":/about/urlhand.xbm"));
    QBitmap mask(QStringLiteral(":/about/urlhand_mask.xbm"));
    if (bits.isNull() || mask.isNull())
        return QCursor(Qt::PointingHandCursor);
    return QCursor(bits, mask, 0, 0);
}

const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);

} // namespace

TURLLabel::TURLLabel(QWidget* parent) : QLabel(parent)
{
    // The caption is an address, never markup.
    setTextFormat(Qt::PlainText);
    // Every link label installs the hand again, so the table always holds it once a label exists.
    screencursors::setCursor(crHandPoint, urlHandCursor());
    setCursor(screencursors::cursor(crHandPoint));
    allowDown_ = false;
    effect98_ = false;
    urlColStd_ = kBlue;
    urlColPre_ = kRed;
    setFontColor(urlColStd_);
    setUnderline(true);
}

void TURLLabel::setLabelType(TLabelType value)
{
    if (value == labelType_)
        return;
    labelType_ = value;
    setUnderline(!(labelType_ == hmCUSTOM || effect98_));
    update();
}

void TURLLabel::setEffect98(bool value)
{
    if (value == effect98_)
        return;
    effect98_ = value;
    if (effect98_)
        setUnderline(false);
    else if (labelType_ != hmCUSTOM)
        setUnderline(true);
    update();
}

void TURLLabel::setURLColStd(const QColor& value)
{
    if (value == urlColStd_)
        return;
    urlColStd_ = value;
    setFontColor(value);
    update();
}

void TURLLabel::setURLColPre(const QColor& value)
{
    if (value == urlColPre_)
        return;
    urlColPre_ = value;
    update();
}

void TURLLabel::setAllowDown(bool value)
{
    if (value == allowDown_)
        return;
    allowDown_ = value;
    update();
}

void TURLLabel::setLabelFont(const QFont& font, const QColor& color)
{
    setFont(font);
    setFontColor(color);
    setURLColStd(color);
}

QColor TURLLabel::fontColor() const
{
    return palette().color(QPalette::WindowText);
}

void TURLLabel::setFontColor(const QColor& color)
{
    QPalette p = palette();
    p.setColor(QPalette::WindowText, color);
    setPalette(p);
}

void TURLLabel::setUnderline(bool on)
{
    QFont f = font();
    f.setUnderline(on);
    setFont(f);
}

std::string TURLLabel::address() const
{
    const char* prefix = "";
    switch (labelType_) {
    case hmCUSTOM:
        return {};
    case hmHTTP:
        prefix = "";
        break;
    case hmFTP:
        prefix = "ftp:\\\\";
        break;
    case hmMAIL:
        prefix = "mailto:";
        break;
    }
    // The whole address is handed on, however long: a cut address would open the wrong place.
    return prefix + text().toStdString();
}

void TURLLabel::Click()
{
    if (OnClick)
        OnClick(this);
    if (labelType_ == hmCUSTOM)
        return;
    platform::ShellExecute(nullptr, std::string(), address(), std::string(), std::string(), platform::SW_SHOWNORMAL);
}

void TURLLabel::mousePressEvent(QMouseEvent* event)
{
    QLabel::mousePressEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    pressedInside_ = true;
    if (allowDown_)
        move(x(), y() + 1);
    setFontColor(urlColPre_);
}

void TURLLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    const bool left = event->button() == Qt::LeftButton;
    const bool click = left && pressedInside_ && rect().contains(event->position().toPoint());
    if (left)
        pressedInside_ = false;
    if (!effect98_)
        setFontColor(urlColStd_);
    if (allowDown_ && left)
        move(x(), y() - 1);
    // The click comes last, as the release has already restored the label when the address opens.
    if (click)
        Click();
}

void TURLLabel::enterEvent(QEnterEvent* event)
{
    QLabel::enterEvent(event);
    if (!effect98_)
        return;
    setFontColor(urlColPre_);
    if (labelType_ != hmCUSTOM)
        setUnderline(true);
    update();
}

void TURLLabel::leaveEvent(QEvent* event)
{
    QLabel::leaveEvent(event);
    if (!effect98_)
        return;
    setFontColor(urlColStd_);
    if (labelType_ != hmCUSTOM)
        setUnderline(false);
    update();
}
