#include "data/Records.h"

#include "data/RecordCoding.h"

#include <QJsonDocument>
#include <QUrl>

namespace vantrel {

using namespace RecordCoding;

namespace {

template <typename Enum>
struct RawName {
    Enum value;
    const char* raw;
};

template <typename Enum, std::size_t N>
QString rawOf(const RawName<Enum> (&table)[N], Enum value) {
    for (const auto& entry : table)
        if (entry.value == value) return QString::fromLatin1(entry.raw);
    return QString::fromLatin1(table[0].raw);
}

template <typename Enum, std::size_t N>
std::optional<Enum> fromRawIn(const RawName<Enum> (&table)[N], const QString& raw) {
    for (const auto& entry : table)
        if (raw == QLatin1String(entry.raw)) return entry.value;
    return std::nullopt;
}

QString column(const QString& prefix, QLatin1String name) { return prefix.isEmpty() ? QString(name) : prefix + name; }

constexpr RawName<ClipboardRecord::Category> kClipboardCategories[] = {
    {ClipboardRecord::Category::text, "text"},   {ClipboardRecord::Category::image, "image"},
    {ClipboardRecord::Category::file, "file"},   {ClipboardRecord::Category::color, "color"},
    {ClipboardRecord::Category::link, "link"},
};

constexpr RawName<SnippetRecord::Category> kSnippetCategories[] = {
    {SnippetRecord::Category::color, "color"},
    {SnippetRecord::Category::text, "text"},
    {SnippetRecord::Category::richText, "richText"},
};

constexpr RawName<NoteRecord::NoteType> kNoteTypes[] = {{NoteRecord::NoteType::floating, "floating"}};

constexpr RawName<QuicklinkRecordType> kQuicklinkTypes[] = {
    {QuicklinkRecordType::localPath, "localPath"},
    {QuicklinkRecordType::remoteLink, "remoteLink"},
};

}  // namespace

// MARK: Clipboard

QString ClipboardRecord::rawValue(Category category) { return rawOf(kClipboardCategories, category); }
std::optional<ClipboardRecord::Category> ClipboardRecord::categoryFromRaw(const QString& raw) {
    return fromRawIn(kClipboardCategories, raw);
}

const QStringList& ClipboardRecord::valueColumnNames() {
    static const QStringList names{Columns::text,     Columns::createdAt, Columns::lastModifiedAt, Columns::copyCount,
                                   Columns::isPinned, Columns::filePath,  Columns::imageHash,      Columns::richTextData,
                                   Columns::category, Columns::applicationPath};
    return names;
}

QVariantList ClipboardRecord::bindValues() const {
    return {text,
            createdAt,
            lastModifiedAt,
            static_cast<qint64>(copyCount),
            isPinned,
            toVariant(filePath),
            toVariant(imageHash),
            toVariant(richTextData),
            rawValue(category),
            toVariant(applicationPath)};
}

ClipboardRecord ClipboardRecord::fromRow(const Row& row) {
    ClipboardRecord record;
    record.id = optionalInt(row[Columns::id]);
    record.text = string(row[Columns::text]);
    record.createdAt = date(row[Columns::createdAt]);
    record.lastModifiedAt = date(row[Columns::lastModifiedAt]);
    const qint64 count = optionalInt(row[Columns::copyCount]).value_or(1);
    record.copyCount = count > 0 ? static_cast<quint64>(count) : 0;
    record.isPinned = boolean(row[Columns::isPinned]);
    record.filePath = optionalString(row[Columns::filePath]);
    record.imageHash = optionalString(row[Columns::imageHash]);
    record.richTextData = optionalBytes(row[Columns::richTextData]);
    record.category = categoryFromRaw(string(row[Columns::category])).value_or(Category::text);
    record.applicationPath = optionalString(row[Columns::applicationPath]);
    return record;
}

// MARK: Snippets

QString SnippetRecord::rawValue(Category category) { return rawOf(kSnippetCategories, category); }
std::optional<SnippetRecord::Category> SnippetRecord::categoryFromRaw(const QString& raw) {
    return fromRawIn(kSnippetCategories, raw);
}

const QStringList& SnippetRecord::valueColumnNames() {
    static const QStringList names{Columns::name,     Columns::text,      Columns::mimeType,   Columns::richTextData,
                                   Columns::alias,    Columns::category,  Columns::isPinned,   Columns::createdAt,
                                   Columns::modifiedAt, Columns::accessedAt};
    return names;
}

QVariantList SnippetRecord::bindValues() const {
    return {name,     text,      toVariant(mimeType), toVariant(richTextData), toVariant(alias), rawValue(category),
            isPinned, createdAt, modifiedAt,          accessedAt};
}

SnippetRecord SnippetRecord::fromRow(const Row& row) {
    SnippetRecord record;
    record.id = optionalInt(row[Columns::id]);
    record.name = string(row[Columns::name]);
    record.text = string(row[Columns::text]);
    record.mimeType = optionalString(row[Columns::mimeType]);
    record.richTextData = optionalBytes(row[Columns::richTextData]);
    record.alias = optionalString(row[Columns::alias]);
    record.category = categoryFromRaw(string(row[Columns::category])).value_or(Category::text);
    record.isPinned = boolean(row[Columns::isPinned]);
    record.createdAt = date(row[Columns::createdAt]);
    record.modifiedAt = date(row[Columns::modifiedAt]);
    record.accessedAt = date(row[Columns::accessedAt]);
    return record;
}

// MARK: Quicklinks

QString rawValue(QuicklinkRecordType type) { return rawOf(kQuicklinkTypes, type); }
std::optional<QuicklinkRecordType> quicklinkRecordTypeFromRaw(const QString& raw) {
    return fromRawIn(kQuicklinkTypes, raw);
}

QuicklinkRecordType QuicklinkRecord::typeOf(const QString& link) {
    const QString trimmed = link.trimmed();
    if (trimmed.startsWith(QLatin1Char('/')) || trimmed == QLatin1String("~") || trimmed.startsWith(QLatin1String("~/")))
        return QuicklinkRecordType::localPath;
    const QUrl url(trimmed);
    if (url.isValid() && url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) == 0)
        return QuicklinkRecordType::localPath;
    return QuicklinkRecordType::remoteLink;
}

QuicklinkRecordType QuicklinkRecord::type() const { return typeOf(urlString); }

const QStringList& QuicklinkRecord::valueColumnNames() {
    static const QStringList names{Columns::urlString, Columns::name, Columns::applicationID, Columns::updatedAt,
                                   Columns::isEnabled};
    return names;
}

QVariantList QuicklinkRecord::bindValues() const { return {urlString, name, applicationID, updatedAt, isEnabled}; }

QuicklinkRecord QuicklinkRecord::fromRow(const Row& row) {
    QuicklinkRecord record;
    record.id = optionalInt(row[Columns::id]);
    record.urlString = string(row[Columns::urlString]);
    record.name = string(row[Columns::name]);
    record.applicationID = string(row[Columns::applicationID]);
    record.updatedAt = date(row[Columns::updatedAt]);
    record.isEnabled = boolean(row[Columns::isEnabled], true);
    return record;
}

// MARK: Notes

QString NoteRecord::rawValue(NoteType type) { return rawOf(kNoteTypes, type); }
std::optional<NoteRecord::NoteType> NoteRecord::noteTypeFromRaw(const QString& raw) { return fromRawIn(kNoteTypes, raw); }

const QStringList& NoteRecord::valueColumnNames() {
    static const QStringList names{Columns::text, Columns::createdAt, Columns::lastModifiedAt, Columns::type};
    return names;
}

QVariantList NoteRecord::bindValues() const { return {text, createdAt, lastModifiedAt, rawValue(type)}; }

NoteRecord NoteRecord::fromRow(const Row& row) {
    NoteRecord record;
    record.id = optionalInt(row[Columns::id]);
    record.text = string(row[Columns::text]);
    record.createdAt = date(row[Columns::createdAt]);
    record.lastModifiedAt = date(row[Columns::lastModifiedAt]);
    record.type = noteTypeFromRaw(string(row[Columns::type])).value_or(NoteType::floating);
    return record;
}

// MARK: Browser bookmarks

const QStringList& BrowserBookmarkRecord::valueColumnNames() {
    static const QStringList names{Columns::urlString,      Columns::source,       Columns::name,     Columns::tags,
                                   Columns::imageURLString, Columns::frecencyDate, Columns::updatedAt};
    return names;
}

QVariantList BrowserBookmarkRecord::bindValues() const {
    return {urlString, source, name, tags, toVariant(imageURLString), toVariant(frecencyDate), updatedAt};
}

BrowserBookmarkRecord BrowserBookmarkRecord::fromRow(const Row& row) {
    BrowserBookmarkRecord record;
    record.urlString = string(row[Columns::urlString]);
    record.source = string(row[Columns::source]);
    record.name = string(row[Columns::name]);
    record.tags = string(row[Columns::tags]);
    record.imageURLString = optionalString(row[Columns::imageURLString]);
    record.frecencyDate = optionalDate(row[Columns::frecencyDate]);
    record.updatedAt = date(row[Columns::updatedAt]);
    return record;
}

// MARK: Extensions and commands

const QStringList& ExtensionRecord::columnNames() {
    static const QStringList names = QStringList{Columns::id} + valueColumnNames();
    return names;
}

const QStringList& ExtensionRecord::valueColumnNames() {
    static const QStringList names{Columns::uuid,     Columns::name,     Columns::title,       Columns::description,
                                   Columns::icon,     Columns::keywords, Columns::license,     Columns::username,
                                   Columns::preferences, Columns::version, Columns::updatedAt};
    return names;
}

QVariantList ExtensionRecord::bindValues() const {
    return {toVariant(uuid),     name,       title, description, icon, toVariant(keywords), toVariant(license),
            toVariant(username), toVariant(preferences), toVariant(version), updatedAt};
}

ExtensionRecord ExtensionRecord::fromRow(const Row& row, const QString& prefix) {
    ExtensionRecord record;
    record.id = optionalInt(row[column(prefix, Columns::id)]);
    record.uuid = optionalString(row[column(prefix, Columns::uuid)]);
    record.name = string(row[column(prefix, Columns::name)]);
    record.title = string(row[column(prefix, Columns::title)]);
    record.description = string(row[column(prefix, Columns::description)]);
    record.icon = string(row[column(prefix, Columns::icon)]);
    record.keywords = optionalString(row[column(prefix, Columns::keywords)]);
    record.license = optionalString(row[column(prefix, Columns::license)]);
    record.username = optionalString(row[column(prefix, Columns::username)]);
    record.preferences = optionalString(row[column(prefix, Columns::preferences)]);
    record.version = optionalDate(row[column(prefix, Columns::version)]);
    record.updatedAt = date(row[column(prefix, Columns::updatedAt)]);
    return record;
}

const QStringList& CommandRecord::columnNames() {
    static const QStringList names = QStringList{Columns::id} + valueColumnNames();
    return names;
}

const QStringList& CommandRecord::valueColumnNames() {
    static const QStringList names{Columns::extensionId, Columns::uuid,     Columns::name,      Columns::title,
                                   Columns::description, Columns::icon,     Columns::keywords,  Columns::mode,
                                   Columns::installed,   Columns::preferences, Columns::updatedAt};
    return names;
}

QVariantList CommandRecord::bindValues() const {
    return {toVariant(extensionId), toVariant(uuid), name,      title,
            description,            toVariant(icon), toVariant(keywords), mode,
            installed,              toVariant(preferences), updatedAt};
}

CommandRecord CommandRecord::fromRow(const Row& row, const QString& prefix) {
    CommandRecord record;
    record.id = optionalInt(row[column(prefix, Columns::id)]);
    record.extensionId = optionalInt(row[column(prefix, Columns::extensionId)]);
    record.uuid = optionalString(row[column(prefix, Columns::uuid)]);
    record.name = string(row[column(prefix, Columns::name)]);
    record.title = string(row[column(prefix, Columns::title)]);
    record.description = string(row[column(prefix, Columns::description)]);
    record.icon = optionalString(row[column(prefix, Columns::icon)]);
    record.keywords = optionalString(row[column(prefix, Columns::keywords)]);
    record.mode = string(row[column(prefix, Columns::mode)]);
    record.installed = boolean(row[column(prefix, Columns::installed)]);
    record.preferences = optionalString(row[column(prefix, Columns::preferences)]);
    record.updatedAt = date(row[column(prefix, Columns::updatedAt)]);
    return record;
}

CommandInfo CommandInfo::fromJoinedRow(const Row& row) {
    return {CommandRecord::fromRow(row, QStringLiteral("command_")),
            ExtensionRecord::fromRow(row, QStringLiteral("extension_"))};
}

// MARK: Package configuration

QString PackageConfigurationRecord::jsonText() const {
    return QString::fromUtf8(QJsonDocument(jsonPayload).toJson(QJsonDocument::Compact));
}

PackageConfigurationRecord PackageConfigurationRecord::fromRow(const Row& row) {
    PackageConfigurationRecord record;
    record.id = string(row[Columns::id]);
    record.isEnabled = boolean(row[Columns::isEnabled], true);
    record.jsonPayload = QJsonDocument::fromJson(string(row[Columns::jsonPayload]).toUtf8()).object();
    return record;
}

}  // namespace vantrel
