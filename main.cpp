// Tonfolio: browses folders of wave files and plays them.
#include "browser/main.h"

#include "about/aboutdlg.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tonfolio");
    QApplication::setOrganizationName("Varnholt");
    QApplication::setWindowIcon(QIcon(":/icons/tonfolio.svg"));
    // Lets docks match the window to its desktop entry and show its icon.
    QGuiApplication::setDesktopFileName("example.varnholt.Tonfolio");
    // The window comes first: closing it ends the program. The about box waits hidden until asked for.
    TForm1 form;
    TAboutBox about;
    form.AboutBox = &about;
    form.show();
    return app.exec();
}
