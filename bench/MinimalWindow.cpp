// The floors of the start-up benchmark: a Qt Widgets program that shows one main window
// the way the client shows its own, and nothing else. With the argument "text" the window
// holds one line of text, so that it pays what any window with text pays (the font
// configuration read, a font opened and measured) and the client does not.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <cstring>

int main(int argc, char** argv) {
    const bool with_text = argc > 1 && std::strcmp(argv[1], "text") == 0;
    QApplication application(argc, argv);
    QMainWindow window;
    window.setWindowTitle("floor");
    if (with_text) {
        window.setCentralWidget(new QLabel("floor"));
    }
    window.showMinimized();
    return QApplication::exec();
}
