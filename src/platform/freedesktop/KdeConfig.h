#pragma once

#include <QString>

#include <optional>

namespace vantrel {

// A KDE configuration file (KConfig's format: "[Group]" headers and
// "key=value" lines, keys may hold spaces) read and changed in place: the
// other groups, keys, comments and order are kept. Only plain values are
// handled (no "[$e]" expansions or localised keys).
class KdeConfigFile {
public:
    // $XDG_CONFIG_HOME/<name> (~/.config/<name>).
    static QString configPath(const QString& name);

    explicit KdeConfigFile(QString path);

    std::optional<QString> value(const QString& group, const QString& key) const;
    // Writes the file (atomically) with the value set; throws VantrelError
    // when it cannot.
    void setValue(const QString& group, const QString& key, const QString& value);

private:
    QString m_path;
};

}  // namespace vantrel
