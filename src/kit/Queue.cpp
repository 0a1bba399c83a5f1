#include "kit/Queue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QThreadPool>

namespace vantrel {

Queue::Queue() : Queue(Executor{}) {}

Queue::Queue(Executor executor) : m_executor(std::move(executor)) {}

void Queue::dispatch(Work work) const {
    if (!work) return;
    if (m_executor)
        m_executor(std::move(work));
    else
        work();
}

Queue Queue::immediate() {
    return Queue([](Work work) { work(); });
}

Queue Queue::main() {
    return Queue([](Work work) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) {
            work();
            return;
        }
        QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
    });
}

Queue Queue::object(QObject* context) {
    QPointer<QObject> guard(context);
    QThread* home = context ? context->thread() : nullptr;
    return Queue([guard, home](Work work) {
        // A QPointer may only be read on its object's thread: elsewhere the
        // object can be destroyed between the check and the post, and the post
        // then writes into freed memory. From another thread the work goes to
        // the application object (on the same thread and in the same event
        // queue) and the check waits until it runs there.
        QCoreApplication* app = QCoreApplication::instance();
        if (QThread::currentThread() != home && app && home == app->thread()) {
            QMetaObject::invokeMethod(
                app,
                [guard, work = std::move(work)] {
                    if (guard) work();
                },
                Qt::QueuedConnection);
            return;
        }
        if (QObject* target = guard.data()) QMetaObject::invokeMethod(target, std::move(work), Qt::QueuedConnection);
    });
}

Queue Queue::global() {
    return Queue([](Work work) { QThreadPool::globalInstance()->start(std::move(work)); });
}

}  // namespace vantrel
