#pragma once

#include <QString>
#include <QVariant>

#include <memory>
#include <mutex>

class QSettings;

namespace vantrel {

// The user-level settings store: an INI file read and written through QSettings.
// Safe to use from any thread. `standard()` is the store at Paths::settingsFile().
//
// Every setValue() and remove() posts "vantrelUserDefaultsDidChange" on the
// default notification centre, on the writing thread, with the key as the
// object and the store's file under "path" in the user info.
class UserDefaults {
public:
    static constexpr QLatin1String didChangeNotification{"vantrelUserDefaultsDidChange"};

    explicit UserDefaults(const QString& iniPath);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    static UserDefaults& standard();
    // Drops the shared store so the next standard() reopens it under the current
    // XDG_CONFIG_HOME. For tests.
    static void resetStandard();

    QString path() const;
    // An invalid QVariant when the key is absent.
    QVariant value(const QString& key) const;
    bool contains(const QString& key) const;
    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);
    void sync();

private:
    mutable std::mutex m_mutex;
    std::unique_ptr<QSettings> m_settings;
};

}  // namespace vantrel
