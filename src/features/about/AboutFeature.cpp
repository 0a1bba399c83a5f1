#include "features/about/AboutFeature.h"

#include "core/api/FeatureContext.h"
#include "core/commands/PackageRegistry.h"
#include "features/about/ProgramDocuments.h"
#include "features/about/ProgramOrigin.h"
#include "features/about/UpdateFeed.h"
#include "features/about/ui/UpdatesView.h"
#include "kit/VantrelError.h"
#include "platform/DesktopServices.h"
#include "platform/Platform.h"
#include "ui/toolkit/DetailView.h"

#include <QSysInfo>
#include <QUrlQuery>

#include <cstdio>

#ifndef VANTREL_FEEDBACK_URL
#define VANTREL_FEEDBACK_URL "https://github.com/vantrel/vantrel/issues/new"
#endif
#ifndef VANTREL_UPDATES_FEED_URL
#define VANTREL_UPDATES_FEED_URL "https://api.github.com/repos/vantrel/vantrel/releases/latest"
#endif

namespace vantrel {

namespace {

QString configured(const PackageRegistry& registry, const QString& key, const QString& fallback) {
    const std::optional<QString> value = registry.stringValue(PackageIdentifier(AboutFeature::packageId), key);
    return value && !value->trimmed().isEmpty() ? value->trimmed() : fallback;
}

// What a bug report needs to know about this system.
QString systemDescription() {
    QStringList lines;
    lines << QStringLiteral("Vantrel version: %1").arg(runningVersion().toString());
    lines << QStringLiteral("System: %1, %2 %3 (%4)")
                 .arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(), QSysInfo::kernelVersion(),
                      QSysInfo::currentCpuArchitecture());
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    const QString session = qEnvironmentVariable("XDG_SESSION_TYPE");
    lines << QStringLiteral("Desktop: %1 (%2)")
                 .arg(desktop.isEmpty() ? QStringLiteral("unknown") : desktop,
                      session.isEmpty() ? (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ? QStringLiteral("wayland")
                                                                                        : QStringLiteral("x11"))
                                        : session);
    lines << QStringLiteral("Qt: %1").arg(QString::fromLatin1(qVersion()));
    return lines.join(QLatin1Char('\n'));
}

void open(const CommandRunContext& run, const QUrl& url) {
    if (run.environment && run.environment->openUrl) {
        run.environment->openUrl(url);
        return;
    }
    const std::shared_ptr<DesktopServices> desktop = platform().desktop;
    if (!desktop) throw VantrelError(QStringLiteral("There is no desktop to open \"%1\" with.").arg(url.toString()));
    desktop->open(url);
}

QWidget* documentView(const QString& title, const char* fileName) {
    auto* view = new DetailView(title);
    try {
        view->setMarkdown(ProgramDocuments::read(QString::fromLatin1(fileName)));
    } catch (const std::exception& error) {
        view->setMarkdown(QStringLiteral("# %1 not found\n\n%2").arg(title, VantrelError::describe(error)));
    }
    return view;
}

int printDocument(const char* fileName) {
    try {
        std::fputs(ProgramDocuments::read(QString::fromLatin1(fileName)).toUtf8().constData(), stdout);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vantrel: %s\n", VantrelError::describe(error).toUtf8().constData());
        return 1;
    }
}

}  // namespace

QString AboutFeature::defaultFeedbackUrl() { return QStringLiteral(VANTREL_FEEDBACK_URL); }

QString AboutFeature::defaultUpdatesFeed() { return QStringLiteral(VANTREL_UPDATES_FEED_URL); }

QUrl AboutFeature::feedbackUrl(const PackageRegistry& registry) {
    QUrl url(configured(registry, feedbackUrlKey, defaultFeedbackUrl()));
    QUrlQuery query(url);
    query.removeAllQueryItems(QStringLiteral("body"));
    QString encoded = query.query(QUrl::FullyEncoded);
    if (!encoded.isEmpty()) encoded += QLatin1Char('&');
    // Encoded here, so that "&", "+" and "=" in the text stay text.
    encoded += QStringLiteral("body=") +
               QString::fromLatin1(QUrl::toPercentEncoding(systemDescription() + QStringLiteral("\n\n")));
    url.setQuery(encoded, QUrl::TolerantMode);
    return url;
}

QUrl AboutFeature::updatesFeed(const PackageRegistry& registry) {
    return QUrl(configured(registry, updatesFeedKey, defaultUpdatesFeed()));
}

void AboutFeature::registerWith(FeatureContext& context) {
    PackageRegistry* registry = &context.registry();

    for (const QString& id : {manualCommandId, changelogCommandId}) {
        context.addCommandHandler(id, [id](const VantrelCommand&, const CommandRunContext&) {
            const char* file = id == manualCommandId ? ProgramDocuments::kManual : ProgramDocuments::kChangelog;
            if (ProgramDocuments::find(QString::fromLatin1(file)).isEmpty())
                return CommandOutcome::failed(
                    id == manualCommandId ? QStringLiteral("Manual not found") : QStringLiteral("Changelog not found"),
                    QStringLiteral("%1 is not installed next to the program; looked in: %2")
                        .arg(QString::fromLatin1(file), ProgramDocuments::searchFolders().join(QStringLiteral(", "))));
            return CommandOutcome::showView(id);
        });
    }
    context.addView(manualCommandId,
                    [](const CommandOutcome&) { return documentView(QStringLiteral("Manual"), ProgramDocuments::kManual); });
    context.addView(changelogCommandId, [](const CommandOutcome&) {
        return documentView(QStringLiteral("Changelog"), ProgramDocuments::kChangelog);
    });

    context.addCommandHandler(feedbackCommandId, [registry](const VantrelCommand&, const CommandRunContext& run) {
        const QUrl url = feedbackUrl(*registry);
        open(run, url);
        return CommandOutcome::done(QStringLiteral("Opened the feedback page"));
    });

    // A program its package system updates does not check itself: the command
    // keeps its table entry, which leaves it out of search and says why.
    if (!ProgramOrigin::current().updatesItself()) {
        context.addCommandHandler(updatesCommandId, [](const VantrelCommand&, const CommandRunContext&) {
            return CommandOutcome::showView(updatesCommandId);
        });
        context.addView(updatesCommandId, [registry](const CommandOutcome&) -> QWidget* {
            return new UpdatesView(updatesFeed(*registry));
        });
    }

    // `vantrel run openVantrelManual|openVantrelChangelog` prints the document;
    // `vantrel run checkForUpdates` prints the comparison.
    context.addCliCommand(QStringLiteral("run"), [registry](const QStringList& arguments) -> std::optional<int> {
        const QString id = arguments.value(0);
        if (id == manualCommandId) return printDocument(ProgramDocuments::kManual);
        if (id == changelogCommandId) return printDocument(ProgramDocuments::kChangelog);
        if (id != updatesCommandId) return std::nullopt;
        const ProgramOrigin origin = ProgramOrigin::current();
        if (origin.updatesItself()) {
            std::fprintf(stdout, "Vantrel came from %s, which keeps it up to date.\n",
                         origin.packageSystem.toUtf8().constData());
            return 0;
        }
        const Version running = runningVersion();
        const UpdateCheck check = UpdateFeed::fetchAndWait(updatesFeed(*registry), running);
        const QByteArray line = check.summary(running).toUtf8();
        if (!check.problem.isEmpty()) {
            std::fprintf(stderr, "vantrel: %s\n", line.constData());
            return 1;
        }
        std::fprintf(stdout, "%s\n", line.constData());
        if (check.isNewer && check.latest && !check.latest->url.isEmpty())
            std::fprintf(stdout, "%s\n", check.latest->url.toString().toUtf8().constData());
        return 0;
    });
}

}  // namespace vantrel
