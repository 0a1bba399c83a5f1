#pragma once

#include "core/api/Feature.h"

#include <QUrl>

#include <memory>

namespace vantrel {

class FeatureContext;
class SnippetAliasMonitor;
class SnippetsService;
struct CommandOutcome;

// Snippets: saved texts kept in the snippets table, `vantrel snippets …`
// (changes go through the running launcher as `vantrel://snippets/ACTION`
// links so that its keywords follow at once), and keyword expansion in
// every application, started by start() in the running launcher.
class SnippetsFeature : public Feature {
public:
    SnippetsFeature();
    ~SnippetsFeature() override;

    QString name() const override { return QStringLiteral("snippets"); }
    void registerWith(FeatureContext& context) override;
    void start() override;

    SnippetsService* service() const { return m_service.get(); }
    SnippetAliasMonitor* monitor() const { return m_monitor.get(); }
    // Why keywords are not expanded; empty while they are.
    QString expansionProblem() const { return m_problem; }

    CommandOutcome route(const QUrl& url);

private:
    void followSwitch();

    FeatureContext* m_context = nullptr;
    std::unique_ptr<SnippetsService> m_service;
    std::unique_ptr<SnippetAliasMonitor> m_monitor;
    std::unique_ptr<QObject> m_subscriptions;
    QString m_problem;
};

}  // namespace vantrel
