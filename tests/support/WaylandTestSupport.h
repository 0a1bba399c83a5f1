#pragma once

// A real Wayland compositor for tests: sway on its headless backend.

#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace vantrel::test {

// sway on its headless backend, in a runtime folder of its own. sway refuses
// to run as root, so under root it runs as "nobody".
class HeadlessSway {
public:
    HeadlessSway() {
        const QString sway = QStandardPaths::findExecutable(QStringLiteral("sway"));
        if (sway.isEmpty() || !m_runtime.isValid()) return;
        const QString config = m_runtime.filePath(QStringLiteral("config"));
        writeTestFile(config, "output HEADLESS-1 resolution 640x480\nxwayland disable\n");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        environment.insert(QStringLiteral("HOME"), m_runtime.path());
        environment.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
        environment.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
        environment.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("DISPLAY"));
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        if (::geteuid() == 0) {
            const QByteArray path = QFile::encodeName(m_runtime.path());
            if (::chown(path.constData(), 65534, 65534) != 0 ||
                ::chown(QFile::encodeName(config).constData(), 65534, 65534) != 0)
                return;
            m_process.start(QStringLiteral("setpriv"),
                            {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                             QStringLiteral("--clear-groups"), sway, QStringLiteral("-c"), config});
        } else {
            m_process.start(sway, {QStringLiteral("-c"), config});
        }
        if (!m_process.waitForStarted()) return;
        waitUntil(
            [&] {
                const QStringList sockets =
                    QDir(m_runtime.path()).entryList({QStringLiteral("wayland-*")}, QDir::System);
                for (const QString& name : sockets)
                    if (!name.endsWith(QLatin1String(".lock"))) m_socket = m_runtime.filePath(name);
                // The socket's name shows when it is bound, a moment before
                // it listens: ready once a client can connect.
                if (!m_socket.isEmpty() && !accepts(m_socket)) m_socket.clear();
                return !m_socket.isEmpty() || m_process.state() == QProcess::NotRunning;
            },
            15000);
    }

    ~HeadlessSway() {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    bool isRunning() const { return !m_socket.isEmpty() && m_process.state() == QProcess::Running; }
    QString why() { return QString::fromLocal8Bit(m_process.readAll()); }
    // The absolute path of the compositor's socket.
    QString socket() const { return m_socket; }
    QString runtimeDir() const { return m_runtime.path(); }

private:
    static bool accepts(const QString& socketPath) {
        const QByteArray path = QFile::encodeName(socketPath);
        sockaddr_un address{};
        if (path.size() >= static_cast<qsizetype>(sizeof address.sun_path)) return false;
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return connected;
    }

    QTemporaryDir m_runtime;
    QProcess m_process;
    QString m_socket;
};

}  // namespace vantrel::test
