#pragma once

#include <QObject>
#include <QPointer>

#include <algorithm>
#include <functional>
#include <vector>

namespace vantrel {

// A typed announcement one object publishes (a feature's "commands changed"):
// the slots connected with a context object are called in connection order
// by publish(), and each connection ends when its context is destroyed.
// Lives on one thread: connect, publish and the contexts' destruction all
// happen there (the main thread for features).
template <typename... Args>
class Signal {
public:
    using Slot = std::function<void(Args...)>;

    void connect(QObject* context, Slot slot) {
        m_connections.push_back({QPointer<QObject>(context), std::move(slot)});
    }

    // Ends every connection made with this context.
    void disconnect(const QObject* context) {
        std::erase_if(m_connections,
                      [context](const Connection& connection) { return connection.context.data() == context; });
    }

    // Calls the slots whose context is alive. A slot may connect or
    // disconnect; it then takes effect from the next publish().
    void publish(Args... args) {
        const std::vector<Connection> connections = m_connections;
        for (const Connection& connection : connections)
            if (connection.context) connection.slot(args...);
        std::erase_if(m_connections, [](const Connection& connection) { return !connection.context; });
    }

    std::size_t connectionCount() const {
        return std::size_t(std::count_if(m_connections.begin(), m_connections.end(),
                                         [](const Connection& connection) { return !connection.context.isNull(); }));
    }

private:
    struct Connection {
        QPointer<QObject> context;
        Slot slot;
    };
    std::vector<Connection> m_connections;
};

}  // namespace vantrel
