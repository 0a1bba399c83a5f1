#pragma once

#include "data/Records.h"
#include "data/SnippetsRepository.h"
#include "kit/Signal.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace vantrel {

// A keyword a snippet cannot take.
struct KeywordError {
    enum class Kind { invalidCount, alreadyExists };
    Kind kind;
    QString title() const;
    QString message() const;
};

// How expanded text reaches the application ("snippetsInjectionMode"):
// typed when short and pasted when long, always typed, or always pasted.
enum class SnippetInjectionSetting { automatic, keys, clipboard };

// Why a snippet was refused: a sentence for the user.
struct SnippetProblem {
    QString title;
    QString message;
};

// The snippets: stored records, their rules (name, keyword, length) and the
// import/export formats. Every change is published through `changed`.
class SnippetsService {
public:
    struct Configuration {
        qint64 fetchLimit = 100;
        qint64 contentLengthLimit = 32768;
    };
    static constexpr int keywordLengthLimit = 20;
    static constexpr QLatin1String packageId{"snippets"};
    static constexpr QLatin1String keywordsEnabledKey{"snippetsKeywordsEnabled"};
    static constexpr QLatin1String pasteModeKey{"snippetsPasteMode"};
    static constexpr QLatin1String directPasteKey{"snippetsDirectPaste"};
    // The character typed before keywords (empty: none) and how text is inserted.
    static constexpr QLatin1String triggerCharacterKey{"snippetsTriggerCharacter"};
    static constexpr QLatin1String injectionModeKey{"snippetsInjectionMode"};

    // "auto", "keys", "clipboard"; anything else reads as automatic.
    static QString rawValue(SnippetInjectionSetting setting);
    static SnippetInjectionSetting injectionSettingFromRaw(const QString& raw);
    static QString injectionLabel(SnippetInjectionSetting setting);
    // A stored trigger: its first character, or none.
    static std::optional<QChar> triggerFromRaw(const QString& raw);

    explicit SnippetsService(std::shared_ptr<SnippetsRepository> repository);
    SnippetsService(std::shared_ptr<SnippetsRepository> repository, Configuration configuration);

    SnippetsRepository& repository() const { return *m_repository; }
    const Configuration& configuration() const { return m_configuration; }

    std::vector<SnippetRecord> all() const;
    std::vector<SnippetRecord> withKeywords() const;
    std::optional<SnippetRecord> record(qint64 id) const;

    // The keyword's problem, if any; `except` is the snippet being edited.
    std::optional<KeywordError> keywordError(const QString& keyword, std::optional<qint64> except = std::nullopt) const;
    // Everything wrong with a snippet before it is saved; nothing when it may be.
    std::optional<SnippetProblem> validate(const SnippetRecord& record) const;

    // Throw VantrelError with the problem's title and message.
    SnippetRecord create(const QString& name, const QString& text, const std::optional<QString>& keyword,
                         SnippetRecord::Category category = SnippetRecord::Category::text);
    SnippetRecord update(const SnippetRecord& record);
    SnippetRecord duplicate(const SnippetRecord& record);
    void setPinned(qint64 id, bool pinned);
    bool remove(qint64 id);
    qsizetype removeAll();
    void markUsed(qint64 id);

    // Import: JSON (an array of {name, text, keyword}) or YAML match files
    // (`matches:` with `trigger` and `replace`). All or nothing: a bad file
    // or a bad entry throws with its line and the reason, and nothing is saved.
    struct ImportEntry {
        QString name;
        QString text;
        std::optional<QString> keyword;
        int line = 0;
    };
    static std::vector<ImportEntry> parseImport(const QByteArray& data, const QString& fileName);
    qsizetype importEntries(const std::vector<ImportEntry>& entries);
    QByteArray exportJson() const;

    // Published after every change of the stored snippets.
    Signal<> changed;

private:
    std::shared_ptr<SnippetsRepository> m_repository;
    Configuration m_configuration;
};

}  // namespace vantrel
