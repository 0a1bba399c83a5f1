#include "features/snippets/SnippetsService.h"

#include "kit/VantrelError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <yaml.h>

#include <set>

namespace vantrel {

QString KeywordError::title() const {
    return kind == Kind::invalidCount ? QStringLiteral("Keyword is too long") : QStringLiteral("Keyword is already in use");
}

QString KeywordError::message() const {
    if (kind == Kind::invalidCount)
        return QStringLiteral("The maximum length is ") + QString::number(SnippetsService::keywordLengthLimit) +
               QStringLiteral(" characters.");
    return QStringLiteral("Please enter a unique keyword.");
}

QString SnippetsService::rawValue(SnippetInjectionSetting setting) {
    switch (setting) {
        case SnippetInjectionSetting::automatic:
            return QStringLiteral("auto");
        case SnippetInjectionSetting::keys:
            return QStringLiteral("keys");
        case SnippetInjectionSetting::clipboard:
            return QStringLiteral("clipboard");
    }
    return QStringLiteral("auto");
}

SnippetInjectionSetting SnippetsService::injectionSettingFromRaw(const QString& raw) {
    if (raw == QLatin1String("keys")) return SnippetInjectionSetting::keys;
    if (raw == QLatin1String("clipboard")) return SnippetInjectionSetting::clipboard;
    return SnippetInjectionSetting::automatic;
}

QString SnippetsService::injectionLabel(SnippetInjectionSetting setting) {
    switch (setting) {
        case SnippetInjectionSetting::automatic:
            return QStringLiteral("Typing short texts, pasting long ones");
        case SnippetInjectionSetting::keys:
            return QStringLiteral("Typing");
        case SnippetInjectionSetting::clipboard:
            return QStringLiteral("Pasting through the clipboard");
    }
    return {};
}

std::optional<QChar> SnippetsService::triggerFromRaw(const QString& raw) {
    const QString trimmed = raw.trimmed();
    if (trimmed.isEmpty()) return std::nullopt;
    return trimmed.front();
}

SnippetsService::SnippetsService(std::shared_ptr<SnippetsRepository> repository)
    : SnippetsService(std::move(repository), Configuration{}) {}

SnippetsService::SnippetsService(std::shared_ptr<SnippetsRepository> repository, Configuration configuration)
    : m_repository(std::move(repository)), m_configuration(configuration) {}

std::vector<SnippetRecord> SnippetsService::all() const { return m_repository->readAll(); }

std::vector<SnippetRecord> SnippetsService::withKeywords() const {
    std::vector<SnippetRecord> records = all();
    std::erase_if(records, [](const SnippetRecord& record) { return !record.alias || record.alias->isEmpty(); });
    return records;
}

std::optional<SnippetRecord> SnippetsService::record(qint64 id) const { return m_repository->record(id); }

std::optional<KeywordError> SnippetsService::keywordError(const QString& keyword, std::optional<qint64> except) const {
    if (keyword.isEmpty()) return std::nullopt;
    if (keyword.size() > keywordLengthLimit) return KeywordError{KeywordError::Kind::invalidCount};
    for (const SnippetRecord& other : m_repository->records(keyword))
        if (!except || other.id != except) return KeywordError{KeywordError::Kind::alreadyExists};
    return std::nullopt;
}

std::optional<SnippetProblem> SnippetsService::validate(const SnippetRecord& record) const {
    if (record.name.trimmed().isEmpty()) return SnippetProblem{QStringLiteral("Please enter a name."), QString()};
    if (record.text.isEmpty()) return SnippetProblem{QStringLiteral("Please enter a text."), QString()};
    if (record.text.size() > m_configuration.contentLengthLimit)
        return SnippetProblem{QStringLiteral("Snippet is too long"),
                              QStringLiteral("The maximum length is %1 characters.").arg(m_configuration.contentLengthLimit)};
    if (record.alias && !record.alias->isEmpty()) {
        if (record.alias->contains(QRegularExpression(QStringLiteral("\\s"))))
            return SnippetProblem{QStringLiteral("Keyword has spaces"), QStringLiteral("A keyword is typed as one word.")};
        if (const auto error = keywordError(*record.alias, record.id)) return SnippetProblem{error->title(), error->message()};
    }
    return std::nullopt;
}

namespace {

[[noreturn]] void refuse(const SnippetProblem& problem) {
    throw VantrelError(problem.message.isEmpty() ? problem.title : problem.title + QStringLiteral(": ") + problem.message);
}

std::optional<QString> cleanKeyword(const std::optional<QString>& keyword) {
    if (!keyword || keyword->isEmpty()) return std::nullopt;
    return keyword;
}

}  // namespace

SnippetRecord SnippetsService::create(const QString& name, const QString& text, const std::optional<QString>& keyword,
                                      SnippetRecord::Category category) {
    SnippetRecord candidate;
    candidate.name = name;
    candidate.text = text;
    candidate.alias = cleanKeyword(keyword);
    if (const auto problem = validate(candidate)) refuse(*problem);
    SnippetRecord created =
        m_repository->createRecord(category, name, text, std::nullopt, std::nullopt, candidate.alias);
    changed.publish();
    return created;
}

SnippetRecord SnippetsService::update(const SnippetRecord& record) {
    SnippetRecord updated = record;
    updated.alias = cleanKeyword(record.alias);
    if (const auto problem = validate(updated)) refuse(*problem);
    if (!m_repository->update(updated)) throw VantrelError(QStringLiteral("Failed to update snippet"));
    changed.publish();
    return m_repository->record(*updated.id).value_or(updated);
}

SnippetRecord SnippetsService::duplicate(const SnippetRecord& record) {
    // A keyword belongs to one snippet: the copy has none.
    return create(record.name + QStringLiteral(" Copy"), record.text, std::nullopt);
}

void SnippetsService::setPinned(qint64 id, bool pinned) {
    std::optional<SnippetRecord> record = m_repository->record(id);
    if (!record) throw VantrelError(QStringLiteral("Snippet record not found"));
    record->isPinned = pinned;
    m_repository->update(*record);
    changed.publish();
}

bool SnippetsService::remove(qint64 id) {
    const bool removed = m_repository->deleteRecord(id);
    if (removed) changed.publish();
    return removed;
}

qsizetype SnippetsService::removeAll() {
    qsizetype count = 0;
    for (const SnippetRecord& record : all())
        if (record.id && m_repository->deleteRecord(*record.id)) ++count;
    changed.publish();
    return count;
}

void SnippetsService::markUsed(qint64 id) { m_repository->updateRecordAccessedAt(id); }

// MARK: - Import and export

namespace {

[[noreturn]] void badFile(int line, const QString& reason) {
    throw VantrelError(line > 0 ? QStringLiteral("line %1: %2").arg(line).arg(reason) : reason);
}

int lineAt(const QByteArray& data, qsizetype offset) {
    return int(data.left(offset).count('\n')) + 1;
}

std::vector<SnippetsService::ImportEntry> parseJson(const QByteArray& data) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError) badFile(lineAt(data, error.offset), error.errorString());
    QJsonArray array;
    if (document.isArray()) {
        array = document.array();
    } else if (document.isObject() && document.object().value(QStringLiteral("snippets")).isArray()) {
        array = document.object().value(QStringLiteral("snippets")).toArray();
    } else {
        badFile(1, QStringLiteral("expected an array of snippets"));
    }
    // Entries have no line of their own in a parsed document: find each
    // entry's opening brace in order to name its line.
    std::vector<int> lines;
    {
        int depth = 0;
        bool inString = false;
        for (qsizetype i = 0; i < data.size(); ++i) {
            const char c = data[i];
            if (inString) {
                if (c == '\\') ++i;
                else if (c == '"') inString = false;
                continue;
            }
            if (c == '"') inString = true;
            else if (c == '[' || c == '{') {
                if (c == '{' && depth == (document.isArray() ? 1 : 2)) lines.push_back(lineAt(data, i));
                ++depth;
            } else if (c == ']' || c == '}') --depth;
        }
    }
    std::vector<SnippetsService::ImportEntry> entries;
    for (qsizetype i = 0; i < array.size(); ++i) {
        const int line = size_t(i) < lines.size() ? lines[size_t(i)] : 0;
        if (!array.at(i).isObject()) badFile(line, QStringLiteral("entry %1 is not an object").arg(i + 1));
        const QJsonObject object = array.at(i).toObject();
        SnippetsService::ImportEntry entry;
        entry.line = line;
        const QJsonValue text = object.value(QStringLiteral("text"));
        if (!text.isString()) badFile(line, QStringLiteral("entry %1 has no \"text\" string").arg(i + 1));
        entry.text = text.toString();
        const QJsonValue keyword = object.contains(QStringLiteral("keyword")) ? object.value(QStringLiteral("keyword"))
                                                                               : object.value(QStringLiteral("alias"));
        if (!keyword.isUndefined() && !keyword.isNull()) {
            if (!keyword.isString()) badFile(line, QStringLiteral("entry %1: \"keyword\" is not a string").arg(i + 1));
            entry.keyword = keyword.toString();
        }
        const QJsonValue name = object.value(QStringLiteral("name"));
        if (!name.isUndefined() && !name.isString())
            badFile(line, QStringLiteral("entry %1: \"name\" is not a string").arg(i + 1));
        entry.name = name.toString();
        if (entry.name.isEmpty()) entry.name = entry.keyword.value_or(entry.text.left(40));
        entries.push_back(std::move(entry));
    }
    return entries;
}

class YamlDocument {
public:
    explicit YamlDocument(const QByteArray& data) {
        yaml_parser_initialize(&m_parser);
        yaml_parser_set_input_string(&m_parser, reinterpret_cast<const unsigned char*>(data.constData()),
                                     size_t(data.size()));
        m_loaded = yaml_parser_load(&m_parser, &m_document) != 0;
        if (!m_loaded || m_parser.error != YAML_NO_ERROR) {
            m_error = QString::fromUtf8(m_parser.problem ? m_parser.problem : "not valid YAML");
            if (m_parser.context) m_error = QString::fromUtf8(m_parser.context) + QStringLiteral(", ") + m_error;
            m_errorLine = int(m_parser.problem_mark.line) + 1;
        }
    }
    ~YamlDocument() {
        if (m_loaded) yaml_document_delete(&m_document);
        yaml_parser_delete(&m_parser);
    }
    YamlDocument(const YamlDocument&) = delete;
    YamlDocument& operator=(const YamlDocument&) = delete;

    const QString& error() const { return m_error; }
    int errorLine() const { return m_errorLine; }
    yaml_node_t* root() { return m_loaded ? yaml_document_get_root_node(&m_document) : nullptr; }
    yaml_node_t* node(int index) { return yaml_document_get_node(&m_document, index); }

    static QString scalar(yaml_node_t* node) {
        return QString::fromUtf8(reinterpret_cast<const char*>(node->data.scalar.value), qsizetype(node->data.scalar.length));
    }
    static int line(yaml_node_t* node) { return int(node->start_mark.line) + 1; }

    yaml_node_t* value(yaml_node_t* mapping, const char* key) {
        for (yaml_node_pair_t* pair = mapping->data.mapping.pairs.start; pair < mapping->data.mapping.pairs.top; ++pair) {
            yaml_node_t* keyNode = node(pair->key);
            if (keyNode && keyNode->type == YAML_SCALAR_NODE && scalar(keyNode) == QLatin1String(key)) return node(pair->value);
        }
        return nullptr;
    }

private:
    yaml_parser_t m_parser{};
    yaml_document_t m_document{};
    bool m_loaded = false;
    QString m_error;
    int m_errorLine = 0;
};

std::vector<SnippetsService::ImportEntry> parseYaml(const QByteArray& data) {
    YamlDocument document(data);
    if (!document.error().isEmpty()) badFile(document.errorLine(), document.error());
    yaml_node_t* root = document.root();
    if (!root || root->type != YAML_MAPPING_NODE) badFile(1, QStringLiteral("expected a mapping with \"matches\""));
    yaml_node_t* matches = document.value(root, "matches");
    if (!matches || matches->type != YAML_SEQUENCE_NODE)
        badFile(YamlDocument::line(root), QStringLiteral("expected a \"matches\" list"));
    std::vector<SnippetsService::ImportEntry> entries;
    for (yaml_node_item_t* item = matches->data.sequence.items.start; item < matches->data.sequence.items.top; ++item) {
        yaml_node_t* match = document.node(*item);
        const int line = YamlDocument::line(match);
        if (match->type != YAML_MAPPING_NODE) badFile(line, QStringLiteral("a match is not a mapping"));
        yaml_node_t* replace = document.value(match, "replace");
        if (!replace || replace->type != YAML_SCALAR_NODE)
            badFile(line, QStringLiteral("a match has no \"replace\" text"));
        QStringList triggers;
        if (yaml_node_t* trigger = document.value(match, "trigger")) {
            if (trigger->type != YAML_SCALAR_NODE) badFile(YamlDocument::line(trigger), QStringLiteral("\"trigger\" is not text"));
            triggers << YamlDocument::scalar(trigger);
        } else if (yaml_node_t* list = document.value(match, "triggers")) {
            if (list->type != YAML_SEQUENCE_NODE) badFile(YamlDocument::line(list), QStringLiteral("\"triggers\" is not a list"));
            for (yaml_node_item_t* t = list->data.sequence.items.start; t < list->data.sequence.items.top; ++t) {
                yaml_node_t* one = document.node(*t);
                if (one->type != YAML_SCALAR_NODE)
                    badFile(YamlDocument::line(one), QStringLiteral("a trigger is not text"));
                triggers << YamlDocument::scalar(one);
            }
        } else {
            badFile(line, QStringLiteral("a match has no \"trigger\""));
        }
        QString label;
        if (yaml_node_t* node = document.value(match, "label"); node && node->type == YAML_SCALAR_NODE)
            label = YamlDocument::scalar(node);
        for (const QString& trigger : triggers)
            entries.push_back({label.isEmpty() ? trigger : label, YamlDocument::scalar(replace), trigger, line});
    }
    return entries;
}

}  // namespace

std::vector<SnippetsService::ImportEntry> SnippetsService::parseImport(const QByteArray& data, const QString& fileName) {
    const QString lower = fileName.toLower();
    const bool yaml = lower.endsWith(QLatin1String(".yml")) || lower.endsWith(QLatin1String(".yaml")) ||
                      (!lower.endsWith(QLatin1String(".json")) && !data.trimmed().startsWith('[') &&
                       !data.trimmed().startsWith('{'));
    return yaml ? parseYaml(data) : parseJson(data);
}

qsizetype SnippetsService::importEntries(const std::vector<ImportEntry>& entries) {
    // Everything is checked before anything is written.
    std::set<QString> keywords;
    for (const ImportEntry& entry : entries) {
        SnippetRecord candidate;
        candidate.name = entry.name;
        candidate.text = entry.text;
        candidate.alias = cleanKeyword(entry.keyword);
        if (const auto problem = validate(candidate))
            badFile(entry.line, problem->message.isEmpty() ? problem->title : problem->title + QStringLiteral(": ") + problem->message);
        if (candidate.alias && !keywords.insert(*candidate.alias).second)
            badFile(entry.line, QStringLiteral("Keyword is already in use: %1 appears twice in the file").arg(*candidate.alias));
    }
    std::vector<SnippetRecord> records;
    for (const ImportEntry& entry : entries) {
        SnippetRecord record;
        record.name = entry.name;
        record.text = entry.text;
        record.alias = cleanKeyword(entry.keyword);
        records.push_back(std::move(record));
    }
    const qsizetype count = qsizetype(m_repository->createAll(records).size());
    changed.publish();
    return count;
}

QByteArray SnippetsService::exportJson() const {
    QJsonArray array;
    for (const SnippetRecord& record : all()) {
        QJsonObject object{{QStringLiteral("name"), record.name}, {QStringLiteral("text"), record.text}};
        if (record.alias) object.insert(QStringLiteral("keyword"), *record.alias);
        if (record.isPinned) object.insert(QStringLiteral("pinned"), true);
        array.append(object);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

}  // namespace vantrel
