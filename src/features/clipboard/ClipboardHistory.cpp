#include "features/clipboard/ClipboardHistory.h"

#include "core/commands/PackageRegistry.h"
#include "kit/Digest.h"
#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/VantrelError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("ClipboardHistory"), QStringLiteral("📋")});
    return logger;
}

QString categoryTitle(ClipboardRecord::Category category) {
    return ClipboardRecord::rawValue(category);
}

}  // namespace

ClipboardHistory::ClipboardHistory(Options options) : m_options(std::move(options)) {
    log().debug("Clipboard history created");
}

ClipboardHistory::~ClipboardHistory() {
    stop();
    m_subscriptions.reset();
    log().debug("Clipboard history released");
}

// MARK: - Watching

bool ClipboardHistory::isEnabled() const {
    if (!m_options.registry) return true;
    return m_options.registry->isEnabled(CommandIdentifier(QString(commandId)), PackageIdentifier(QString(packageId)));
}

void ClipboardHistory::start() {
    if (m_started) return;
    m_started = true;
    if (m_options.center) {
        m_subscriptions = std::make_unique<QObject>();
        m_options.center->addObserver(QString(NotificationNames::packageConfigurationDidChange), m_subscriptions.get(),
                                      [this](const Notification& notification) {
                                          const QString id = notification.object.toString();
                                          if (id.isEmpty() || id == packageId ||
                                              id == PackageRegistry::configurationId(PackageIdentifier(QString(packageId))))
                                              followSwitch();
                                      });
    }
    followSwitch();
}

void ClipboardHistory::followSwitch() {
    SystemClipboard* clipboard = m_options.clipboard.get();
    if (!clipboard) return;
    if (!m_started || !isEnabled()) {
        if (clipboard->isWatching()) {
            clipboard->stop();
            log().info("Clipboard history stopped");
        }
        return;
    }
    const bool primary =
        m_options.registry &&
        m_options.registry->boolValue(PackageIdentifier(QString(packageId)), QString(primarySelectionKey)).value_or(false);
    clipboard->setWatchesPrimary(primary);
    if (clipboard->isWatching()) return;
    QString reason;
    if (!clipboard->isAvailable(&reason)) {
        log().warning(reason);
        return;
    }
    SystemClipboard::Handlers handlers;
    const ClipboardLimits limits = m_options.limits;
    handlers.choose = [limits](const QStringList& types, SystemClipboard::Selection) {
        return ClipboardClassifier::fetches(types, limits);
    };
    handlers.changed = [this](const ClipboardSnapshot& snapshot) { clipboardChanged(snapshot); };
    handlers.ownerGone = [this](SystemClipboard::Selection selection) { clipboardOwnerGone(selection); };
    clipboard->start(std::move(handlers));
    log().info("Clipboard history started");
}

void ClipboardHistory::stop() {
    if (m_options.clipboard && m_options.clipboard->isWatching()) m_options.clipboard->stop();
    m_started = false;
}

bool ClipboardHistory::isWatching() const {
    return m_options.clipboard && m_options.clipboard->isWatching();
}

// MARK: - Recording

const QStringList& ClipboardHistory::passwordManagers() {
    static const QStringList classes{
        QStringLiteral("keepassxc"),     QStringLiteral("keepass2"),       QStringLiteral("keepass"),
        QStringLiteral("bitwarden"),     QStringLiteral("1password"),      QStringLiteral("enpass"),
        QStringLiteral("lastpass"),      QStringLiteral("dashlane"),       QStringLiteral("nordpass"),
        QStringLiteral("proton pass"),   QStringLiteral("keeper"),         QStringLiteral("seahorse"),
        QStringLiteral("gnome-passwordsafe"), QStringLiteral("secrets"),   QStringLiteral("org.gnome.world.secrets"),
        QStringLiteral("kwalletmanager5"), QStringLiteral("kwalletmanager"), QStringLiteral("qtpass"),
        QStringLiteral("gopass"),        QStringLiteral("passwordsafe"),   QStringLiteral("pwsafe"),
        QStringLiteral("buttercup"),     QStringLiteral("padloc"),         QStringLiteral("authenticator"),
    };
    return classes;
}

bool ClipboardHistory::isIgnoredApplication(const ForeignApplication& application) const {
    QStringList names{application.instanceName.toLower(), application.className.toLower()};
    if (!application.executable.isEmpty()) names << QFileInfo(application.executable).fileName().toLower();
    names.removeAll(QString());
    QStringList ignored = passwordManagers();
    if (m_options.registry) {
        const PackageIdentifier id{QString(packageId)};
        const QStringList own =
            m_options.registry->stringListValue(id, QString(ignoredApplicationsKey)).value_or(QStringList());
        for (const QString& name : own)
            if (!name.trimmed().isEmpty()) ignored << name.trimmed().toLower();
    }
    for (const QString& name : names)
        if (ignored.contains(name)) return true;
    return false;
}

void ClipboardHistory::clipboardChanged(const ClipboardSnapshot& snapshot) {
    if (snapshot.application && isIgnoredApplication(*snapshot.application)) {
        log().info("Ignored a copy made in an ignored application",
                   {{QStringLiteral("application"), snapshot.application->className}});
        return;
    }
    const ClipboardClassification classified = ClipboardClassifier::classify(snapshot, m_options.limits);
    using Outcome = ClipboardClassification::Outcome;
    switch (classified.outcome) {
        case Outcome::nothing:
            return;
        case Outcome::ignored:
            log().info(QStringLiteral("Ignored a copy: ") + classified.reason);
            return;
        case Outcome::rejected:
            log().warning(QStringLiteral("Rejected a copy: ") + classified.reason);
            return;
        case Outcome::textTooLong:
            log().info("Did not copy entry to clipboard history",
                       {{QStringLiteral("limit"), QString::number(m_options.limits.contentLengthLimit)},
                        {QStringLiteral("length"), QString::number(classified.size)}});
            return;
        case Outcome::imageTooLarge:
            log().info("Did not copy image to clipboard history",
                       {{QStringLiteral("limit"), QString::number(m_options.limits.imageDataSizeLimit)},
                        {QStringLiteral("size"), QString::number(classified.size)}});
            return;
        case Outcome::content:
            break;
    }
    std::optional<QString> applicationPath;
    if (snapshot.application) {
        applicationPath = !snapshot.application->executable.isEmpty() ? snapshot.application->executable
                                                                       : snapshot.application->className;
        if (applicationPath->isEmpty()) applicationPath.reset();
    }
    if (!add(*classified.content, applicationPath)) return;
    if (!snapshot.primary) m_lastRecorded = Recorded{snapshot.changeCount, ClipboardClassifier::formatsFor(*classified.content)};
}

void ClipboardHistory::clipboardOwnerGone(SystemClipboard::Selection selection) {
    if (selection != SystemClipboard::Selection::clipboard || !m_options.clipboard) return;
    // Only the content of the owner that went: one change before this one.
    if (!m_lastRecorded || m_lastRecorded->changeCount + 1 != m_options.clipboard->changeCount()) return;
    if (m_options.clipboard->write(m_lastRecorded->formats))
        log().info("Kept the clipboard content of an application that quit");
}

bool ClipboardHistory::validate(const ClipboardContent& content) const {
    if (content.kind == ClipboardContent::Kind::image) {
        if (qint64(content.imageData.size()) > m_options.limits.imageDataSizeLimit) {
            log().info("Did not copy image to clipboard history",
                       {{QStringLiteral("limit"), QString::number(m_options.limits.imageDataSizeLimit)}});
            return false;
        }
        return true;
    }
    if (qint64(content.text.size()) > m_options.limits.contentLengthLimit) {
        log().info("Did not copy entry to clipboard history",
                   {{QStringLiteral("limit"), QString::number(m_options.limits.contentLengthLimit)}});
        return false;
    }
    return true;
}

std::optional<ClipboardRecord> ClipboardHistory::add(const ClipboardContent& content,
                                                     const std::optional<QString>& applicationPath) {
    if (!validate(content)) return std::nullopt;
    std::optional<QString> imageHash;
    std::optional<QString> filePath;
    if (content.kind == ClipboardContent::Kind::image) {
        imageHash = sha256Hex(content.imageData);
        const QString path = imagePath(*imageHash);
        if (!QFileInfo::exists(path)) {
            if (!QDir().mkpath(m_options.imageDirectory)) {
                log().error("Cannot create directory for clipboard history");
                return std::nullopt;
            }
            QSaveFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(content.imageData) != content.imageData.size() ||
                !file.commit()) {
                log().error("Could not update or create clipboard item", {{QStringLiteral("error"), file.errorString()}});
                return std::nullopt;
            }
        }
    }
    if (content.kind == ClipboardContent::Kind::file) filePath = content.filePath;
    std::optional<ClipboardRecord> stored;
    try {
        stored = m_options.repository->updateOrCreateRecord(content.kind, content.text, content.richText, filePath,
                                                            imageHash, applicationPath);
    } catch (const std::exception& failure) {
        log().error("Could not update or create clipboard item",
                    {{QStringLiteral("error"), VantrelError::describe(failure)}});
        return std::nullopt;
    }
    log().info("Added clipboard history entry",
               {{QStringLiteral("title"), Logger::MetadataValue::privateValue(content.text.left(80))},
                {QStringLiteral("type"), categoryTitle(content.kind)}});
    applyRetention();
    didChange();
    return stored;
}

void ClipboardHistory::applyRetention() {
    const int days = [this] {
        switch (historyLength()) {
            case ClipboardHistoryLength::day:
                return 1;
            case ClipboardHistoryLength::week:
                return 7;
            case ClipboardHistoryLength::month:
                return 30;
        }
        return 7;
    }();
    try {
        const QDateTime limit = QDateTime::currentDateTime().addDays(-days).toUTC();
        deleteImages(m_options.repository->deleteRecords(limit));
    } catch (const std::exception& failure) {
        log().error("Failed to delete records that are older than limit",
                    {{QStringLiteral("error"), VantrelError::describe(failure)}});
    }
    try {
        if (m_options.repository->count() > m_options.limits.limit)
            deleteImages(m_options.repository->deleteRecordsBeyond(m_options.limits.limit));
    } catch (const std::exception& failure) {
        log().error("Failed to delete records beyond the limit", {{QStringLiteral("error"), VantrelError::describe(failure)}});
    }
}

void ClipboardHistory::deleteImages(const std::vector<ClipboardRecord>& records) {
    for (const ClipboardRecord& record : records)
        if (record.imageHash && !record.imageHash->isEmpty()) QFile::remove(imagePath(*record.imageHash));
}

void ClipboardHistory::didChange() {
    if (m_options.center) m_options.center->post(QString(NotificationNames::didChangeClipboardHistory));
}

// MARK: - Reading and changing

std::vector<ClipboardRecord> ClipboardHistory::findItems(const QString& text,
                                                         std::optional<ClipboardRecord::Category> category,
                                                         int limit) const {
    try {
        return m_options.repository->findRecords(text, category, limit);
    } catch (const std::exception& failure) {
        log().error("Find records for clipboard history", {{QStringLiteral("error"), VantrelError::describe(failure)}});
        throw;
    }
}

std::optional<ClipboardRecord> ClipboardHistory::record(qint64 id) const {
    return m_options.repository->record(id);
}

ClipboardRecord ClipboardHistory::pin(qint64 id, bool isPinned) {
    ClipboardRecord record = m_options.repository->pinRecord(id, isPinned);
    didChange();
    return record;
}

bool ClipboardHistory::deleteRecord(qint64 id) {
    const std::optional<ClipboardRecord> found = m_options.repository->record(id);
    if (!found) return false;
    const bool deleted = m_options.repository->deleteRecord(id);
    if (deleted) {
        deleteImages({*found});
        didChange();
    }
    return deleted;
}

qsizetype ClipboardHistory::deleteAll() {
    const std::vector<ClipboardRecord> removed = m_options.repository->deleteAll();
    deleteImages(removed);
    m_lastRecorded.reset();
    didChange();
    return qsizetype(removed.size());
}

QString ClipboardHistory::imagePath(const QString& imageHash) const {
    return QDir(m_options.imageDirectory).filePath(imageHash + QStringLiteral(".png"));
}

bool ClipboardHistory::writeToClipboard(const ClipboardRecord& record, bool formatted) {
    if (!m_options.clipboard) return false;
    const QString image = record.imageHash ? imagePath(*record.imageHash) : QString();
    return m_options.clipboard->write(ClipboardClassifier::formatsFor(record, image, formatted));
}

// MARK: - Settings

QString ClipboardHistory::rawValue(ClipboardHistoryLength length) {
    switch (length) {
        case ClipboardHistoryLength::day:
            return QStringLiteral("day");
        case ClipboardHistoryLength::week:
            return QStringLiteral("week");
        case ClipboardHistoryLength::month:
            return QStringLiteral("month");
    }
    return QStringLiteral("week");
}

QString ClipboardHistory::label(ClipboardHistoryLength length) {
    switch (length) {
        case ClipboardHistoryLength::day:
            return QStringLiteral("24 Hours");
        case ClipboardHistoryLength::week:
            return QStringLiteral("7 Days");
        case ClipboardHistoryLength::month:
            return QStringLiteral("30 Days");
    }
    return QStringLiteral("7 Days");
}

ClipboardHistoryLength ClipboardHistory::lengthFromRaw(const QString& raw) {
    if (raw == QLatin1String("day")) return ClipboardHistoryLength::day;
    if (raw == QLatin1String("month")) return ClipboardHistoryLength::month;
    return ClipboardHistoryLength::week;
}

ClipboardHistoryLength ClipboardHistory::historyLength() const {
    if (!m_options.registry) return ClipboardHistoryLength::week;
    return lengthFromRaw(m_options.registry->stringValue(PackageIdentifier(QString(packageId)), QString(historyLengthKey))
                             .value_or(QString()));
}

QString ClipboardHistory::pasteMode() const {
    const QString mode =
        m_options.registry
            ? m_options.registry->stringValue(PackageIdentifier(QString(packageId)), QString(pasteModeKey)).value_or(QString())
            : QString();
    return mode == QLatin1String("copy") ? mode : QStringLiteral("paste");
}

bool ClipboardHistory::directPaste() const {
    if (!m_options.registry) return true;
    return m_options.registry->boolValue(PackageIdentifier(QString(packageId)), QString(directPasteKey)).value_or(true);
}

}  // namespace vantrel
