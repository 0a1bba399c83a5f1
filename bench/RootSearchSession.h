#pragma once

// Shared by the root-search benchmarks and `vantrel-bench rootsearch`: an
// encrypted database with one application per name plus the built-in
// commands, indexed once, and controllers over it with every provider.
#include "BenchSupport.h"

#include "core/commands/PackageRegistry.h"
#include "core/commands/VantrelCommandsSource.h"
#include "core/rootsearch/ExpressionParser.h"
#include "core/rootsearch/FallbackSearchProvider.h"
#include "core/rootsearch/LauncherSearch.h"
#include "core/rootsearch/RootSearchController.h"
#include "core/rootsearch/URLSearchProvider.h"
#include "data/PackageConfigurationRepository.h"
#include "data/SearchRepository.h"
#include "kit/NotificationCenter.h"
#include "kit/UserDefaults.h"
#include "platform/qalculate/QalculateCalculator.h"

#include <QCoreApplication>
#include <QThread>

#include <memory>

namespace vantrel::bench {

struct RootSearchSession {
    TemporaryDatabase database;
    NotificationCenter center;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<PackageRegistry> registry;
    std::shared_ptr<SearchRepository> repository;
    std::unique_ptr<LauncherSearch> launcher;
    std::unique_ptr<ExpressionParser> parser;
    std::unique_ptr<RootSearchController> controller;
    // The same without the calculator.
    std::unique_ptr<RootSearchController> withoutCalculator;

    // Null when the database cannot be opened or there are no names.
    static std::unique_ptr<RootSearchSession> make(const QStringList& names) {
        auto s = std::make_unique<RootSearchSession>();
        auto pool = s->database.open();
        if (!pool || names.isEmpty()) return nullptr;
        s->defaults = std::make_unique<UserDefaults>(s->database.dir.path() + QStringLiteral("/vantrel.conf"));
        s->registry = std::make_unique<PackageRegistry>(std::make_shared<PackageConfigurationRepository>(pool), false,
                                                        &s->center);
        s->repository = std::make_shared<SearchRepository>(pool);

        std::vector<SearchRecord> apps;
        qint64 n = 0;
        for (const QString& name : names) {
            SearchRecord record;
            record.key = QStringLiteral("/usr/share/applications/bench-%1.desktop").arg(++n);
            record.path = record.key;
            record.type = SearchRecord::ContentType::systemApp;
            record.source = SearchRecord::Source::system;
            record.name = name;
            apps.push_back(std::move(record));
        }
        s->repository->update(SearchRecord::Source::system, apps, SearchUpdateStrategy::source());
        std::vector<SearchRecord> commands;
        for (const auto& command : s->registry->commands()) {
            if (!s->registry->isEnabled(*command)) continue;
            const auto package = command->package();
            commands.push_back(VantrelCommandsSource::record(*command, package ? package->displayName() : QString(),
                                                             SearchRecord::Source::package));
        }
        s->repository->update(SearchRecord::Source::package, commands, SearchUpdateStrategy::source());

        s->launcher = std::make_unique<LauncherSearch>(s->repository, *s->registry);
        s->launcher->search().indexAll();
        s->parser = std::make_unique<ExpressionParser>(std::make_shared<QalculateCalculator>());
        s->controller =
            std::make_unique<RootSearchController>(*s->launcher, s->parser.get(), *s->defaults, &s->center);
        s->withoutCalculator = std::make_unique<RootSearchController>(*s->launcher, nullptr, *s->defaults, &s->center);
        auto fallbacks = std::make_shared<FallbackSearchProvider>(*s->registry, &s->center);
        // Both controllers share the engine and so its providers.
        s->controller->addSearchProvider(std::make_shared<URLSearchProvider>(*s->registry));
        s->controller->addSearchProvider(fallbacks);
        // The fallback provider indexes its commands on a pool thread.
        for (int i = 0; i < 500 && fallbacks->completedRebuilds() == 0; ++i) {
            QCoreApplication::processEvents();
            QThread::msleep(10);
        }
        return s;
    }
};

}  // namespace vantrel::bench
