#include "search/RecentDocuments.h"

#include "kit/Logger.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QUrl>
#include <QXmlStreamReader>

#include <algorithm>
#include <functional>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("FileSearch"), QStringLiteral("📄")});
    return logger;
}

QDateTime parseTime(QStringView text) {
    if (text.isEmpty()) return {};
    QDateTime time = QDateTime::fromString(text.toString(), Qt::ISODateWithMs);
    return time.isValid() ? time.toUTC() : QDateTime();
}

}  // namespace

namespace RecentDocuments {

QString defaultFile() {
    const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    const QString base = !dataHome.isEmpty() && QDir::isAbsolutePath(dataHome)
                             ? QDir::cleanPath(dataHome)
                             : QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/recently-used.xbel");
}

std::vector<RecentDocument> read(const QString& file) {
    QFile input(file);
    if (!input.exists()) return {};
    if (!input.open(QIODevice::ReadOnly)) {
        log().warning(QStringLiteral("Could not open recently used documents: ") + file,
                      {{"error", input.errorString()}});
        return {};
    }

    std::vector<RecentDocument> documents;
    QHash<QString, size_t> byPath;
    QXmlStreamReader xml(&input);
    const bool sawRoot = xml.readNextStartElement() && xml.name() == QLatin1String("xbel");
    // Bookmarks may sit in nested folders; everything else is skipped.
    std::function<void()> readChildren = [&] {
        while (xml.readNextStartElement()) {
            if (xml.name() == QLatin1String("folder")) {
                readChildren();
                continue;
            }
            if (xml.name() != QLatin1String("bookmark")) {
                xml.skipCurrentElement();
                continue;
            }
            const QXmlStreamAttributes attributes = xml.attributes();
            xml.skipCurrentElement();
            const QUrl url(attributes.value(QLatin1String("href")).toString());
            if (!url.isValid() || !url.isLocalFile()) continue;
            const QString path = QDir::cleanPath(url.toLocalFile());
            if (path.isEmpty()) continue;
            QDateTime used = std::max(parseTime(attributes.value(QLatin1String("modified"))),
                                      parseTime(attributes.value(QLatin1String("visited"))));
            if (!used.isValid()) used = parseTime(attributes.value(QLatin1String("added")));
            if (const auto known = byPath.constFind(path); known != byPath.constEnd()) {
                documents[*known].lastUsedAt = std::max(documents[*known].lastUsedAt, used);
                continue;
            }
            byPath.insert(path, documents.size());
            documents.push_back({path, used});
        }
    };
    if (sawRoot) {
        readChildren();
        while (!xml.atEnd()) xml.readNext();  // anything malformed after the root still counts
    }
    if (!sawRoot || xml.hasError()) {
        log().error(QStringLiteral("Could not read recently used documents: ") + file,
                    {{"error", xml.hasError() ? xml.errorString() : QStringLiteral("no xbel element")},
                     {"line", QString::number(xml.lineNumber())}});
        return {};
    }
    std::stable_sort(documents.begin(), documents.end(),
                     [](const RecentDocument& a, const RecentDocument& b) { return a.lastUsedAt > b.lastUsedAt; });
    return documents;
}

}  // namespace RecentDocuments

}  // namespace vantrel
