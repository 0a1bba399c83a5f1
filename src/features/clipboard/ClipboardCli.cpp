#include "features/clipboard/ClipboardCli.h"

#include "core/shell/InstanceChannel.h"
#include "features/clipboard/ClipboardHistory.h"
#include "kit/VantrelError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUrlQuery>

#include <cstdio>

namespace vantrel::clipboard {

namespace {

void print(const QString& text) {
    std::fputs((text + QLatin1Char('\n')).toUtf8().constData(), stdout);
}

int fail(const QString& message, int status = 1) {
    std::fprintf(stderr, "vantrel: %s\n", message.toUtf8().constData());
    return status;
}

QString date(const QDateTime& moment) {
    return moment.toUTC().toString(Qt::ISODateWithMs);
}

const char* const kUsage =
    "usage: vantrel clipboard list [--json] [--category text|image|file|link|color] [--limit N]\n"
    "       vantrel clipboard copy ID | paste ID | pin ID | unpin ID | delete ID|--all";

std::optional<qint64> parseId(const QString& text) {
    bool ok = false;
    const qint64 id = text.toLongLong(&ok);
    if (!ok || id <= 0) return std::nullopt;
    return id;
}

// Asks the running launcher to act on a record; nothing when none runs.
std::optional<int> inLauncher(const QString& action, const std::optional<qint64>& id) {
    const InstanceClient client;
    if (!client.isRunning()) return std::nullopt;
    QUrl url(QStringLiteral("vantrel://clipboard/") + action);
    if (id) url.setQuery(QStringLiteral("id=%1").arg(*id));
    QString error;
    const auto reply = client.send({QStringLiteral("open"), url.toString()}, 10000, &error);
    if (!reply) return fail(QStringLiteral("the running launcher did not answer (%1)").arg(error));
    if (!reply->ok) return fail(reply->message);
    if (!reply->message.isEmpty()) print(reply->message);
    return 0;
}

// What `list` asks for.
struct ListQuery {
    bool json = false;
    std::optional<ClipboardRecord::Category> category;
    int limit = -1;
};

// The records of a query as the command line prints them; nothing when the
// history cannot be read (the reason in `error`).
std::optional<QString> listText(ClipboardHistory& history, const ListQuery& query, QString* error) {
    std::vector<ClipboardRecord> records;
    try {
        records = history.findItems(QString(), query.category, query.limit);
    } catch (const std::exception& failure) {
        if (error)
            *error = QStringLiteral("Could not read the Clipboard history.") + QStringLiteral(" ") +
                     VantrelError::describe(failure);
        return std::nullopt;
    }
    if (query.json) {
        QJsonArray array;
        for (const ClipboardRecord& record : records) array.append(recordJson(record));
        return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
    }
    QString text;
    for (const ClipboardRecord& record : records) {
        QString line = record.text.simplified();
        if (line.size() > 60) line = line.left(59) + QStringLiteral("…");
        text += QStringLiteral("%1  %2 %3  %4%5\n")
                    .arg(*record.id, 6)
                    .arg(ClipboardRecord::rawValue(record.category), -6)
                    .arg(QStringLiteral("×%1").arg(record.copyCount), -5)
                    .arg(record.isPinned ? QStringLiteral("📌 ") : QString(), line);
    }
    return text;
}

QUrlQuery encode(const ListQuery& query) {
    QUrlQuery encoded;
    if (query.json) encoded.addQueryItem(QStringLiteral("json"), QStringLiteral("1"));
    if (query.category) encoded.addQueryItem(QStringLiteral("category"), ClipboardRecord::rawValue(*query.category));
    if (query.limit >= 0) encoded.addQueryItem(QStringLiteral("limit"), QString::number(query.limit));
    return encoded;
}

ListQuery decode(const QUrlQuery& encoded) {
    ListQuery query;
    query.json = encoded.queryItemValue(QStringLiteral("json")) == QLatin1String("1");
    if (encoded.hasQueryItem(QStringLiteral("category")))
        query.category = ClipboardRecord::categoryFromRaw(encoded.queryItemValue(QStringLiteral("category")));
    bool ok = false;
    const int limit = encoded.queryItemValue(QStringLiteral("limit")).toInt(&ok);
    if (ok) query.limit = limit;
    return query;
}

int list(ClipboardHistory& history, QStringList arguments) {
    ListQuery query;
    query.json = arguments.removeAll(QStringLiteral("--json")) > 0;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--category") && i + 1 < arguments.size()) {
            query.category = ClipboardRecord::categoryFromRaw(arguments.at(++i));
            if (!query.category)
                return fail(QStringLiteral("--category takes text, image, file, link or color"), 2);
        } else if (argument == QLatin1String("--limit") && i + 1 < arguments.size()) {
            bool ok = false;
            query.limit = arguments.at(++i).toInt(&ok);
            if (!ok || query.limit < 0) return fail(QStringLiteral("--limit takes a whole number"), 2);
        } else {
            return fail(QString::fromLatin1(kUsage), 2);
        }
    }
    // The running launcher owns the history; ask it first, so what is listed
    // is what it holds. A list too long for its answer is read here instead.
    const InstanceClient client;
    if (client.isRunning()) {
        QUrl url(QStringLiteral("vantrel://clipboard/list"));
        url.setQuery(encode(query));
        const auto reply = client.send({QStringLiteral("open"), url.toString()}, 10000);
        if (reply && !reply->ok) return fail(reply->message);
        if (reply) {
            std::fputs(reply->message.toUtf8().constData(), stdout);
            return 0;
        }
    }
    QString error;
    const std::optional<QString> text = listText(history, query, &error);
    if (!text) return fail(error);
    std::fputs(text->toUtf8().constData(), stdout);
    return 0;
}

}  // namespace

QJsonObject recordJson(const ClipboardRecord& record) {
    QJsonObject object{{QStringLiteral("id"), record.id ? QJsonValue(*record.id) : QJsonValue()},
                       {QStringLiteral("text"), record.text},
                       {QStringLiteral("category"), ClipboardRecord::rawValue(record.category)},
                       {QStringLiteral("copyCount"), qint64(record.copyCount)},
                       {QStringLiteral("createdAt"), date(record.createdAt)},
                       {QStringLiteral("lastModifiedAt"), date(record.lastModifiedAt)},
                       {QStringLiteral("isPinned"), record.isPinned},
                       {QStringLiteral("filePath"), record.filePath ? QJsonValue(*record.filePath) : QJsonValue()},
                       {QStringLiteral("imageHash"), record.imageHash ? QJsonValue(*record.imageHash) : QJsonValue()}};
    return object;
}

CommandOutcome listRoute(ClipboardHistory& history, const QUrl& url) {
    QString error;
    const std::optional<QString> text = listText(history, decode(QUrlQuery(url)), &error);
    if (!text) return CommandOutcome::failed(error, {});
    return CommandOutcome::done({}, *text);
}

int clipboardCommand(ClipboardHistory& history, const QStringList& arguments) {
    const QString action = arguments.value(0);
    const QStringList rest = arguments.mid(1);
    if (action == QLatin1String("list")) return list(history, rest);
    if (action == QLatin1String("delete") && rest == QStringList{QStringLiteral("--all")}) {
        if (const auto status = inLauncher(QStringLiteral("delete-all"), std::nullopt)) return *status;
        print(QStringLiteral("Deleted %1 entries").arg(history.deleteAll()));
        return 0;
    }
    const QStringList actions{QStringLiteral("copy"), QStringLiteral("paste"), QStringLiteral("pin"),
                              QStringLiteral("unpin"), QStringLiteral("delete")};
    if (!actions.contains(action) || rest.size() != 1) return fail(QString::fromLatin1(kUsage), 2);
    const std::optional<qint64> id = parseId(rest.first());
    if (!id) return fail(QStringLiteral("'%1' is not a clipboard entry id").arg(rest.first()), 2);
    if (const auto status = inLauncher(action, id)) return *status;

    // No launcher: what the database alone can do.
    if (action == QLatin1String("copy") || action == QLatin1String("paste"))
        return fail(QStringLiteral("%1 needs the running launcher, which holds the clipboard "
                                   "(start it with `vantrel --background`)")
                        .arg(action));
    if (!history.record(*id)) return fail(QStringLiteral("Clipboard record not found"));
    if (action == QLatin1String("delete")) {
        history.deleteRecord(*id);
        print(QStringLiteral("Deleted entry"));
        return 0;
    }
    try {
        history.pin(*id, action == QLatin1String("pin"));
    } catch (const std::exception& failure) {
        return fail(VantrelError::describe(failure));
    }
    print(action == QLatin1String("pin") ? QStringLiteral("Pinned entry") : QStringLiteral("Unpinned entry"));
    return 0;
}

}  // namespace vantrel::clipboard
