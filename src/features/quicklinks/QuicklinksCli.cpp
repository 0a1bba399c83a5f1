// `vantrel quicklinks …` and `vantrel run quicklink_<id>`: the quicklinks
// from the command line, over the same service and source the launcher uses.
#include "features/quicklinks/QuicklinksCli.h"

#include "core/api/FeatureContext.h"
#include "core/rootsearch/LauncherSearch.h"
#include "data/SearchRepository.h"
#include "features/quicklinks/QuicklinkActions.h"
#include "features/quicklinks/QuicklinkForm.h"
#include "features/quicklinks/QuicklinkLink.h"
#include "features/quicklinks/QuicklinksService.h"
#include "features/quicklinks/QuicklinksSource.h"
#include "kit/CommandLine.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/VantrelError.h"
#include "search/Search.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace vantrel::quicklinks {

namespace {

using cli::printLine;
using cli::takeOption;

void out(const QString& text) {
    printLine(text);
}

void err(const QString& text) {
    cli::printError(text);
}

// The quicklink's records go to the search table now (not only when a
// launcher loads its sources next), so that an alias can be set on its row.
bool publish(QuicklinksService& service, FeatureContext& context) {
    DataSourceUpdate update;
    update.records[SearchRecord::Source::quicklinks] = QuicklinksSource::records(service.enabledQuicklinks());
    update.strategy = SearchUpdateStrategy::source();
    // The answer may come after the wait gave up: it only touches shared
    // state, and the loop only while it is still there.
    QEventLoop loop;
    const QPointer<QEventLoop> waiting(&loop);
    const auto written = std::make_shared<std::optional<bool>>();
    context.search().search().updateDataSources({update}, 0, [waiting, written](const std::optional<VantrelError>& error) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [waiting, written, failed = error.has_value()] {
                *written = !failed;
                if (waiting) waiting->quit();
            },
            Qt::QueuedConnection);
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    if (!*written) loop.exec();
    return written->value_or(false);
}

// Tells a running launcher (through the configuration-change forwarder of
// the command line) that the quicklinks changed.
void announce(FeatureContext& context) {
    NotificationCenter::defaultCenter().post(QString(NotificationNames::packageConfigurationDidChange),
                                             QStringLiteral("quicklinks"));
    (void)context;
}

int add(QuicklinksService& service, FeatureContext& context, QStringList arguments) {
    const QString name = takeOption(arguments, QStringLiteral("--name")).value_or(QString());
    const QString link = takeOption(arguments, QStringLiteral("--link")).value_or(QString());
    const QString application = takeOption(arguments, QStringLiteral("--app")).value_or(QString());
    const std::optional<QString> alias = takeOption(arguments, QStringLiteral("--alias"));
    if (!arguments.isEmpty()) {
        err(QStringLiteral("quicklinks add takes --name N --link L [--app DESKTOP_ID] [--alias A]; unexpected: ") +
            arguments.join(QLatin1Char(' ')));
        return 2;
    }
    if (const std::optional<QString> problem = QuicklinkForm::validationMessage(name, link)) {
        err(*problem);
        return 2;
    }
    QuicklinkRecord record;
    record.name = name.trimmed();
    record.urlString = link.trimmed();
    record.applicationID = application;
    QuicklinkRecord stored;
    try {
        stored = service.create(record);
    } catch (const std::exception& error) {
        err(QStringLiteral("Unable to create Quicklink: ") + VantrelError::describe(error));
        return 1;
    }
    const QString key = QuicklinksService::key(stored.id.value_or(0));
    if (!publish(service, context)) err(QStringLiteral("the quicklink is stored, but the search table was not updated"));
    if (alias && !alias->trimmed().isEmpty()) {
        try {
            context.search().search().setAlias(alias->trimmed(), key);
        } catch (const std::exception& error) {
            err(QStringLiteral("Cannot set the alias: ") + VantrelError::describe(error));
            return 1;
        }
    }
    announce(context);
    out(QStringLiteral("Created Quicklink %1 (%2)").arg(key, stored.name));
    return 0;
}

int list(const QuicklinksService& service, FeatureContext& context, QStringList arguments) {
    const bool json = arguments.removeAll(QStringLiteral("--json")) > 0;
    if (!arguments.isEmpty()) {
        err(QStringLiteral("quicklinks list takes only --json"));
        return 2;
    }
    std::vector<QuicklinkRecord> links;
    try {
        links = service.quicklinks();
    } catch (const std::exception& error) {
        err(VantrelError::describe(error));
        return 1;
    }
    const auto aliasOf = [&](const QString& key) -> QString {
        try {
            if (const auto record = context.search().search().repository()->record(key))
                return record->alias.value_or(QString());
        } catch (const std::exception&) {
        }
        return {};
    };
    if (json) {
        QJsonArray array;
        for (const QuicklinkRecord& link : links) {
            const QString key = QuicklinksService::key(link.id.value_or(0));
            QJsonObject object{{"id", key},
                               {"name", link.name},
                               {"link", link.urlString},
                               {"application", link.applicationID},
                               {"enabled", link.isEnabled}};
            if (const auto placeholder = quicklinkPlaceholder(link.urlString))
                object.insert(QStringLiteral("placeholder"), *placeholder);
            const QString alias = aliasOf(key);
            if (!alias.isEmpty()) object.insert(QStringLiteral("alias"), alias);
            array.append(object);
        }
        std::fputs(QJsonDocument(array).toJson(QJsonDocument::Indented).constData(), stdout);
        return 0;
    }
    for (const QuicklinkRecord& link : links) {
        const QString key = QuicklinksService::key(link.id.value_or(0));
        const QString alias = aliasOf(key);
        out(QStringLiteral("%1  %2  %3%4%5")
                .arg(key, -14)
                .arg(link.name, -24)
                .arg(link.urlString)
                .arg(link.applicationID.isEmpty() ? QString() : QStringLiteral("  (") + link.applicationID + ')')
                .arg(alias.isEmpty() ? QString() : QStringLiteral("  alias: ") + alias));
    }
    return 0;
}

int remove(QuicklinksService& service, FeatureContext& context, const QStringList& arguments) {
    if (arguments.size() != 1) {
        err(QStringLiteral("quicklinks remove takes one ID"));
        return 2;
    }
    const std::optional<QuicklinkRecord> link = service.quicklink(arguments.first());
    if (!link || !link->id) {
        err(QStringLiteral("Cannot find Quicklink ") + arguments.first());
        return 1;
    }
    try {
        service.remove(*link->id);
    } catch (const std::exception& error) {
        err(QStringLiteral("Failed to delete Quicklink - ") + VantrelError::describe(error));
        return 1;
    }
    publish(service, context);
    announce(context);
    out(QStringLiteral("Quicklink deleted"));
    return 0;
}

}  // namespace

int quicklinksCommand(QuicklinksService& service, QuicklinksSource& source, FeatureContext& context,
                      const QStringList& arguments) {
    (void)source;
    const QString sub = arguments.value(0);
    if (sub == QLatin1String("add")) return add(service, context, arguments.mid(1));
    if (sub == QLatin1String("list")) return list(service, context, arguments.mid(1));
    if (sub == QLatin1String("remove")) return remove(service, context, arguments.mid(1));
    err(QStringLiteral("quicklinks takes add, list or remove"));
    return 2;
}

std::optional<int> runQuicklink(QuicklinksService& service, FeatureContext& context, const QString& id,
                                const QStringList& values) {
    if (!QuicklinksService::idFromKey(id)) return std::nullopt;
    std::optional<QuicklinkRecord> link;
    try {
        link = service.quicklink(id);
    } catch (const std::exception& error) {
        err(VantrelError::describe(error));
        return 1;
    }
    if (!link) {
        err(QStringLiteral("Cannot find Quicklink ") + id);
        return 1;
    }
    if (!link->isEnabled) {
        err(QStringLiteral("the quicklink '%1' is disabled").arg(link->name));
        return 1;
    }
    const QStringList arguments =
        values.isEmpty() ? QStringList() : QStringList{values.join(QLatin1Char(' '))};
    const QuicklinkOpening opening = openQuicklink(*link, arguments, context.environment());
    switch (opening.result) {
        case QuicklinkOpening::Result::invalidInputs:
            err(QStringLiteral("Please enter valid inputs"));
            return 2;
        case QuicklinkOpening::Result::failed:
            err(QStringLiteral("Unable to open Quicklink: ") + opening.error);
            return 1;
        case QuicklinkOpening::Result::opened:
            break;
    }
    // As root search does: the use counts for ranking.
    try {
        Search& search = context.search().search();
        if (const auto record = search.repository()->record(id))
            search.visit(SearchItem::fromRecord(*record), Ranking::VisitKind::defaultVisit);
    } catch (const std::exception&) {
    }
    if (opening.applicationMissing)
        err(QStringLiteral("%1 is not installed: opened with the default application").arg(link->applicationID));
    out(QStringLiteral("Opened ") + QString::fromUtf8(opening.url.toEncoded()));
    return 0;
}

}  // namespace vantrel::quicklinks
