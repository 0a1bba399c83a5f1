#pragma once

// D-Bus as the tests meet it: a private bus daemon of the test's own, and
// services played by the test for the desktop services that cannot run here
// (logind, a screen saver, a file manager…).
#include "support/TestEnvironment.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QVariantList>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>

namespace vantrel::test {

// A dbus-daemon of the test's own, with no services: the stand-ins a test
// puts on it are the only ones there, so tests running at the same time never
// meet.
class PrivateBus {
public:
    PrivateBus() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) {
            m_problem = QStringLiteral("dbus-daemon is not installed");
            return;
        }
        const QString config =
            writeTestFile(m_dir.path() + QStringLiteral("/bus.conf"),
                          "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                          " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                          "<busconfig><type>session</type><listen>unix:path=" +
                              m_dir.path().toUtf8() +
                              "/bus</listen><auth>EXTERNAL</auth>"
                              "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                              "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        m_daemon.start(daemon, {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                                QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted(5000) || !m_daemon.waitForReadyRead(10000)) {
            m_problem =
                QStringLiteral("dbus-daemon did not start: ") + QString::fromLocal8Bit(m_daemon.readAllStandardError());
            return;
        }
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus() {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(3000)) m_daemon.kill();
        m_daemon.waitForFinished(1000);
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Why the bus could not be had; empty when it runs.
    const QString& problem() const { return m_problem; }
    const QString& address() const { return m_address; }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QString m_problem;
};

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

    // A handler that answers every call with these values.
    static Handler answering(QVariantList values = {}) {
        return [values](const QDBusMessage&) { return std::optional<QVariantList>(values); };
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
