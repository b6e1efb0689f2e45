// The floor the program's start-up is measured against: an empty QMainWindow of
// the same Qt, shown like the program's window.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Empty"));
    window.resize(553, 300);
    window.show();
    return app.exec();
}
