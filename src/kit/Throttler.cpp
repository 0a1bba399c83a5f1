#include "kit/Throttler.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

namespace vantrel {

Throttler::Throttler(double maxIntervalSeconds, bool isDebounceMode, QObject* queue)
    : m_state(std::make_shared<State>()),
      m_queue(queue),
      m_runsOnMainThread(queue == nullptr),
      m_maxInterval(maxIntervalSeconds),
      m_isDebounceMode(isDebounceMode) {
    m_state->previousRun = Clock::now();
}

Throttler::~Throttler() {
    cancel();
}

Throttler::Clock::time_point Throttler::previousRun() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->previousRun;
}

void Throttler::throttle(std::function<void()> block) {
    const auto interval =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(std::max(0.0, m_maxInterval)));
    Job job;
    Clock::time_point due;
    {
        std::lock_guard lock(m_state->mutex);
        m_state->job.cancelled->store(true);
        m_state->job = job;
        const Clock::time_point now = Clock::now();
        Clock::duration delay = interval;
        if (!m_isDebounceMode && now - m_state->previousRun > interval) delay = Clock::duration::zero();
        due = now + delay;
    }

    QObject* queue = m_runsOnMainThread ? QCoreApplication::instance() : m_queue.data();
    if (!queue) return;

    std::shared_ptr<State> state = m_state;
    std::function<void()> run = [state, cancelled = job.cancelled, block = std::move(block)] {
        if (cancelled->load()) return;
        {
            std::lock_guard lock(state->mutex);
            state->previousRun = Clock::now();
        }
        if (block) block();
    };
    // The timer is made on the queue's own thread, which may not be this one;
    // the wait left when it gets there is measured from the throttle call.
    QMetaObject::invokeMethod(
        queue,
        [queue, due, cancelled = job.cancelled, run = std::move(run)] {
            if (cancelled->load()) return;
            const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now());
            if (remaining.count() <= 0)
                run();
            else
                QTimer::singleShot(remaining, Qt::PreciseTimer, queue, run);
        },
        Qt::QueuedConnection);
}

void Throttler::cancel() {
    std::lock_guard lock(m_state->mutex);
    m_state->job.cancelled->store(true);
    m_state->job = Job{};
}

}  // namespace vantrel
