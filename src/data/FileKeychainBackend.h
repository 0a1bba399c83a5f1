#pragma once

#include "data/Keychain.h"

#include <QJsonObject>
#include <QString>

#include <functional>
#include <mutex>

namespace vantrel {

// Keeps generic-password items in one private JSON file when no Secret Service
// answers:
//   {"version": 1, "items": {"<service>": {"<account>": "<base64 data>"}}}
// The file has mode 0600 in a folder of mode 0700. Every write re-reads the file
// under an in-process mutex and an advisory lock (flock on "<path>.lock"), then
// replaces it atomically, so writers in several threads or processes never lose
// each other's items. Reads need no lock: they always see a whole file.
//
// A file that is not a valid keyring is never overwritten in place: reads fail
// with "keyring file is not valid JSON: <path>", and the next write moves it
// aside to "<path>.corrupt-<UTC yyyyMMddHHmmss>" (logged as a warning) before
// starting a fresh file.
class FileKeychainBackend : public KeychainBackend {
public:
    static constexpr int kFormatVersion = 1;

    // An empty path means Paths::dataDir() + "/keyring", resolved now.
    explicit FileKeychainBackend(QString path = QString());

    static QString defaultPath();
    const QString& path() const { return m_path; }
    QString lockPath() const { return m_path + QStringLiteral(".lock"); }

    QString name() const override { return QStringLiteral("file"); }
    Status read(const QString& service, const QString& account, QByteArray* data, QString* detail) override;
    Status create(const QString& service, const QString& account, const QByteArray& data, QString* detail) override;
    Status update(const QString& service, const QString& account, const QByteArray& data, QString* detail) override;
    Status remove(const QString& service, const QString& account, QString* detail) override;
    Status removeAll(const QString& service, QString* detail) override;

private:
    enum class Load { ok, missing, corrupt, failure };

    // Reads the items object of the file; on corrupt or failure explains why.
    Load load(QJsonObject* items, QString* detail) const;
    // Under the locks: loads (setting a corrupt file aside), lets change edit the
    // items and writes them back when it asks to. change returns the status of
    // the operation and sets its bool to request a write.
    Status modify(const std::function<Status(QJsonObject& items, bool* write, QString* detail)>& change,
                  QString* detail);
    bool moveCorruptAside(QString* movedTo, QString* detail) const;
    bool save(const QJsonObject& items, QString* detail) const;

    QString m_path;
    std::mutex m_mutex;
};

}  // namespace vantrel
