#pragma once

#include <QObject>
#include <memory>

namespace tavoro {

// Tells the program, on its event loop, that the user's session is ending or that it was
// asked to stop (logout, shutdown, Ctrl-C), so that it can close as the user would. The
// request is caught from the moment the watcher exists; one that comes before the event
// loop runs waits and is delivered once it does.
class SessionEndWatcher : public QObject {
    Q_OBJECT

public:
    explicit SessionEndWatcher(QObject* parent = nullptr);
    ~SessionEndWatcher() override;

    // False when the system would not let us watch; the program then runs without.
    bool watching() const;

signals:
    void sessionEnding();

private:
    struct Private;
    std::unique_ptr<Private> d_;
};

}  // namespace tavoro
