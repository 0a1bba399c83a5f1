#pragma once

#include "extensions/client/CommandPresenter.h"
#include "extensions/client/ExtensionHostClient.h"
#include "extensions/client/VantrelAPI.h"
#include "extensions/packages/ExtensionPackage.h"
#include "extensions/packages/ExtensionPaths.h"
#include "extensions/packages/PackageLoader.h"

#include "support/TestEnvironment.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

#include <memory>
#include <optional>

namespace vantrel::test {

// Records what a command showed, as the launcher's view would.
class RecordingCommandPresenter : public extensions::CommandPresenter {
public:
    void showToast(const QString& style, const QString& title, const std::optional<QString>& message) override {
        events << QStringLiteral("toast %1: %2%3").arg(style, title, message ? QStringLiteral(" – ") + *message : QString());
    }
    void hideToast() override { events << QStringLiteral("hide toast"); }
    void changeToast(const std::optional<QString>& style, const std::optional<QString>& title, const std::optional<QString>& message) override {
        events << QStringLiteral("change toast %1|%2|%3").arg(style.value_or(QString()), title.value_or(QString()), message.value_or(QString()));
    }
    void log(const QString& level, const QString& text) override { events << QStringLiteral("log %1: %2").arg(level, text); }
    void showException(const extensions::JSException& exception) override {
        exceptions.push_back(exception);
        events << QStringLiteral("exception ") + exception.description();
    }

    QStringList events;
    std::vector<extensions::JSException> exceptions;
};

inline QString sourceFile(const QString& relative) {
    QFile file(QStringLiteral(VANTREL_SOURCE_DIR "/") + relative);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

// A development extension "name" with one "default" command "command" whose
// script is given, written into the extensions folder; answers the package
// with its launch command set.
inline ExtensionPackage writeDevelopmentCommand(const QString& name, const QString& script, const QString& command = QStringLiteral("command")) {
    const QJsonObject manifest{
        {QStringLiteral("name"), name},
        {QStringLiteral("title"), name},
        {QStringLiteral("description"), QStringLiteral("A test extension")},
        {QStringLiteral("icon"), QStringLiteral("icon.png")},
        {QStringLiteral("commands"), QJsonArray{QJsonObject{{QStringLiteral("name"), command},
                                                             {QStringLiteral("title"), command},
                                                             {QStringLiteral("description"), QStringLiteral("Runs")},
                                                             {QStringLiteral("mode"), QStringLiteral("default")}}}}};
    const QString folder = ExtensionPaths::extensionsDir() + QLatin1Char('/') + name;
    writeTestFile(folder + QStringLiteral("/package.json"), QJsonDocument(manifest).toJson());
    writeTestFile(folder + QLatin1Char('/') + command + QStringLiteral(".js"), script.toUtf8());
    ExtensionPackage package(ExtensionId(name, QStringLiteral("dev")));
    package.manifest = PackageLoader::loadManifest(package.folder());
    package.launchCommand = ExtensionLaunchCommand{ExtensionId::command(package.id, command), std::nullopt};
    return package;
}

// The launcher's side: a client of a real host and the API registry over it.
struct LauncherSide {
    extensions::ExtensionHostClient client{QStringLiteral(VANTREL_EXTENSION_HOST_PROGRAM)};
    extensions::VantrelAPI api{&client};

    // Runs the command to its end; nullopt when it did not end in time.
    std::optional<Result<QJsonValue>> run(const ExtensionPackage& package, std::shared_ptr<extensions::CommandPresenter> presenter,
                                          int timeoutMs = 15000) {
        std::optional<Result<QJsonValue>> outcome;
        api.loadCommand(package, std::move(presenter), [&](Result<QJsonValue> result) { outcome = std::move(result); });
        if (!waitUntil([&] { return outcome.has_value(); }, timeoutMs)) return std::nullopt;
        return outcome;
    }

    std::optional<Result<QJsonValue>> ping() {
        std::optional<Result<QJsonValue>> outcome;
        client.ping([&](Result<QJsonValue> result) { outcome = std::move(result); });
        if (!waitUntil([&] { return outcome.has_value(); }, 15000)) return std::nullopt;
        return outcome;
    }
};

}  // namespace vantrel::test
