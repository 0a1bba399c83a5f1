#pragma once

#include "data/SQLite.h"

#include <QDateTime>
#include <QHashFunctions>
#include <QMetaType>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>
#include <optional>
#include <variant>

namespace vantrel {

// One row of the search table: an application, preference pane, command,
// script, extension command, quicklink or snippet that root search can find. Data
// sources write these, the indexes read them, visits update their frecency and
// search terms. The user-owned fields (frecencyDate, favorite, openedAt,
// alias, hotkey, shortcutAddedAt, searchTerms) survive reloads of the source.
struct SearchRecord {
    enum class ContentType {
        unknown,
        systemApp,
        prefPane,
        command,
        fallbackSearch,
        scriptCommand,
        extensionCommand,
        quicklink,
        snippet,
    };

    enum class Source {
        unknown,
        test,
        system,
        package,
        provider,
        scripts,
        extensionCommands,
        quicklinks,
        snippets,
    };

    // Column names, one per field and named as the field.
    struct Columns {
        static constexpr QLatin1String id{"id"};
        static constexpr QLatin1String key{"key"};
        static constexpr QLatin1String type{"type"};
        static constexpr QLatin1String source{"source"};
        static constexpr QLatin1String name{"name"};
        static constexpr QLatin1String keywords{"keywords"};
        static constexpr QLatin1String path{"path"};
        static constexpr QLatin1String frecencyDate{"frecencyDate"};
        static constexpr QLatin1String category{"category"};
        static constexpr QLatin1String uninstalled{"uninstalled"};
        static constexpr QLatin1String favorite{"favorite"};
        static constexpr QLatin1String openedAt{"openedAt"};
        static constexpr QLatin1String alias{"alias"};
        static constexpr QLatin1String hotkey{"hotkey"};
        static constexpr QLatin1String shortcutAddedAt{"shortcutAddedAt"};
        static constexpr QLatin1String searchTerms{"searchTerms"};
    };
    static constexpr QLatin1String tableName{"search"};

    std::optional<qint64> id;
    QString key;
    ContentType type = ContentType::unknown;
    Source source = Source::unknown;
    QString name;
    std::optional<QString> keywords;
    std::optional<QString> path;
    std::optional<QDateTime> frecencyDate;
    std::optional<QString> category;
    bool uninstalled = false;
    std::optional<double> favorite;
    std::optional<QDateTime> openedAt;
    std::optional<QString> alias;
    std::optional<QString> hotkey;
    std::optional<QDateTime> shortcutAddedAt;
    std::optional<QString> searchTerms;

    // Raw values as stored; an unknown raw value maps to `unknown`.
    static QString rawValue(ContentType type);
    static QString rawValue(Source source);
    static ContentType contentTypeFromRaw(const QString& raw);
    static Source sourceFromRaw(const QString& raw);
    static const QList<ContentType>& allContentTypes();
    static const QList<Source>& allSources();

    // The keywords column holds words separated by white space or commas (the
    // commands source writes "foo,bar"); joinKeywords writes them joined by a
    // single space.
    static constexpr QLatin1String keywordSeparator{" "};
    static QString joinKeywords(const QStringList& words);
    QStringList keywordList() const;

    // The words the indexes file this record under besides its name: the
    // keywords and the alias, plus for applications and preference panes the file name of
    // their path without the ".prefPane" or ".desktop" extension.
    QSet<QString> indexableKeywords() const;

    // Every column, in field order (id first).
    static const QStringList& columnNames();
    // Every column except id, in field order.
    static const QStringList& valueColumnNames();
    // Values for valueColumnNames(), in the same order.
    QVariantList bindValues() const;

    static SearchRecord fromRow(const Row& row);
    // A row selected with exactly columnNames(), in that order.
    static SearchRecord fromStatement(const Statement& statement);

    friend bool operator==(const SearchRecord&, const SearchRecord&) = default;
};

size_t qHash(const SearchRecord& record, size_t seed = 0) noexcept;

// Which existing rows a write of fresh records covers: rows of a covered scope
// that the write does not deliver are flagged uninstalled.
struct SearchUpdateStrategy {
    // Only the rows of the written source whose path lies inside `folder`
    // (the folder itself or anything below it).
    struct SourceWithPath {
        QString folder;
        friend bool operator==(const SourceWithPath&, const SourceWithPath&) = default;
    };
    // Every source in the update.
    struct All {
        friend bool operator==(const All&, const All&) = default;
    };
    // The named source (each source named in the update).
    struct SourceOnly {
        friend bool operator==(const SourceOnly&, const SourceOnly&) = default;
    };

    std::variant<SourceWithPath, All, SourceOnly> value = SourceOnly{};

    static SearchUpdateStrategy sourceWithPath(QString folder) { return {SourceWithPath{std::move(folder)}}; }
    static SearchUpdateStrategy all() { return {All{}}; }
    static SearchUpdateStrategy source() { return {SourceOnly{}}; }

    const QString* folder() const {
        const auto* withPath = std::get_if<SourceWithPath>(&value);
        return withPath ? &withPath->folder : nullptr;
    }
    // "sourceWithPath(<folder>)", "all" or "source", for log lines.
    QString description() const;

    friend bool operator==(const SearchUpdateStrategy&, const SearchUpdateStrategy&) = default;
};

}  // namespace vantrel

template <>
struct std::hash<vantrel::SearchRecord> {
    size_t operator()(const vantrel::SearchRecord& record) const noexcept { return vantrel::qHash(record); }
};

Q_DECLARE_METATYPE(vantrel::SearchRecord)
