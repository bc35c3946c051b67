#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tavoro {

// A repeating timer that drives one step of a subsystem (the polling loop, the receive
// pipeline, the reports). Subsystems own theirs under the names the program gives them
// ("Timer2", "Timer5") and get them from a TimerFactory: the program's run on the event
// loop, a test's tick only when the test fires them, so nothing waits on real seconds.
class Timer {
public:
    using Tick = std::function<void()>;

    virtual ~Timer() = default;

    // Starts the beat over from now, as enabling a stopped timer does; a running timer is
    // started over too (callers that must not restart one check IsActive first).
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual bool IsActive() const = 0;
    // Takes effect at the next start, or at once on a running timer.
    virtual void SetInterval(int interval_ms) = 0;
    virtual int Interval() const = 0;
    virtual const std::string& Name() const = 0;

    // What each tick runs; one handler per timer, set by its owner.
    void OnTick(Tick tick) { tick_ = std::move(tick); }

protected:
    void RunTick() {
        if (tick_) {
            tick_();
        }
    }

private:
    Tick tick_;
};

class TimerFactory {
public:
    virtual ~TimerFactory() = default;
    // A stopped timer named `name` with the interval `interval_ms`.
    virtual std::unique_ptr<Timer> Create(std::string_view name, int interval_ms) = 0;
};

// Timers on the Qt event loop of the calling thread.
class QtTimerFactory : public TimerFactory {
public:
    std::unique_ptr<Timer> Create(std::string_view name, int interval_ms) override;
};

// The program's timers: one factory for the whole run.
TimerFactory& EventLoopTimers();

}  // namespace tavoro
