#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Morvantek");
    QApplication::setApplicationName("Zorvi");
    QMainWindow window;
    window.setWindowTitle("Zorvi");
    window.setFixedSize(960, 540);
    window.show();
    return app.exec();
}
