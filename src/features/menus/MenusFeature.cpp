#include "features/menus/MenusFeature.h"

#include "core/api/FeatureContext.h"
#include "core/api/LauncherPresenter.h"
#include "features/menus/ui/MenuItemsView.h"
#include "kit/VantrelError.h"
#include "platform/Platform.h"
#include "platform/WindowClient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cstdio>

namespace vantrel {

namespace {

std::shared_ptr<ApplicationMenus> menusAccess() {
    if (!platform().makeApplicationMenus)
        throw VantrelError(QStringLiteral("Searching menu items needs the accessibility bus (AT-SPI), which this "
                                          "build cannot reach."));
    return platform().makeApplicationMenus();
}

QStringList pathParts(const QString& text) {
    static const QRegularExpression separators(QStringLiteral("\\s*(?:›|>|/)\\s*"));
    QStringList parts = text.split(separators, Qt::SkipEmptyParts);
    for (QString& part : parts) part = part.trimmed();
    return parts;
}

QString joined(const ApplicationMenus::Item& item) {
    return item.path.join(MenusFeature::separator);
}

int printMenus(QStringList arguments) {
    const bool json = arguments.removeAll(QStringLiteral("--json")) > 0;
    std::optional<qint64> pid;
    const qsizetype pidAt = arguments.indexOf(QStringLiteral("--pid"));
    if (pidAt >= 0) {
        bool ok = false;
        pid = arguments.value(pidAt + 1).toLongLong(&ok);
        if (!ok || *pid <= 0) {
            std::fprintf(stderr, "usage: vantrel menus [--pid PID] [--json]\n");
            return 2;
        }
        arguments.remove(pidAt, 2);
    }
    if (!arguments.isEmpty()) {
        std::fprintf(stderr, "usage: vantrel menus [--pid PID] [--json]\n");
        return 2;
    }
    try {
        const ApplicationMenus::Menus menus = MenusFeature::readMenus(pid);
        if (json) {
            QJsonArray items;
            for (const auto& item : menus.items)
                items.append(QJsonObject{{"path", joined(item)},
                                         {"titles", QJsonArray::fromStringList(item.path)},
                                         {"shortcut", item.shortcut},
                                         {"enabled", item.enabled}});
            const QJsonObject object{{"application", menus.applicationName}, {"items", items}};
            std::fputs(QJsonDocument(object).toJson(QJsonDocument::Indented).constData(), stdout);
            return 0;
        }
        for (const auto& item : menus.items) {
            QString line = joined(item);
            if (!item.shortcut.isEmpty()) line += QStringLiteral("  (") + item.shortcut + QLatin1Char(')');
            if (!item.enabled) line += QStringLiteral("  [disabled]");
            std::fprintf(stdout, "%s\n", line.toUtf8().constData());
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vantrel: %s\n", VantrelError::describe(error).toUtf8().constData());
        return 1;
    }
}

}  // namespace

qint64 MenusFeature::frontApplicationPid() {
    if (!platform().windowClient)
        throw VantrelError(QStringLiteral("Searching menu items needs to know the window in front, which this "
                                          "desktop does not tell."));
    QString problem;
    const std::shared_ptr<WindowClient> client = platform().windowClient(&problem);
    if (!client) throw VantrelError(QStringLiteral("Searching menu items needs the window in front: %1").arg(problem));
    WindowClient::Window focused;
    try {
        focused = client->focusedWindow();
    } catch (const std::exception&) {
        throw VantrelError(QStringLiteral("There is no application in front whose menus could be searched."));
    }
    for (const auto& window : client->openWindows(0))
        if (window.id == focused.id) {
            if (!window.pid)
                throw VantrelError(QStringLiteral("The window in front (\"%1\") does not name its process.")
                                       .arg(window.title));
            return qint64(*window.pid);
        }
    throw VantrelError(QStringLiteral("The window in front is not an application window."));
}

ApplicationMenus::Menus MenusFeature::readMenus(std::optional<qint64> pid) {
    const std::shared_ptr<ApplicationMenus> access = menusAccess();
    return access->menuItems(pid ? *pid : frontApplicationPid());
}

const ApplicationMenus::Item& MenusFeature::find(const ApplicationMenus::Menus& menus, const QString& path) {
    const QStringList wanted = pathParts(path);
    if (wanted.isEmpty()) throw VantrelError(QStringLiteral("Name a menu item, like \"File › Save\"."));
    const auto same = [](const QStringList& a, const QStringList& b) {
        if (a.size() != b.size()) return false;
        for (qsizetype i = 0; i < a.size(); ++i)
            if (a[i].compare(b[i], Qt::CaseInsensitive) != 0) return false;
        return true;
    };
    for (const auto& item : menus.items)
        if (same(item.path, wanted)) return item;
    const QString needle = wanted.join(separator);
    std::vector<const ApplicationMenus::Item*> matches;
    for (const auto& item : menus.items)
        if (joined(item).contains(needle, Qt::CaseInsensitive)) matches.push_back(&item);
    if (matches.size() == 1) return *matches.front();
    if (matches.empty())
        throw VantrelError(QStringLiteral("%1 has no menu item \"%2\".")
                               .arg(menus.applicationName.isEmpty() ? QStringLiteral("The application")
                                                                    : menus.applicationName,
                                    needle));
    QStringList paths;
    for (const auto* item : matches) paths << QLatin1Char('"') + joined(*item) + QLatin1Char('"');
    throw VantrelError(
        QStringLiteral("%1 menu items match \"%2\": %3.").arg(matches.size()).arg(needle, paths.join(QStringLiteral(", "))));
}

void MenusFeature::registerWith(FeatureContext& context) {
    FeatureContext* features = &context;
    context.addCommandHandler(commandId, [this](const VantrelCommand&, const CommandRunContext& run) {
        m_pending = readMenus();
        // With an item named (an argument, a link), it is triggered at once.
        const QString query = run.inputText();
        if (!query.isEmpty()) {
            const ApplicationMenus::Item item = find(*m_pending, query);
            m_pending.reset();
            menusAccess()->activate(item);
            return CommandOutcome::done();
        }
        return CommandOutcome::showView(commandId);
    });
    context.addView(commandId, [this, features](const CommandOutcome&) -> QWidget* {
        ApplicationMenus::Menus menus;
        if (m_pending) {
            menus = std::move(*m_pending);
            m_pending.reset();
        } else {
            try {
                menus = readMenus();
            } catch (const std::exception&) {
                return nullptr;
            }
        }
        return new MenuItemsView(std::move(menus), menusAccess(), [features] {
            if (LauncherPresenter* presenter = features->presenter()) presenter->hideWindow();
        });
    });
    context.addCliCommand(QStringLiteral("menus"),
                          [](const QStringList& arguments) -> std::optional<int> { return printMenus(arguments); });
    // `vantrel run searchMenuItems PATH`: triggers that item of the application in front.
    context.addCliCommand(QStringLiteral("run"), [](const QStringList& arguments) -> std::optional<int> {
        if (arguments.size() < 2 || arguments.first() != commandId) return std::nullopt;
        try {
            const ApplicationMenus::Menus menus = readMenus();
            const ApplicationMenus::Item& item = find(menus, arguments.mid(1).join(QLatin1Char(' ')));
            menusAccess()->activate(item);
            std::fprintf(stdout, "%s\n", joined(item).toUtf8().constData());
            return 0;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "vantrel: %s\n", VantrelError::describe(error).toUtf8().constData());
            return 1;
        }
    });
}

}  // namespace vantrel
