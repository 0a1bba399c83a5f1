#pragma once

// A D-Bus service played by the test, for the desktop services that cannot
// run here (logind, a screen saver, a file manager…).
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QStringList>
#include <QThread>
#include <QVariantList>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>

namespace vantrel::test {

// A stand-in D-Bus service: every method call below its path goes to the
// handler, which answers with values or (nullopt) does not answer at all.
// It lives on a thread of its own, so it answers while the test's thread
// waits in the command.
class FakeService {
public:
    using Handler = std::function<std::optional<QVariantList>(const QDBusMessage&)>;

    FakeService(const QString& address, const QString& service, const QString& path, Handler handler)
        : m_name(QStringLiteral("fake-%1-%2").arg(service).arg(s_counter.fetch_add(1))),
          m_path(path),
          m_object(new Object(std::move(handler))) {
        m_connection = QDBusConnection::connectToBus(address, m_name);
        EXPECT_TRUE(m_connection.registerVirtualObject(path, m_object, QDBusConnection::SubPath));
        m_thread.start();
        m_object->moveToThread(&m_thread);
        EXPECT_TRUE(m_connection.registerService(service)) << service.toStdString();
    }
    ~FakeService() {
        m_connection.unregisterObject(m_path, QDBusConnection::UnregisterTree);
        QDBusConnection::disconnectFromBus(m_name);
        m_thread.quit();
        m_thread.wait();
        delete m_object;
    }

    // "path interface.member(arguments)" of every call received.
    QStringList calls() const { return m_object->calls(); }

private:
    class Object : public QDBusVirtualObject {
    public:
        explicit Object(Handler handler) : m_handler(std::move(handler)) {}
        QString introspect(const QString&) const override { return {}; }
        bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
            QStringList arguments;
            for (const QVariant& argument : message.arguments()) arguments << argument.toString();
            {
                std::lock_guard lock(m_mutex);
                m_calls << QStringLiteral("%1 %2.%3(%4)")
                               .arg(message.path(), message.interface(), message.member(), arguments.join(','));
            }
            if (const std::optional<QVariantList> reply = m_handler(message)) {
                connection.send(message.createReply(*reply));
            }
            return true;
        }
        QStringList calls() const {
            std::lock_guard lock(m_mutex);
            return m_calls;
        }

    private:
        Handler m_handler;
        mutable std::mutex m_mutex;
        QStringList m_calls;
    };

    static inline std::atomic<int> s_counter{0};
    QString m_name;
    QString m_path;
    QThread m_thread;
    Object* m_object;
    QDBusConnection m_connection{QStringLiteral("unconnected")};
};

}  // namespace vantrel::test
