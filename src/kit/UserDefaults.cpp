#include "kit/UserDefaults.h"

#include "kit/NotificationCenter.h"
#include "kit/Paths.h"

#include <QFileInfo>
#include <QSettings>

namespace vantrel {

namespace {
std::mutex g_standardMutex;
std::unique_ptr<UserDefaults> g_standard;
}  // namespace

UserDefaults::UserDefaults(const QString& iniPath)
    : m_settings(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {
    Paths::ensureDir(QFileInfo(iniPath).absolutePath());
}

UserDefaults::~UserDefaults() = default;

UserDefaults& UserDefaults::standard() {
    std::lock_guard lock(g_standardMutex);
    if (!g_standard) g_standard = std::make_unique<UserDefaults>(Paths::settingsFile());
    return *g_standard;
}

void UserDefaults::resetStandard() {
    std::lock_guard lock(g_standardMutex);
    g_standard.reset();
}

QString UserDefaults::path() const {
    std::lock_guard lock(m_mutex);
    return m_settings->fileName();
}

QVariant UserDefaults::value(const QString& key) const {
    std::lock_guard lock(m_mutex);
    return m_settings->value(key);
}

bool UserDefaults::contains(const QString& key) const {
    std::lock_guard lock(m_mutex);
    return m_settings->contains(key);
}

void UserDefaults::setValue(const QString& key, const QVariant& value) {
    QString file;
    {
        std::lock_guard lock(m_mutex);
        m_settings->setValue(key, value);
        file = m_settings->fileName();
    }
    NotificationCenter::defaultCenter().post(QString(didChangeNotification), key, {{QStringLiteral("path"), file}});
}

void UserDefaults::remove(const QString& key) {
    QString file;
    {
        std::lock_guard lock(m_mutex);
        m_settings->remove(key);
        file = m_settings->fileName();
    }
    NotificationCenter::defaultCenter().post(QString(didChangeNotification), key, {{QStringLiteral("path"), file}});
}

void UserDefaults::sync() {
    std::lock_guard lock(m_mutex);
    m_settings->sync();
}

}  // namespace vantrel
