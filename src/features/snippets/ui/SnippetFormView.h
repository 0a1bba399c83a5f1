#pragma once

#include "data/Records.h"
#include "ui/toolkit/FormView.h"

#include <QString>

namespace vantrel {

class SnippetsService;

// The form of a snippet: name, text (or colour, for a colour snippet) with
// the placeholders it may hold, and the optional keyword. "Create Snippet"
// starts empty; the update form edits a snippet in place; the duplicate form
// starts from a snippet and saves a new one. The keyword is checked as it is
// typed ("Keyword is too long", "Keyword is already in use"); when keywords
// cannot be expanded in this session, the keyword row says why.
class SnippetFormView : public FormView {
    Q_OBJECT

public:
    enum class Mode { create, update, duplicate };

    inline static const QString textPlaceholder = QStringLiteral("Find your inner Shakespeare");
    inline static const QString keywordPlaceholder = QStringLiteral("Optional keyword");
    inline static const QString nameMissing = QStringLiteral("Please enter a name.");
    inline static const QString invalidColor = QStringLiteral("Please enter a valid color");
    inline static const QString placeholdersInfo = QStringLiteral(
        "Placeholders: {clipboard}, {date}, {time}, {datetime} (each may take format=\"yyyy-MM-dd HH:mm\"), "
        "{uuid}, and {cursor} where the caret should end.");

    // `expansionProblem`: why keywords are not expanded now (empty when they are).
    SnippetFormView(SnippetsService& service, Mode mode, SnippetRecord base = {}, QString expansionProblem = {},
                    QWidget* parent = nullptr);

    static QString titleFor(Mode mode);
    Mode mode() const { return m_mode; }
    // The snippet the last submit stored.
    const std::optional<SnippetRecord>& saved() const { return m_saved; }

    // The message under the keyword for this value: the keyword error's title
    // and message, or empty when the keyword can be saved.
    static QString keywordMessage(const SnippetsService& service, const QString& keyword,
                                  std::optional<qint64> except);

private:
    CommandOutcome save(const QVariantMap& values);

    SnippetsService& m_service;
    Mode m_mode;
    SnippetRecord m_base;
    std::optional<SnippetRecord> m_saved;
};

}  // namespace vantrel
