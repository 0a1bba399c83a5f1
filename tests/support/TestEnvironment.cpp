#include "support/TestEnvironment.h"

#include "kit/UserDefaults.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QThread>

namespace vantrel::test {

namespace {

std::optional<QByteArray> currentValue(const char* name) {
    if (!qEnvironmentVariableIsSet(name)) return std::nullopt;
    return qgetenv(name);
}

void applyValue(const QByteArray& name, const std::optional<QByteArray>& value) {
    if (value)
        qputenv(name.constData(), *value);
    else
        qunsetenv(name.constData());
}

}  // namespace

ScopedXdgHome::ScopedXdgHome() {
    const std::pair<const char*, const char*> folders[] = {{"XDG_DATA_HOME", "data"},
                                                           {"XDG_CACHE_HOME", "cache"},
                                                           {"XDG_CONFIG_HOME", "config"},
                                                           {"XDG_STATE_HOME", "state"}};
    for (const auto& [variable, folder] : folders) {
        m_previous[variable] = currentValue(variable);
        const QString path = m_dir.path() + QLatin1Char('/') + QLatin1String(folder);
        QDir().mkpath(path);
        qputenv(variable, path.toUtf8());
    }
    UserDefaults::resetStandard();
}

ScopedXdgHome::~ScopedXdgHome() {
    for (const auto& [name, value] : m_previous) applyValue(name, value);
    UserDefaults::resetStandard();
}

ScopedEnv::ScopedEnv(const char* name, std::optional<QByteArray> value) : m_name(name), m_previous(currentValue(name)) {
    applyValue(m_name, value);
}

ScopedEnv::~ScopedEnv() {
    applyValue(m_name, m_previous);
}

bool waitUntil(const std::function<bool()>& predicate, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!predicate()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

QString writeTestFile(const QString& path, const QByteArray& contents, QFile::Permissions permissions) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) != contents.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
    file.close();
    if (permissions) file.setPermissions(permissions);
    return path;
}

QByteArray readTestFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace vantrel::test
