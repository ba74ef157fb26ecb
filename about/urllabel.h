// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TURLLabel: a label that behaves like a hyperlink. It is drawn underlined in a link colour, shows the
// pointing hand, changes colour while pressed (and optionally while hovered), and hands an address built
// from its caption to the desktop when clicked.

#include <QColor>
#include <QCursor>
#include <QFont>
#include <QLabel>
#include <functional>
#include <string>

/// The cursor number of the standard pointing hand.
constexpr int crHandPoint = -21;

/// The program's table of numbered cursors, as far as the link label needs it.
namespace screencursors {
/// Installs a cursor under a number, replacing whatever was there.
void setCursor(int number, const QCursor& cursor);
/// The cursor under a number; the arrow when none was installed.
QCursor cursor(int number);
} // namespace screencursors

class TURLLabel : public QLabel {
    Q_OBJECT
public:
    /// The kind of address; one byte, as stored with the form.
    enum TLabelType : quint8 { hmHTTP, hmMAIL, hmFTP, hmCUSTOM };
    Q_ENUM(TLabelType)

private:
    Q_PROPERTY(TLabelType LabelType READ LabelType WRITE setLabelType)
    Q_PROPERTY(QColor URLColStd READ URLColStd WRITE setURLColStd)
    Q_PROPERTY(QColor URLColPre READ URLColPre WRITE setURLColPre)
    Q_PROPERTY(bool AllowDown READ AllowDown WRITE setAllowDown)
    Q_PROPERTY(bool Effect98 READ Effect98 WRITE setEffect98)
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)

public:
    explicit TURLLabel(QWidget* parent = nullptr);

    std::function<void(TURLLabel* Sender)> OnClick;

    TLabelType LabelType() const { return labelType_; }
    void setLabelType(TLabelType value);
    QColor URLColStd() const { return urlColStd_; }
    void setURLColStd(const QColor& value);
    QColor URLColPre() const { return urlColPre_; }
    void setURLColPre(const QColor& value);
    bool AllowDown() const { return allowDown_; }
    void setAllowDown(bool value);
    bool Effect98() const { return effect98_; }
    void setEffect98(bool value);
    QString Caption() const { return text(); }
    void setCaption(const QString& value) { setText(value); }

    /// Assigns a font with its colour (no equality test); the colour becomes the rest colour.
    void setLabelFont(const QFont& font, const QColor& color);
    /// The colour the text is drawn in now.
    QColor fontColor() const;
    /// Whether the text is drawn underlined now.
    bool underlined() const { return font().underline(); }

    /// The address a click hands to the desktop (prefix and caption); empty for hmCUSTOM.
    std::string address() const;

    /// The label's click: fires OnClick, then opens the address.
    virtual void Click();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void setFontColor(const QColor& color);
    void setUnderline(bool on);

    TLabelType labelType_ = hmHTTP;
    QColor urlColStd_;
    QColor urlColPre_;
    bool allowDown_ = false;
    bool effect98_ = false;
    bool pressedInside_ = false;
};
