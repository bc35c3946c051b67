#include "core/Timer.h"

#include <QTimer>

namespace tavoro {
namespace {

class QtTimer : public Timer {
public:
    QtTimer(std::string_view name, int interval_ms) : name_(name) {
        timer_.setObjectName(QString::fromUtf8(name_.data(), static_cast<qsizetype>(name_.size())));
        timer_.setInterval(interval_ms);
        QObject::connect(&timer_, &QTimer::timeout, [this] { RunTick(); });
    }

    void Start() override { timer_.start(); }
    void Stop() override { timer_.stop(); }
    bool IsActive() const override { return timer_.isActive(); }
    void SetInterval(int interval_ms) override { timer_.setInterval(interval_ms); }
    int Interval() const override { return timer_.interval(); }
    const std::string& Name() const override { return name_; }

private:
    std::string name_;
    QTimer timer_;
};

}  // namespace

std::unique_ptr<Timer> QtTimerFactory::Create(std::string_view name, int interval_ms) {
    return std::make_unique<QtTimer>(name, interval_ms);
}

TimerFactory& EventLoopTimers() {
    static QtTimerFactory factory;
    return factory;
}

}  // namespace tavoro
