#include "data/SearchRecord.h"

#include "data/RecordCoding.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <array>
#include <utility>

namespace vantrel {

namespace {

constexpr std::array<std::pair<SearchRecord::ContentType, const char*>, 9> kContentTypes{{
    {SearchRecord::ContentType::unknown, "unknown"},
    {SearchRecord::ContentType::systemApp, "systemApp"},
    {SearchRecord::ContentType::prefPane, "prefPane"},
    {SearchRecord::ContentType::command, "command"},
    {SearchRecord::ContentType::fallbackSearch, "fallbackSearch"},
    {SearchRecord::ContentType::scriptCommand, "scriptCommand"},
    {SearchRecord::ContentType::extensionCommand, "extensionCommand"},
    {SearchRecord::ContentType::quicklink, "quicklink"},
    {SearchRecord::ContentType::snippet, "snippet"},
}};

constexpr std::array<std::pair<SearchRecord::Source, const char*>, 9> kSources{{
    {SearchRecord::Source::unknown, "unknown"},
    {SearchRecord::Source::test, "test"},
    {SearchRecord::Source::system, "system"},
    {SearchRecord::Source::package, "package"},
    {SearchRecord::Source::provider, "provider"},
    {SearchRecord::Source::scripts, "scripts"},
    {SearchRecord::Source::extensionCommands, "extensionCommands"},
    {SearchRecord::Source::quicklinks, "quicklinks"},
    {SearchRecord::Source::snippets, "snippets"},
}};

template <typename Enum, std::size_t N>
QString rawOf(const std::array<std::pair<Enum, const char*>, N>& table, Enum value) {
    for (const auto& [candidate, raw] : table)
        if (candidate == value) return QString::fromLatin1(raw);
    return QString::fromLatin1(table.front().second);
}

template <typename Enum, std::size_t N>
Enum fromRawIn(const std::array<std::pair<Enum, const char*>, N>& table, const QString& raw) {
    for (const auto& [candidate, text] : table)
        if (raw == QLatin1String(text)) return candidate;
    return table.front().first;
}

template <typename T>
void mix(size_t& seed, const std::optional<T>& value) {
    seed = qHashMulti(seed, value.has_value());
    if (value) seed = qHashMulti(seed, *value);
}

}  // namespace

QString SearchRecord::rawValue(ContentType type) { return rawOf(kContentTypes, type); }
QString SearchRecord::rawValue(Source source) { return rawOf(kSources, source); }
SearchRecord::ContentType SearchRecord::contentTypeFromRaw(const QString& raw) { return fromRawIn(kContentTypes, raw); }
SearchRecord::Source SearchRecord::sourceFromRaw(const QString& raw) { return fromRawIn(kSources, raw); }

const QList<SearchRecord::ContentType>& SearchRecord::allContentTypes() {
    static const QList<ContentType> all = [] {
        QList<ContentType> list;
        for (const auto& entry : kContentTypes) list << entry.first;
        return list;
    }();
    return all;
}

const QList<SearchRecord::Source>& SearchRecord::allSources() {
    static const QList<Source> all = [] {
        QList<Source> list;
        for (const auto& entry : kSources) list << entry.first;
        return list;
    }();
    return all;
}

QString SearchRecord::joinKeywords(const QStringList& words) {
    QStringList kept;
    for (const QString& word : words) {
        const QString trimmed = word.trimmed();
        if (!trimmed.isEmpty()) kept << trimmed;
    }
    return kept.join(keywordSeparator);
}

QStringList SearchRecord::keywordList() const {
    if (!keywords) return {};
    // The commands source joins a command's keywords with commas, other
    // sources with spaces: both separate words.
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    return keywords->split(separators, Qt::SkipEmptyParts);
}

QSet<QString> SearchRecord::indexableKeywords() const {
    QSet<QString> words;
    for (const QString& word : keywordList()) words.insert(word);
    // What the user named it finds it too.
    if (alias && !alias->trimmed().isEmpty()) words.insert(alias->trimmed());
    if ((type == ContentType::systemApp || type == ContentType::prefPane) && path && !path->isEmpty()) {
        QString fileName = QFileInfo(*path).fileName();
        for (const QLatin1String extension : {QLatin1String(".prefPane"), QLatin1String(".desktop")}) {
            if (fileName.endsWith(extension)) {
                fileName.chop(extension.size());
                break;
            }
        }
        fileName = fileName.trimmed();
        if (!fileName.isEmpty()) words.insert(fileName);
    }
    return words;
}

const QStringList& SearchRecord::columnNames() {
    static const QStringList names{Columns::id,           Columns::key,         Columns::type,
                                   Columns::source,       Columns::name,        Columns::keywords,
                                   Columns::path,         Columns::frecencyDate, Columns::category,
                                   Columns::uninstalled,  Columns::favorite,    Columns::openedAt,
                                   Columns::alias,        Columns::hotkey,      Columns::shortcutAddedAt,
                                   Columns::searchTerms};
    return names;
}

const QStringList& SearchRecord::valueColumnNames() {
    static const QStringList names = columnNames().mid(1);
    return names;
}

QVariantList SearchRecord::bindValues() const {
    using RecordCoding::toVariant;
    return {key,
            rawValue(type),
            rawValue(source),
            name,
            toVariant(keywords),
            toVariant(path),
            toVariant(frecencyDate),
            toVariant(category),
            uninstalled,
            toVariant(favorite),
            toVariant(openedAt),
            toVariant(alias),
            toVariant(hotkey),
            toVariant(shortcutAddedAt),
            toVariant(searchTerms)};
}

SearchRecord SearchRecord::fromRow(const Row& row) {
    using namespace RecordCoding;
    SearchRecord record;
    record.id = optionalInt(row[Columns::id]);
    record.key = string(row[Columns::key]);
    record.type = contentTypeFromRaw(string(row[Columns::type]));
    record.source = sourceFromRaw(string(row[Columns::source]));
    record.name = string(row[Columns::name]);
    record.keywords = optionalString(row[Columns::keywords]);
    record.path = optionalString(row[Columns::path]);
    record.frecencyDate = optionalDate(row[Columns::frecencyDate]);
    record.category = optionalString(row[Columns::category]);
    record.uninstalled = boolean(row[Columns::uninstalled]);
    record.favorite = optionalDouble(row[Columns::favorite]);
    record.openedAt = optionalDate(row[Columns::openedAt]);
    record.alias = optionalString(row[Columns::alias]);
    record.hotkey = optionalString(row[Columns::hotkey]);
    record.shortcutAddedAt = optionalDate(row[Columns::shortcutAddedAt]);
    record.searchTerms = optionalString(row[Columns::searchTerms]);
    return record;
}

SearchRecord SearchRecord::fromStatement(const Statement& s) {
    auto optionalText = [&](int i) { return s.isNull(i) ? std::nullopt : std::optional<QString>(s.text(i)); };
    auto optionalDateAt = [&](int i) -> std::optional<QDateTime> {
        if (s.isNull(i)) return std::nullopt;
        const QDateTime date = DatabaseDate::fromVariant(s.column(i));
        return date.isValid() ? std::optional<QDateTime>(date) : std::nullopt;
    };
    SearchRecord record;
    record.id = s.int64(0);
    record.key = s.text(1);
    record.type = contentTypeFromRaw(s.text(2));
    record.source = sourceFromRaw(s.text(3));
    record.name = s.text(4);
    record.keywords = optionalText(5);
    record.path = optionalText(6);
    record.frecencyDate = optionalDateAt(7);
    record.category = optionalText(8);
    record.uninstalled = !s.isNull(9) && s.int64(9) != 0;
    record.favorite = s.isNull(10) ? std::nullopt : std::optional<double>(s.real(10));
    record.openedAt = optionalDateAt(11);
    record.alias = optionalText(12);
    record.hotkey = optionalText(13);
    record.shortcutAddedAt = optionalDateAt(14);
    record.searchTerms = optionalText(15);
    return record;
}

size_t qHash(const SearchRecord& record, size_t seed) noexcept {
    size_t h = seed;
    mix(h, record.id);
    h = qHashMulti(h, record.key, static_cast<int>(record.type), static_cast<int>(record.source), record.name);
    mix(h, record.keywords);
    mix(h, record.path);
    mix(h, record.frecencyDate);
    mix(h, record.category);
    h = qHashMulti(h, record.uninstalled);
    mix(h, record.favorite);
    mix(h, record.openedAt);
    mix(h, record.alias);
    mix(h, record.hotkey);
    mix(h, record.shortcutAddedAt);
    mix(h, record.searchTerms);
    return h;
}

QString SearchUpdateStrategy::description() const {
    if (const QString* path = folder()) return QStringLiteral("sourceWithPath(%1)").arg(*path);
    if (std::holds_alternative<All>(value)) return QStringLiteral("all");
    return QStringLiteral("source");
}

}  // namespace vantrel
