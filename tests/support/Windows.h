#pragma once

#include <QApplication>
#include <QString>
#include <QWidget>
#include <functional>
#include <stdexcept>
#include <string>

namespace tavoro::test {

// The one top-level window of type `Window` named `object_name`, as the user finds it on
// screen, shown or not. Throws, which fails the test, when there is none or more than one.
template <typename Window>
Window& TheWindow(const QString& object_name) {
    Window* found = nullptr;
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* window = qobject_cast<Window*>(widget);
        if (window && window->objectName() == object_name) {
            found = window;
            ++count;
        }
    }
    if (count != 1) {
        throw std::runtime_error(std::to_string(count) + " windows named " +
                                 object_name.toStdString());
    }
    return *found;
}

// Runs `act` with the modal window that the code under test opens next. The call is
// queued now, so it runs in that window's own event loop, once the window is open; `act`
// gets nullptr when no modal window is open by then.
void WithModalWindow(std::function<void(QWidget* modal)> act);

}  // namespace tavoro::test
