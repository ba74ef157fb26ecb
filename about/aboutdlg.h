// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TAboutBox: the small modal box with the program's icon, name, file version, rights notice and the
// maker's mail and web links. Created once at start-up and shown by the About command.

#include <QDialog>
#include <memory>

namespace Ui {
class TAboutBox;
}
class TURLLabel;
class TVersionLabel;

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
    ~TAboutBox() override;

    /// Shows the box modally, centred on the screen; returns when it closes (QDialog::Accepted by OK).
    int ShowModal();

    TVersionLabel* versionLabel() const;
    TURLLabel* mailLink() const;
    TURLLabel* webLink() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    /// Takes the title bar away; the box shows as a framed panel with its OK button.
    void FormCreate();

    std::unique_ptr<Ui::TAboutBox> ui;
};
