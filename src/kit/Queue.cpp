#include "kit/Queue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
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
    return Queue([guard](Work work) {
        if (QObject* target = guard.data()) QMetaObject::invokeMethod(target, std::move(work), Qt::QueuedConnection);
    });
}

Queue Queue::global() {
    return Queue([](Work work) { QThreadPool::globalInstance()->start(std::move(work)); });
}

}  // namespace vantrel
