#pragma once

#include "core/api/Feature.h"

#include <QUrl>

#include <memory>

namespace vantrel {

class FeatureContext;
class SnippetActions;
class SnippetAliasMonitor;
class SnippetsService;
class SnippetsSource;
struct CommandOutcome;

// Snippets: saved texts kept in the snippets table, "Search Snippets" and
// the snippet forms, the snippets in root search (their keywords as
// aliases), the "Snippets" preferences page, `vantrel snippets …` (changes go
// through the running launcher as `vantrel://snippets/ACTION` links so that
// its keywords follow at once), and keyword expansion in every application,
// started by start() in the running launcher and following the package's
// settings as they change.
class SnippetsFeature : public Feature {
public:
    SnippetsFeature();
    ~SnippetsFeature() override;

    QString name() const override { return QStringLiteral("snippets"); }
    void registerWith(FeatureContext& context) override;
    void start() override;

    SnippetsService* service() const { return m_service.get(); }
    SnippetAliasMonitor* monitor() const { return m_monitor.get(); }
    SnippetActions* actions() const { return m_actions.get(); }
    SnippetsSource* source() const { return m_source.get(); }
    // Why keywords cannot be expanded in this session (a sentence for the
    // user); empty while they are, or before start().
    QString expansionProblem() const { return m_problem; }

    static constexpr QLatin1String searchCommandId{"searchSnippets"};
    static constexpr QLatin1String createCommandId{"createSnippet"};

    CommandOutcome route(const QUrl& url);

private:
    // Applies the package's settings to the monitor: on or off, trigger, injection mode.
    void followSettings();

    FeatureContext* m_context = nullptr;
    std::unique_ptr<SnippetsService> m_service;
    std::unique_ptr<SnippetActions> m_actions;
    std::shared_ptr<SnippetsSource> m_source;
    std::unique_ptr<SnippetAliasMonitor> m_monitor;
    std::unique_ptr<QObject> m_subscriptions;
    QString m_problem;
};

}  // namespace vantrel
