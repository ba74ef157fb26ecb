// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/aboutdlg.h"

#include "about/urllabel.h"
#include "about/verslab.h"
#include "ui_aboutdlg.h"

#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <qdrawutil.h>

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TAboutBox>())
{
    ui->setupUi(this);
    // The layout assumes an 11-pixel font; the desktop's larger default would cut the texts. The rights
    // notice and the two addresses each have a row of their own, as the addresses are long.
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);

    const QIcon icon(QStringLiteral(":/icons/tonfolio.svg"));
    if (!icon.isNull())
        ui->ProgramIcon->setPixmap(icon.pixmap(32, 32));

    ui->VersionLabel->setVersionResource(TVersionLabel::vrFileVersion);
    ui->VersionLabel->setShowInfoPrefix(false);
    ui->VersionLabel->setLangCharset(QStringLiteral("-1"));

    QFont linkFont = small;
    linkFont.setUnderline(true);
    for (TURLLabel* link : {ui->MailLink, ui->WebLink}) {
        link->setLabelFont(linkFont, QColor(0, 0, 255));
        link->setFocusPolicy(Qt::NoFocus);
    }
    ui->MailLink->setLabelType(TURLLabel::hmMAIL);
    ui->WebLink->setLabelType(TURLLabel::hmHTTP);
    // Auto size: each label takes the width of its text.
    for (QLabel* label : {ui->ProductName, ui->Version, ui->Copyright, static_cast<QLabel*>(ui->MailLink),
                          static_cast<QLabel*>(ui->WebLink)})
        label->adjustSize();
    // The version follows its caption whatever width the font gives the caption.
    ui->VersionLabel->move(ui->Version->geometry().right() + 4, ui->VersionLabel->y());

    // The OK button is the only control that takes the keyboard: Enter and Space both press it.
    ui->OkButton->setAutoDefault(true);
    ui->OkButton->setDefault(true);
    ui->OkButton->setFocus();
    FormCreate();
}

TAboutBox::~TAboutBox() = default;

void TAboutBox::FormCreate()
{
    // Without a title bar the window manager adds nothing above the client area, so the box keeps
    // its designed client size and needs no height correction.
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFixedSize(238, 160);
    update();
}

int TAboutBox::ShowModal()
{
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
    ui->OkButton->setFocus();
    return exec();
}

TVersionLabel* TAboutBox::versionLabel() const
{
    return ui->VersionLabel;
}
TURLLabel* TAboutBox::mailLink() const
{
    return ui->MailLink;
}
TURLLabel* TAboutBox::webLink() const
{
    return ui->WebLink;
}

void TAboutBox::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    // The dialog frame that stays when the title bar goes.
    QPainter painter(this);
    qDrawShadePanel(&painter, rect(), palette(), false, 1);
}
