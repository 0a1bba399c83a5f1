#include "features/hackernews/HackerNewsCli.h"

#include "features/hackernews/HackerNewsAPI.h"
#include "kit/CommandLine.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>

namespace vantrel::hackernews {

namespace {

void print(const StoryList& list, bool json) {
    if (json) {
        QJsonArray array;
        for (const Story& story : list.stories) array.append(story.toJson());
        std::fputs(QJsonDocument(array).toJson(QJsonDocument::Indented).constData(), stdout);
        return;
    }
    if (list.stories.empty()) {
        cli::printLine(QStringLiteral("No stories"));
        return;
    }
    int rank = 0;
    for (const Story& story : list.stories) {
        ++rank;
        const QString domain = story.domain();
        cli::printLine(QStringLiteral("%1. %2%3").arg(rank).arg(story.title,
                                                          domain.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(domain)));
        cli::printLine(QStringLiteral("    %1").arg(story.summary()));
        cli::printLine(QStringLiteral("    %1").arg(story.link().toString()));
        if (story.link() != story.commentsUrl) cli::printLine(QStringLiteral("    %1").arg(story.commentsUrl.toString()));
    }
}

}  // namespace

int runCli(HackerNewsClient* client, QStringList arguments, const QString& problem) {
    const bool json = cli::takeFlag(arguments, QStringLiteral("--json"));
    int limit = HackerNewsClient::defaultLimit;
    if (arguments.contains(QStringLiteral("--limit"))) {
        const std::optional<QString> value = cli::takeOption(arguments, QStringLiteral("--limit"));
        bool number = false;
        limit = value ? value->toInt(&number) : 0;
        if (!number || limit < 1 || limit > 500) {
            cli::printError(QStringLiteral("--limit takes a number from 1 to 500"));
            return 2;
        }
    }
    if (!arguments.isEmpty()) {
        cli::printError(QStringLiteral("hackernews takes [--json] [--limit N]; unexpected: ") + arguments.join(QLatin1Char(' ')));
        return 2;
    }
    if (!client) {
        cli::printError(problem);
        return 1;
    }
    const Result<StoryList> fresh = client->fetchTopStoriesAndWait(limit);
    if (fresh.isSuccess()) {
        if (fresh.value().missing > 0)
            cli::printError(QStringLiteral("%1 of the stories could not be loaded").arg(fresh.value().missing));
        print(fresh.value(), json);
        return 0;
    }
    const std::optional<StoryList> cached = client->cachedTopStories(limit);
    cli::printError(fresh.error().errorDescription());
    if (!cached) return 1;
    cli::printError(QStringLiteral("Showing the stories read before"));
    print(*cached, json);
    return 0;
}

}  // namespace vantrel::hackernews
