// The floor of the start-up benchmark: a Qt Widgets program that shows one main window
// the way the client shows its own, and nothing else.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QMainWindow window;
    window.setWindowTitle("floor");
    window.showMinimized();
    return QApplication::exec();
}
