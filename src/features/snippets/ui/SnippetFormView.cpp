#include "features/snippets/ui/SnippetFormView.h"

#include "features/snippets/SnippetsService.h"
#include "kit/VantrelError.h"

#include <QColor>
#include <QRegularExpression>

namespace vantrel {

namespace {

bool isColor(const SnippetRecord& record) {
    return record.category == SnippetRecord::Category::color;
}

}  // namespace

QString SnippetFormView::titleFor(Mode mode) {
    switch (mode) {
        case Mode::create:
            return QStringLiteral("Create Snippet");
        case Mode::update:
            return QStringLiteral("Edit Snippet");
        case Mode::duplicate:
            return QStringLiteral("Duplicate Snippet");
    }
    return QStringLiteral("Create Snippet");
}

QString SnippetFormView::keywordMessage(const SnippetsService& service, const QString& keyword,
                                        std::optional<qint64> except) {
    if (keyword.isEmpty()) return {};
    if (keyword.contains(QRegularExpression(QStringLiteral("\\s"))))
        return QStringLiteral("Keyword has spaces. A keyword is typed as one word.");
    std::optional<KeywordError> error;
    try {
        error = service.keywordError(keyword, except);
    } catch (const std::exception&) {
        // The save reports what the database says.
        return {};
    }
    if (!error) return {};
    return error->title() + QStringLiteral(". ") + error->message();
}

SnippetFormView::SnippetFormView(SnippetsService& service, Mode mode, SnippetRecord base, QString expansionProblem,
                                 QWidget* parent)
    : FormView(titleFor(mode),
               [&] {
                   std::vector<Field> fields;
                   Field name;
                   name.id = QStringLiteral("name");
                   name.title = QStringLiteral("Name");
                   name.defaultValue = mode == Mode::duplicate ? base.name + QStringLiteral(" Copy") : base.name;
                   name.validate = [](const QVariant& value) {
                       return value.toString().trimmed().isEmpty() ? nameMissing : QString();
                   };
                   fields.push_back(name);
                   Field text;
                   text.id = QStringLiteral("text");
                   text.defaultValue = base.text;
                   if (isColor(base)) {
                       text.title = QStringLiteral("Color");
                       text.placeholder = QStringLiteral("#FF6363");
                       text.validate = [](const QVariant& value) {
                           return QColor::isValidColorName(value.toString().trimmed()) ? QString() : invalidColor;
                       };
                   } else {
                       text.title = QStringLiteral("Snippet");
                       text.type = Field::Type::textArea;
                       text.placeholder = textPlaceholder;
                       text.info = placeholdersInfo;
                       const qint64 limit = service.configuration().contentLengthLimit;
                       text.validate = [limit](const QVariant& value) {
                           const QString typed = value.toString();
                           if (typed.isEmpty()) return QStringLiteral("Please enter a text.");
                           if (typed.size() > limit)
                               return QStringLiteral("Snippet is too long. The maximum length is %1 characters.").arg(limit);
                           return QString();
                       };
                   }
                   fields.push_back(text);
                   Field keyword;
                   keyword.id = QStringLiteral("keyword");
                   keyword.title = QStringLiteral("Keyword");
                   keyword.placeholder = keywordPlaceholder;
                   // A keyword belongs to one snippet: a duplicate starts without it.
                   keyword.defaultValue = mode == Mode::duplicate ? QString() : base.alias.value_or(QString());
                   keyword.info = expansionProblem;
                   const std::optional<qint64> except = mode == Mode::update ? base.id : std::nullopt;
                   SnippetsService* snippets = &service;
                   keyword.validate = [snippets, except](const QVariant& value) {
                       return keywordMessage(*snippets, value.toString(), except);
                   };
                   fields.push_back(keyword);
                   return fields;
               }(),
               parent),
      m_service(service),
      m_mode(mode),
      m_base(std::move(base)) {
    setObjectName(QStringLiteral("snippetFormView"));
    setSubmitTitle(mode == Mode::update ? QStringLiteral("Save Snippet") : QStringLiteral("Create Snippet"));
    setSubmitHandler([this](const QVariantMap& values) { return save(values); });
}

CommandOutcome SnippetFormView::save(const QVariantMap& values) {
    const QString name = values.value(QStringLiteral("name")).toString().trimmed();
    QString text = values.value(QStringLiteral("text")).toString();
    if (isColor(m_base)) text = text.trimmed();
    const QString keyword = values.value(QStringLiteral("keyword")).toString();
    const std::optional<QString> alias = keyword.isEmpty() ? std::nullopt : std::optional<QString>(keyword);
    try {
        if (m_mode == Mode::update) {
            SnippetRecord changed = m_base;
            changed.name = name;
            changed.text = text;
            changed.alias = alias;
            m_saved = m_service.update(changed);
            m_base = *m_saved;
            return CommandOutcome::done(QStringLiteral("Updated snippet"));
        }
        m_saved = m_service.create(name, text, alias, m_mode == Mode::duplicate ? m_base.category : SnippetRecord::Category::text);
    } catch (const std::exception& failure) {
        return CommandOutcome::failed(
            m_mode == Mode::update ? QStringLiteral("Failed to update snippet") : QStringLiteral("Failed to create snippet"),
            VantrelError::describe(failure));
    }
    return CommandOutcome::done(QStringLiteral("Created snippet"));
}

}  // namespace vantrel
