#pragma once

// Root search over the real stack: the encrypted database, the registry, the
// launcher's data sources (built-in commands and desktop entries written to a
// fixture folder) and the real link and fallback providers.
#include "support/AppTestSupport.h"
#include "support/ApplicationFixture.h"

#include "core/api/FeatureContext.h"
#include "core/rootsearch/FallbackSearchProvider.h"
#include "core/rootsearch/LauncherSearch.h"
#include "core/rootsearch/RootSearchController.h"
#include "core/rootsearch/URLSearchProvider.h"
#include "data/SearchRepository.h"
#include "features/Features.h"
#include "kit/UserDefaults.h"

#include <QStringList>

#include <memory>
#include <vector>

namespace vantrel::test {

// An argument slot of a test input command.
class TestParameter : public CommandParameter {
public:
    TestParameter(QString placeholder, bool optional) : m_placeholder(std::move(placeholder)), m_optional(optional) {}
    QString placeholder() const override { return m_placeholder; }
    bool isOptional() const override { return m_optional; }

private:
    QString m_placeholder;
    bool m_optional;
};

// A command that takes arguments in the search bar, as script commands and
// quicklinks are.
class TestInputCommand : public InputCommand {
public:
    TestInputCommand(QString id, QString title, QStringList placeholders)
        : m_id(std::move(id)), m_title(std::move(title)) {
        for (int i = 0; i < placeholders.size(); ++i)
            m_parameters.push_back(std::make_shared<TestParameter>(placeholders[i], i > 0));
    }
    QString id() const override { return m_id; }
    std::vector<std::shared_ptr<const CommandParameter>> parameters() const override { return m_parameters; }
    QString title() const override { return m_title; }
    IconSet icon() const override { return {ImageResource::named(QStringLiteral("script-command-16")), {}}; }

private:
    QString m_id;
    QString m_title;
    std::vector<std::shared_ptr<const CommandParameter>> m_parameters;
};

class RootSearchFixture : public RegistryFixture {
protected:
    void SetUp() override {
        RegistryFixture::SetUp();
        defaults = std::make_unique<UserDefaults>(home.root() + QStringLiteral("/root-search.conf"));
    }

    void TearDown() override {
        features.reset();
        controller.reset();
        fallbackProvider.reset();
        launcher.reset();
    }

    // Desktop entries for a few applications, written before the sources load.
    void writeApplications(const QStringList& names) {
        for (const QString& name : names)
            ApplicationFolders::write(folders.homeApplications(), name.toLower().remove(QLatin1Char(' ')) + ".desktop",
                                      ApplicationFolders::app(name.toUtf8()));
    }

    // The controller over freshly loaded data sources; false when loading did
    // not finish.
    bool start(ExpressionParser* parser = nullptr) {
        repository = std::make_shared<SearchRepository>(pool);
        launcher = std::make_unique<LauncherSearch>(repository, *registry);
        // One notification centre for the registry, the features and root
        // search, as in the launcher.
        controller = std::make_unique<RootSearchController>(*launcher, parser, *defaults, &center);
        controller->setEventHandler([this](const RootSearchEvent& event) { events.push_back(event); });
        fallbackProvider = std::make_shared<FallbackSearchProvider>(*registry, &center);
        controller->addSearchProvider(std::make_shared<URLSearchProvider>(*registry));
        controller->addSearchProvider(fallbackProvider);
        // The launcher's features (installed applications, script commands…), as main registers them.
        features = std::make_unique<FeatureContext>(
            FeatureContext::Services{*registry, *launcher, *defaults, center, controller.get(), nullptr});
        registerFeatures(*features, makeFeatures());
        if (!waitUntil([this] { return fallbackProvider->completedRebuilds() > 0; }, 10000)) return false;
        controller->configureSearchDataSources();
        return waitUntil([this] { return logs->contains(QStringLiteral("Data Sources updated, isKeyWindow: false")); },
                         30000);
    }

    void type(const QString& text) { controller->searchTextDidChange(text); }

    QStringList sectionIds() const {
        QStringList ids;
        for (const ListSection& section : controller->sections()) ids << section.id;
        return ids;
    }

    QStringList itemIds(const QString& sectionId) const {
        QStringList ids;
        if (const ListSection* section = controller->section(sectionId))
            for (const ListItem& item : section->items) ids << item.id;
        return ids;
    }

    const ListItem* findItem(const QString& id) const {
        for (const ListItem* item : controller->allItems())
            if (item->id == id) return item;
        return nullptr;
    }

    QStringList toasts() const {
        QStringList titles;
        for (const RootSearchEvent& event : events)
            if (event.kind == RootSearchEvent::Kind::toast) titles << event.toast.title;
        return titles;
    }

    int eventCount(RootSearchEvent::Kind kind) const {
        int count = 0;
        for (const RootSearchEvent& event : events)
            if (event.kind == kind) ++count;
        return count;
    }

    ApplicationFolders folders;
    std::unique_ptr<UserDefaults> defaults;
    std::shared_ptr<SearchRepository> repository;
    std::unique_ptr<LauncherSearch> launcher;
    std::shared_ptr<FallbackSearchProvider> fallbackProvider;
    std::unique_ptr<RootSearchController> controller;
    std::unique_ptr<FeatureContext> features;
    std::vector<RootSearchEvent> events;
};

}  // namespace vantrel::test
