#include "features/quicklinks/QuicklinksSource.h"

#include "features/quicklinks/QuicklinksService.h"
#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/VantrelError.h"

#include <QUrl>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Quicklinks"), QStringLiteral("🔗")});
    return logger;
}

}  // namespace

QuicklinksSource::QuicklinksSource(QuicklinksService& service, NotificationCenter* center)
    : m_service(service),
      m_center(center ? center : &NotificationCenter::defaultCenter()),
      m_subscriptions(std::make_unique<QObject>()) {
    m_center->addObserver(QString(NotificationNames::quicklinksDidChange), m_subscriptions.get(),
                          [this](const Notification&) { rebuild(); });
}

QuicklinksSource::~QuicklinksSource() {
    detach();
}

void QuicklinksSource::detach() {
    m_subscriptions.reset();
    m_loads.end();
}

SearchRecord QuicklinksSource::record(const QuicklinkRecord& quicklink) {
    SearchRecord record;
    record.key = QuicklinksService::key(quicklink.id.value_or(0));
    record.type = SearchRecord::ContentType::quicklink;
    record.source = SearchRecord::Source::quicklinks;
    record.name = quicklink.name;
    record.category = QStringLiteral("Quicklink");
    record.path = quicklink.urlString;
    // The site's name finds it too ("maps" for www.openstreetmap.org is not
    // guessed; "openstreetmap" is).
    const QUrl url(quicklink.urlString);
    if (!url.host().isEmpty()) {
        QStringList words;
        for (const QString& part : url.host().split(QLatin1Char('.'), Qt::SkipEmptyParts))
            if (part != QLatin1String("www") && part.size() > 3) words << part.toLower();
        if (!words.isEmpty()) record.keywords = SearchRecord::joinKeywords(words);
    }
    return record;
}

std::vector<SearchRecord> QuicklinksSource::records(const std::vector<QuicklinkRecord>& quicklinks) {
    std::vector<SearchRecord> list;
    list.reserve(quicklinks.size());
    for (const QuicklinkRecord& quicklink : quicklinks)
        if (quicklink.id && quicklink.isEnabled) list.push_back(record(quicklink));
    return list;
}

void QuicklinksSource::load(LoadCompletion completion) {
    m_loads.dispatch([this] { return records(m_service.enabledQuicklinks()); }, std::move(completion), log(),
                     "Cannot read quicklinks");
}

void QuicklinksSource::rebuild() {
    std::vector<SearchRecord> list;
    try {
        list = records(m_service.enabledQuicklinks());
    } catch (const std::exception& error) {
        log().error("Cannot read quicklinks", {{QStringLiteral("error"), VantrelError::describe(error)}});
        return;
    }
    DataSourceUpdate update;
    update.records[SearchRecord::Source::quicklinks] = std::move(list);
    update.strategy = SearchUpdateStrategy::source();
    notifyUpdate(update);
    m_center->post(QString(NotificationNames::quicklinksSourceDidChange));
}

}  // namespace vantrel
