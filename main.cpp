#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tonfolio");
    QMainWindow w;
    w.setWindowTitle("Tonfolio");
    w.show();
    return app.exec();
}
