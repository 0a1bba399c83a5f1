#pragma once

#include "data/SQLite.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <optional>
#include <vector>

// The value records of the clipboard, snippets, quicklinks, notes, browser
// bookmarks, extensions, commands and package configuration tables. Each
// offers its column names (Columns, named as the fields), fromRow() and the
// values to bind for its columns in the order of valueColumnNames().
namespace vantrel {

// Table clipboard: one copied item of the clipboard history.
struct ClipboardRecord {
    enum class Category { text, image, file, color, link };

    struct Columns {
        static constexpr QLatin1String id{"id"};
        static constexpr QLatin1String text{"text"};
        static constexpr QLatin1String createdAt{"createdAt"};
        static constexpr QLatin1String lastModifiedAt{"lastModifiedAt"};
        static constexpr QLatin1String copyCount{"copyCount"};
        static constexpr QLatin1String isPinned{"isPinned"};
        static constexpr QLatin1String filePath{"filePath"};
        static constexpr QLatin1String imageHash{"imageHash"};
        static constexpr QLatin1String richTextData{"richTextData"};
        static constexpr QLatin1String category{"category"};
        static constexpr QLatin1String applicationPath{"applicationPath"};
    };
    static constexpr QLatin1String tableName{"clipboard"};

    std::optional<qint64> id;
    QString text;
    QDateTime createdAt;
    QDateTime lastModifiedAt;
    quint64 copyCount = 1;
    bool isPinned = false;
    std::optional<QString> filePath;
    std::optional<QString> imageHash;
    std::optional<QByteArray> richTextData;
    Category category = Category::text;
    std::optional<QString> applicationPath;

    static QString rawValue(Category category);
    static std::optional<Category> categoryFromRaw(const QString& raw);

    static const QStringList& valueColumnNames();
    QVariantList bindValues() const;
    // A category the row does not name reads as text (the column's default).
    static ClipboardRecord fromRow(const Row& row);

    friend bool operator==(const ClipboardRecord&, const ClipboardRecord&) = default;
};

// Table snippets: a saved text that a keyword (alias) expands.
struct SnippetRecord {
    enum class Category { color, text, richText };

    struct Columns {
        static constexpr QLatin1String id{"id"};
        static constexpr QLatin1String name{"name"};
        static constexpr QLatin1String text{"text"};
        static constexpr QLatin1String mimeType{"mimeType"};
        static constexpr QLatin1String richTextData{"richTextData"};
        static constexpr QLatin1String alias{"alias"};
        static constexpr QLatin1String category{"category"};
        static constexpr QLatin1String isPinned{"isPinned"};
        static constexpr QLatin1String createdAt{"createdAt"};
        static constexpr QLatin1String modifiedAt{"modifiedAt"};
        static constexpr QLatin1String accessedAt{"accessedAt"};
    };
    static constexpr QLatin1String tableName{"snippets"};

    std::optional<qint64> id;
    QString name;
    QString text;
    std::optional<QString> mimeType;
    std::optional<QByteArray> richTextData;
    std::optional<QString> alias;
    Category category = Category::text;
    bool isPinned = false;
    QDateTime createdAt;
    QDateTime modifiedAt;
    QDateTime accessedAt;

    static QString rawValue(Category category);
    static std::optional<Category> categoryFromRaw(const QString& raw);

    static const QStringList& valueColumnNames();
    QVariantList bindValues() const;
    static SnippetRecord fromRow(const Row& row);

    friend bool operator==(const SnippetRecord&, const SnippetRecord&) = default;
};

// Whether a quicklink opens a local file or folder or a remote address.
enum class QuicklinkRecordType { localPath, remoteLink };
QString rawValue(QuicklinkRecordType type);
std::optional<QuicklinkRecordType> quicklinkRecordTypeFromRaw(const QString& raw);

// Table quicklinks: a link (possibly a template with arguments) with a name.
struct QuicklinkRecord {
    struct Columns {
        static constexpr QLatin1String id{"id"};
        static constexpr QLatin1String urlString{"url"};
        static constexpr QLatin1String name{"name"};
        static constexpr QLatin1String applicationID{"applicationID"};
        static constexpr QLatin1String updatedAt{"updatedAt"};
        static constexpr QLatin1String isEnabled{"isEnabled"};
    };
    static constexpr QLatin1String tableName{"quicklinks"};

    std::optional<qint64> id;
    QString urlString;
    QString name;
    QString applicationID;  // empty: the default application for the link
    QDateTime updatedAt;
    bool isEnabled = true;

    // A file path ("/…", "~/…") or a file: URL is a local path; anything else a remote link.
    QuicklinkRecordType type() const;
    static QuicklinkRecordType typeOf(const QString& link);

    static const QStringList& valueColumnNames();
    QVariantList bindValues() const;
    static QuicklinkRecord fromRow(const Row& row);

    friend bool operator==(const QuicklinkRecord&, const QuicklinkRecord&) = default;
};

// Table notes: a floating note.
struct NoteRecord {
    enum class NoteType { floating };

    struct Columns {
        static constexpr QLatin1String id{"id"};
        static constexpr QLatin1String text{"text"};
        static constexpr QLatin1String createdAt{"createdAt"};
        static constexpr QLatin1String lastModifiedAt{"lastModifiedAt"};
        static constexpr QLatin1String type{"type"};
    };
    static constexpr QLatin1String tableName{"notes"};

    std::optional<qint64> id;
    QString text;
    QDateTime createdAt;
    QDateTime lastModifiedAt;
    NoteType type = NoteType::floating;

    static QString rawValue(NoteType type);
    static std::optional<NoteType> noteTypeFromRaw(const QString& raw);

    static const QStringList& valueColumnNames();
    QVariantList bindValues() const;
    static NoteRecord fromRow(const Row& row);

    friend bool operator==(const NoteRecord&, const NoteRecord&) = default;
};

// Table browserBookmarks: one bookmark of one browser; unique on (url, source).
struct BrowserBookmarkRecord {
    struct Columns {
        static constexpr QLatin1String urlString{"url"};
        static constexpr QLatin1String source{"source"};
        static constexpr QLatin1String name{"name"};
        static constexpr QLatin1String tags{"tags"};
        static constexpr QLatin1String imageURLString{"imageURL"};
        static constexpr QLatin1String frecencyDate{"frecencyDate"};
        static constexpr QLatin1String updatedAt{"updatedAt"};
    };
    static constexpr QLatin1String tableName{"browserBookmarks"};

    QString urlString;
    QString source;  // which browser
    QString name;
    QString tags;
    std::optional<QString> imageURLString;
    std::optional<QDateTime> frecencyDate;
    QDateTime updatedAt;

    static const QStringList& valueColumnNames();
    QVariantList bindValues() const;
    static BrowserBookmarkRecord fromRow(const Row& row);

    friend bool operator==(const BrowserBookmarkRecord&, const BrowserBookmarkRecord&) = default;
};

// Table extensions: an installed extension.
struct ExtensionRecord {
    struct Columns {
        static constexpr QLatin1String id{"id"};
        static constexpr QLatin1String uuid{"uuid"};
        static constexpr QLatin1String name{"name"};
        static constexpr QLatin1String title{"title"};
        static constexpr QLatin1String description{"description"};
        static constexpr QLatin1String icon{"icon"};
        static constexpr QLatin1String keywords{"keywords"};
        static constexpr QLatin1String license{"license"};
        static constexpr QLatin1String username{"username"};
        static constexpr QLatin1String preferences{"preferences"};
        static constexpr QLatin1String version{"version"};
        static constexpr QLatin1String updatedAt{"updatedAt"};
    };
    static constexpr QLatin1String tableName{"extensions"};

    std::optional<qint64> id;
    std::optional<QString> uuid;
    QString name;
    QString title;
    QString description;
    QString icon;
    std::optional<QString> keywords;
    std::optional<QString> license;
    std::optional<QString> username;
    std::optional<QString> preferences;  // JSON text
    std::optional<QDateTime> version;
    QDateTime updatedAt;

    static const QStringList& columnNames();  // id first
    static const QStringList& valueColumnNames();
    QVariantList bindValues() const;
    // Columns are read as `prefix` + column name (for joined rows).
    static ExtensionRecord fromRow(const Row& row, const QString& prefix = QString());

    friend bool operator==(const ExtensionRecord&, const ExtensionRecord&) = default;
};

// Table commands: one command of an installed extension.
struct CommandRecord {
    struct Columns {
        static constexpr QLatin1String id{"id"};
        static constexpr QLatin1String extensionId{"extensionId"};
        static constexpr QLatin1String uuid{"uuid"};
        static constexpr QLatin1String name{"name"};
        static constexpr QLatin1String title{"title"};
        static constexpr QLatin1String description{"description"};
        static constexpr QLatin1String icon{"icon"};
        static constexpr QLatin1String keywords{"keywords"};
        static constexpr QLatin1String mode{"mode"};
        static constexpr QLatin1String installed{"installed"};
        static constexpr QLatin1String preferences{"preferences"};
        static constexpr QLatin1String updatedAt{"updatedAt"};
    };
    static constexpr QLatin1String tableName{"commands"};

    std::optional<qint64> id;
    std::optional<qint64> extensionId;
    std::optional<QString> uuid;
    QString name;
    QString title;
    QString description;
    std::optional<QString> icon;
    std::optional<QString> keywords;
    QString mode;
    bool installed = true;
    std::optional<QString> preferences;  // JSON text
    QDateTime updatedAt;

    static const QStringList& columnNames();  // id first
    static const QStringList& valueColumnNames();
    QVariantList bindValues() const;
    static CommandRecord fromRow(const Row& row, const QString& prefix = QString());

    friend bool operator==(const CommandRecord&, const CommandRecord&) = default;
};

// A command with its extension, read from one joined row.
struct CommandInfo {
    CommandRecord command;
    ExtensionRecord extension;
    // Reads a row whose command columns carry the prefix "command_" and whose
    // extension columns carry the prefix "extension_".
    static CommandInfo fromJoinedRow(const Row& row);
    friend bool operator==(const CommandInfo&, const CommandInfo&) = default;
};

// An extension with all its commands.
struct ExtensionInfo {
    ExtensionRecord extension;
    std::vector<CommandRecord> commands;
    friend bool operator==(const ExtensionInfo&, const ExtensionInfo&) = default;
};

// What the extension store asks to look up.
struct ExtensionRequest {
    QString name;
    std::optional<QString> uuid;
    friend bool operator==(const ExtensionRequest&, const ExtensionRequest&) = default;
};

struct CommandRequest {
    QString name;
    std::optional<QString> uuid;
    QString extensionName;
    std::optional<QString> extensionUUID;
    friend bool operator==(const CommandRequest&, const CommandRequest&) = default;
};

// Table vantrelPackageConfiguration: the per-package settings row.
struct PackageConfigurationRecord {
    struct Columns {
        static constexpr QLatin1String id{"id"};
        static constexpr QLatin1String isEnabled{"isEnabled"};
        static constexpr QLatin1String jsonPayload{"jsonPayload"};
    };
    static constexpr QLatin1String tableName{"vantrelPackageConfiguration"};

    QString id;
    bool isEnabled = true;
    QJsonObject jsonPayload;

    // The payload as compact JSON text.
    QString jsonText() const;
    // A payload that is not a JSON object reads as an empty object.
    static PackageConfigurationRecord fromRow(const Row& row);

    friend bool operator==(const PackageConfigurationRecord&, const PackageConfigurationRecord&) = default;
};

}  // namespace vantrel
