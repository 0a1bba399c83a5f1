#include "features/switcher/SwitcherFeature.h"

#include "core/api/FeatureContext.h"
#include "core/api/LauncherPresenter.h"
#include "features/switcher/ui/WindowSwitcherView.h"
#include "kit/VantrelError.h"
#include "platform/Platform.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace vantrel {

namespace {

std::shared_ptr<WindowClient> windowClient(QString* problem) {
    const auto& client = platform().windowClient;
    if (!client) {
        *problem = QStringLiteral("this desktop gives no access to its windows");
        return nullptr;
    }
    return client(problem);
}

QString unavailableSentence(const QString& problem) {
    return QStringLiteral("Switching apps is not available on this desktop: %1.").arg(problem);
}

QString hexId(WindowClient::WindowId id) {
    return QStringLiteral("0x%1").arg(id, 8, 16, QLatin1Char('0'));
}

int listWindows(const QStringList& arguments) {
    const bool json = arguments.contains(QStringLiteral("--json"));
    for (const QString& argument : arguments)
        if (argument != QLatin1String("--json")) {
            std::fprintf(stderr, "usage: vantrel windows [--json]\n");
            return 2;
        }
    QString problem;
    const std::shared_ptr<WindowClient> client = windowClient(&problem);
    if (!client) {
        std::fprintf(stderr, "vantrel: %s\n", unavailableSentence(problem).toUtf8().constData());
        return 1;
    }
    const std::vector<WindowClient::OpenWindow> windows = client->openWindows(0);
    if (json) {
        QJsonArray array;
        for (const auto& window : windows) {
            QJsonObject object{{"id", hexId(window.id)},
                               {"title", window.title},
                               {"application", window.applicationClass},
                               {"active", window.active},
                               {"minimized", window.minimized}};
            if (window.pid) object.insert(QStringLiteral("pid"), qint64(*window.pid));
            array.append(object);
        }
        std::fputs(QJsonDocument(array).toJson(QJsonDocument::Indented).constData(), stdout);
        return 0;
    }
    for (const auto& window : windows) {
        const QString line = QStringLiteral("%1 %2 %3  %4\n")
                                 .arg(hexId(window.id), window.active ? QStringLiteral("*") : QStringLiteral(" "),
                                      window.title, window.applicationClass);
        std::fputs(line.toUtf8().constData(), stdout);
    }
    return 0;
}

}  // namespace

WindowClient::OpenWindow SwitcherFeature::find(const std::vector<WindowClient::OpenWindow>& windows,
                                               const QString& query) {
    const QString wanted = query.trimmed();
    bool isNumber = false;
    const quint64 id = wanted.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? wanted.mid(2).toULongLong(&isNumber, 16)
                                                                                   : wanted.toULongLong(&isNumber, 10);
    if (isNumber)
        for (const auto& window : windows)
            if (window.id == id) return window;
    for (const auto& window : windows)
        if (window.title.compare(wanted, Qt::CaseInsensitive) == 0) return window;
    std::vector<WindowClient::OpenWindow> matches;
    for (const auto& window : windows)
        if (!wanted.isEmpty() && window.title.contains(wanted, Qt::CaseInsensitive)) matches.push_back(window);
    if (matches.size() == 1) return matches.front();
    if (matches.empty()) throw VantrelError(QStringLiteral("No open window is called \"%1\".").arg(wanted));
    QStringList titles;
    for (const auto& window : matches) titles << QLatin1Char('"') + window.title + QLatin1Char('"');
    throw VantrelError(
        QStringLiteral("%1 windows match \"%2\": %3.").arg(matches.size()).arg(wanted, titles.join(QStringLiteral(", "))));
}

void SwitcherFeature::registerWith(FeatureContext& context) {
    context.addCommandHandler(commandId, [](const VantrelCommand&, const CommandRunContext& run) {
        QString problem;
        const std::shared_ptr<WindowClient> client = windowClient(&problem);
        if (!client) return CommandOutcome::unavailable(unavailableSentence(problem));
        // With a window named (an argument, a link), it comes to the front at once.
        const QString query = run.inputText();
        if (!query.isEmpty()) {
            client->activate(find(client->openWindows(0), query).id);
            return CommandOutcome::done();
        }
        return CommandOutcome::showView(commandId);
    });
    FeatureContext* features = &context;
    context.addView(commandId, [features](const CommandOutcome&) -> QWidget* {
        QString problem;
        std::shared_ptr<WindowClient> client = windowClient(&problem);
        if (!client) return nullptr;
        return new WindowSwitcherView(std::move(client), [features] {
            if (LauncherPresenter* presenter = features->presenter()) presenter->hideWindow();
        });
    });
    context.addCliCommand(QStringLiteral("windows"), [](const QStringList& arguments) -> std::optional<int> {
        return listWindows(arguments);
    });
    // `vantrel run appSwitcher TITLE-OR-ID`: activates that window.
    context.addCliCommand(QStringLiteral("run"), [](const QStringList& arguments) -> std::optional<int> {
        if (arguments.size() < 2 || arguments.first() != commandId) return std::nullopt;
        QString problem;
        const std::shared_ptr<WindowClient> client = windowClient(&problem);
        if (!client) {
            std::fprintf(stderr, "vantrel: %s\n", unavailableSentence(problem).toUtf8().constData());
            return 1;
        }
        try {
            const WindowClient::OpenWindow window = find(client->openWindows(0), arguments.mid(1).join(QLatin1Char(' ')));
            client->activate(window.id);
            std::fprintf(stdout, "%s\n", window.title.toUtf8().constData());
            return 0;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "vantrel: %s\n", VantrelError::describe(error).toUtf8().constData());
            return 1;
        }
    });
}

}  // namespace vantrel
