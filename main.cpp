// Tonfolio: browses folders of wave files and plays them.
#include <QApplication>
#include <QIcon>

#include "browser/main.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tonfolio");
    QApplication::setOrganizationName("Varnholt");
    QApplication::setWindowIcon(QIcon(":/icons/tonfolio.svg"));
    TForm1 form;
    form.show();
    return app.exec();
}
