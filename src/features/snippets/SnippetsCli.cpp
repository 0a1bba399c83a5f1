#include "features/snippets/SnippetsCli.h"

#include "core/shell/InstanceChannel.h"
#include "features/snippets/SnippetsService.h"
#include "kit/VantrelError.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <cstdio>

namespace vantrel::snippets {

namespace {

void print(const QString& text) { std::fputs((text + QLatin1Char('\n')).toUtf8().constData(), stdout); }

int fail(const QString& message, int status = 1) {
    std::fprintf(stderr, "vantrel: %s\n", message.toUtf8().constData());
    return status;
}

const char* const kUsage =
    "usage: vantrel snippets add --name NAME --text TEXT [--keyword KEYWORD]\n"
    "       vantrel snippets list [--json] | remove ID | import FILE | export [FILE]";

QString describe(const std::exception& failure) { return VantrelError::describe(failure); }

// The change done by the running launcher, so that its keyword monitor
// follows at once; nothing when no launcher runs.
std::optional<int> inLauncher(const QString& action, const QUrlQuery& query) {
    const InstanceClient client;
    if (!client.isRunning()) return std::nullopt;
    QUrl url(QStringLiteral("vantrel://snippets/") + action);
    url.setQuery(query);
    QString error;
    const auto reply = client.send({QStringLiteral("open"), url.toString(QUrl::FullyEncoded)}, 15000, &error);
    if (!reply) return fail(QStringLiteral("the running launcher did not answer (%1)").arg(error));
    if (!reply->ok) return fail(reply->message);
    if (!reply->message.isEmpty()) print(reply->message);
    return 0;
}

QJsonObject recordJson(const SnippetRecord& record) {
    return QJsonObject{{QStringLiteral("id"), record.id ? QJsonValue(*record.id) : QJsonValue()},
                       {QStringLiteral("name"), record.name},
                       {QStringLiteral("text"), record.text},
                       {QStringLiteral("keyword"), record.alias ? QJsonValue(*record.alias) : QJsonValue()},
                       {QStringLiteral("category"), SnippetRecord::rawValue(record.category)},
                       {QStringLiteral("isPinned"), record.isPinned}};
}

}  // namespace

ChangeResult applyChange(SnippetsService& service, const QString& action, const QUrlQuery& query) {
    const auto value = [&](const char* key) { return query.queryItemValue(QLatin1String(key), QUrl::FullyDecoded); };
    try {
        if (action == QLatin1String("add")) {
            std::optional<QString> keyword;
            if (query.hasQueryItem(QStringLiteral("keyword"))) keyword = value("keyword");
            const SnippetRecord record = service.create(value("name"), value("text"), keyword);
            return {true, QStringLiteral("Created snippet %1").arg(*record.id)};
        }
        if (action == QLatin1String("remove")) {
            bool ok = false;
            const qint64 id = value("id").toLongLong(&ok);
            if (!ok || !service.remove(id)) return {false, QStringLiteral("Snippet record not found")};
            return {true, QStringLiteral("Removed snippet %1").arg(id)};
        }
        if (action == QLatin1String("import")) {
            const QString path = value("file");
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) return {false, QStringLiteral("%1: %2").arg(path, file.errorString())};
            const auto entries = SnippetsService::parseImport(file.readAll(), path);
            return {true, QStringLiteral("Imported %1 snippets").arg(service.importEntries(entries))};
        }
        if (action == QLatin1String("refresh")) {
            service.changed.publish();
            return {true, QString()};
        }
    } catch (const std::exception& failure) {
        if (action == QLatin1String("import"))
            return {false, QStringLiteral("%1: %2").arg(value("file"), describe(failure))};
        return {false, describe(failure)};
    }
    return {false, QStringLiteral("Unknown snippets action")};
}

int snippetsCommand(SnippetsService& service, const QStringList& arguments) {
    const QString action = arguments.value(0);
    QStringList rest = arguments.mid(1);
    QUrlQuery query;
    if (action == QLatin1String("list")) {
        const bool json = rest.removeAll(QStringLiteral("--json")) > 0;
        if (!rest.isEmpty()) return fail(QString::fromLatin1(kUsage), 2);
        std::vector<SnippetRecord> records;
        try {
            records = service.all();
        } catch (const std::exception& failure) {
            return fail(QStringLiteral("Could not fetch snippet records: ") + describe(failure));
        }
        if (json) {
            QJsonArray array;
            for (const SnippetRecord& record : records) array.append(recordJson(record));
            std::fputs(QJsonDocument(array).toJson(QJsonDocument::Indented).constData(), stdout);
            return 0;
        }
        for (const SnippetRecord& record : records) {
            QString text = record.text.simplified();
            if (text.size() > 50) text = text.left(49) + QStringLiteral("…");
            print(QStringLiteral("%1  %2%3  %4  %5")
                      .arg(*record.id, 6)
                      .arg(record.isPinned ? QStringLiteral("📌 ") : QString())
                      .arg(record.name, -20)
                      .arg(record.alias.value_or(QString()), -12)
                      .arg(text));
        }
        return 0;
    }
    if (action == QLatin1String("export")) {
        if (rest.size() > 1) return fail(QString::fromLatin1(kUsage), 2);
        QByteArray json;
        try {
            json = service.exportJson();
        } catch (const std::exception& failure) {
            return fail(QStringLiteral("Could not fetch snippet records: ") + describe(failure));
        }
        if (rest.isEmpty()) {
            std::fputs(json.constData(), stdout);
            return 0;
        }
        QFile file(rest.first());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(json) != json.size())
            return fail(QStringLiteral("%1: %2").arg(rest.first(), file.errorString()));
        print(QStringLiteral("Exported %1 snippets to %2").arg(service.all().size()).arg(rest.first()));
        return 0;
    }
    if (action == QLatin1String("add")) {
        for (qsizetype i = 0; i < rest.size(); ++i) {
            const QString& option = rest.at(i);
            const bool known = option == QLatin1String("--name") || option == QLatin1String("--text") ||
                               option == QLatin1String("--keyword");
            if (!known || i + 1 >= rest.size()) return fail(QString::fromLatin1(kUsage), 2);
            query.addQueryItem(option.mid(2), QString(rest.at(++i)).replace(QLatin1Char('%'), QStringLiteral("%25")));
        }
        if (!query.hasQueryItem(QStringLiteral("name")) || !query.hasQueryItem(QStringLiteral("text")))
            return fail(QString::fromLatin1(kUsage), 2);
    } else if (action == QLatin1String("remove")) {
        if (rest.size() != 1) return fail(QString::fromLatin1(kUsage), 2);
        query.addQueryItem(QStringLiteral("id"), rest.first());
    } else if (action == QLatin1String("import")) {
        if (rest.size() != 1) return fail(QString::fromLatin1(kUsage), 2);
        query.addQueryItem(QStringLiteral("file"), QFileInfo(rest.first()).absoluteFilePath().replace(QLatin1Char('%'), QStringLiteral("%25")));
    } else {
        return fail(QString::fromLatin1(kUsage), 2);
    }
    if (const auto status = inLauncher(action, query)) return *status;
    const ChangeResult result = applyChange(service, action, query);
    if (!result.ok) return fail(result.message);
    print(result.message);
    return 0;
}

}  // namespace vantrel::snippets
