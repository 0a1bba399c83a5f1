#pragma once

#include <functional>

class QObject;

namespace vantrel {

// Where a piece of work runs. A Queue is a small copyable value around one
// function that takes the work and arranges for it to run, now or later.
class Queue {
public:
    using Work = std::function<void()>;
    using Executor = std::function<void(Work)>;

    // Runs work at once on the calling thread.
    Queue();
    explicit Queue(Executor executor);

    void dispatch(Work work) const;
    void operator()(Work work) const { dispatch(std::move(work)); }

    // Runs work at once on the calling thread.
    static Queue immediate();
    // Posts work to the thread of the QCoreApplication; it runs once that
    // thread's event loop gets to it. Without an application object the work
    // runs at once.
    static Queue main();
    // Posts work to the thread the object lives in. Work posted after the
    // object is destroyed is dropped. Make the queue where the object is known
    // to live (its own thread, or before handing the queue to other threads);
    // dispatching is then safe from any thread, even while the object is being
    // destroyed, when the object lives on the application's thread.
    static Queue object(QObject* context);
    // Runs work on the global thread pool.
    static Queue global();

private:
    Executor m_executor;
};

}  // namespace vantrel
