#include "support/Windows.h"

#include <QMetaObject>

namespace tavoro::test {

void WithModalWindow(std::function<void(QWidget* modal)> act) {
    QMetaObject::invokeMethod(
        qApp, [act = std::move(act)] { act(QApplication::activeModalWidget()); },
        Qt::QueuedConnection);
}

}  // namespace tavoro::test
