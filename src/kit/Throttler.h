#pragma once

#include <QObject>
#include <QPointer>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

namespace vantrel {

// Runs at most one pending block of work at a time, on the thread of a queue
// object (the application's main thread by default).
//
// Throttling replaces the pending work with the new block. In debounce mode the
// block runs maxInterval after the call. Otherwise it runs at once when more
// than maxInterval has passed since the previous run (or since the throttler was
// made), and a full maxInterval after the call when not. A run records its start
// as the previous run.
//
// throttle() and cancel() may be called from any thread. Destroying the
// throttler cancels the pending work.
class Throttler {
public:
    using Clock = std::chrono::steady_clock;

    explicit Throttler(double maxIntervalSeconds, bool isDebounceMode = false, QObject* queue = nullptr);
    ~Throttler();
    Throttler(const Throttler&) = delete;
    Throttler& operator=(const Throttler&) = delete;

    void throttle(std::function<void()> block);
    void cancel();

    double maxInterval() const { return m_maxInterval; }
    bool isDebounceMode() const { return m_isDebounceMode; }
    Clock::time_point previousRun() const;

private:
    struct Job {
        std::shared_ptr<std::atomic<bool>> cancelled = std::make_shared<std::atomic<bool>>(false);
    };
    struct State {
        mutable std::mutex mutex;
        Clock::time_point previousRun;
        Job job;
    };

    std::shared_ptr<State> m_state;
    QPointer<QObject> m_queue;
    bool m_runsOnMainThread;  // no queue object given: the application object, looked up per call
    double m_maxInterval;
    bool m_isDebounceMode;
};

}  // namespace vantrel
