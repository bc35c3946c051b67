#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "core/Timer.h"

namespace tavoro::test {

// Timers that tick only when a test fires them, so a test of a one-second polling loop
// or a ten-second relay takes no time at all and never races the machine's load.
class ManualTimers : public TimerFactory {
public:
    class ManualTimer : public Timer {
    public:
        ManualTimer(std::string_view name, int interval_ms)
            : name_(name), interval_ms_(interval_ms) {}

        void Start() override {
            active_ = true;
            ++starts_;
        }
        void Stop() override { active_ = false; }
        bool IsActive() const override { return active_; }
        void SetInterval(int interval_ms) override { interval_ms_ = interval_ms; }
        int Interval() const override { return interval_ms_; }
        const std::string& Name() const override { return name_; }

        // How many times the timer was started (a restart counts), for the rules that a
        // running timer keeps its beat.
        int starts() const { return starts_; }
        // One tick, as the event loop would deliver it: only while the timer runs.
        bool Fire() {
            if (!active_) {
                return false;
            }
            RunTick();
            return true;
        }

    private:
        std::string name_;
        int interval_ms_;
        bool active_ = false;
        int starts_ = 0;
    };

    std::unique_ptr<Timer> Create(std::string_view name, int interval_ms) override {
        auto timer = std::make_unique<ManualTimer>(name, interval_ms);
        timers_[std::string(name)] = timer.get();
        return timer;
    }

    // The timer created last under `name`; nullptr when none was. The owner keeps it
    // alive for as long as the factory's user runs.
    ManualTimer* operator[](std::string_view name) const {
        auto found = timers_.find(std::string(name));
        return found == timers_.end() ? nullptr : found->second;
    }
    // Fires the timer `name` once; false when it does not exist or is not running.
    bool Fire(std::string_view name) {
        ManualTimer* timer = (*this)[name];
        return timer && timer->Fire();
    }

private:
    std::map<std::string, ManualTimer*, std::less<>> timers_;
};

// The event loop's timers, which a test can also look at by name, re-time (a shorter beat
// for a stand-in that answers at once) or fire at once: for tests of the whole program,
// whose timers must really run.
class LiveTimers : public TimerFactory {
public:
    class LiveTimer : public Timer {
    public:
        explicit LiveTimer(std::unique_ptr<Timer> timer) : timer_(std::move(timer)) {
            timer_->OnTick([this] { RunTick(); });
        }

        void Start() override { timer_->Start(); }
        void Stop() override { timer_->Stop(); }
        bool IsActive() const override { return timer_->IsActive(); }
        void SetInterval(int interval_ms) override { timer_->SetInterval(interval_ms); }
        int Interval() const override { return timer_->Interval(); }
        const std::string& Name() const override { return timer_->Name(); }

        // One tick now, as the event loop would deliver it: only while the timer runs.
        bool Fire() {
            if (!IsActive()) {
                return false;
            }
            RunTick();
            return true;
        }

    private:
        std::unique_ptr<Timer> timer_;
    };

    std::unique_ptr<Timer> Create(std::string_view name, int interval_ms) override {
        auto timer = std::make_unique<LiveTimer>(real_.Create(name, interval_ms));
        timers_[std::string(name)] = timer.get();
        return timer;
    }

    LiveTimer* operator[](std::string_view name) const {
        auto found = timers_.find(std::string(name));
        return found == timers_.end() ? nullptr : found->second;
    }

private:
    QtTimerFactory real_;
    std::map<std::string, LiveTimer*, std::less<>> timers_;
};

}  // namespace tavoro::test
