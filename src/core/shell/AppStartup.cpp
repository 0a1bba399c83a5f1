#include "core/shell/AppStartup.h"

#include "kit/KeyCombination.h"
#include "kit/Logger.h"
#include "kit/Paths.h"
#include "kit/Settings.h"
#include "kit/UserDefaults.h"

#include <QDir>
#include <QFile>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Startup"), QStringLiteral("🚀")});
    return logger;
}

bool isValidKey(const QString& key) {
    if (key.isEmpty()) return false;
    for (const QChar c : key)
        if (!(c.isLetterOrNumber() || c == QLatin1Char('_')) || c.unicode() > 127) return false;
    return !key.front().isDigit();
}

// Removes one pair of matching quotes around a value.
QString unquoted(const QString& value) {
    if (value.size() >= 2 && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
        value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

}  // namespace

// MARK: Environment

const QStringList& Environment::keys() {
    static const QStringList names{
        QStringLiteral("VANTREL_API_TOKEN"),        QStringLiteral("CRASH_REPORTER_DSN"),
        QStringLiteral("SEGMENT_WRITE_KEY"),        QStringLiteral("JIRA_CLIENT_ID"),
        QStringLiteral("JIRA_CLIENT_SECRET"),       QStringLiteral("GITHUB_CLIENT_ID"),
        QStringLiteral("GITHUB_CLIENT_SECRET"),     QStringLiteral("ASANA_CLIENT_ID"),
        QStringLiteral("ASANA_CLIENT_SECRET"),      QStringLiteral("GSUITE_CLIENT_ID"),
        QStringLiteral("GSUITE_CLIENT_SECRET"),     QStringLiteral("LINEAR_CLIENT_ID"),
        QStringLiteral("LINEAR_CLIENT_SECRET"),     QStringLiteral("ZOOM_CLIENT_ID"),
        QStringLiteral("ZOOM_CLIENT_SECRET"),       QStringLiteral("NOMICS_API_TOKEN"),
        QStringLiteral("CURRENCY_LAYER_API_TOKEN"),
    };
    return names;
}

QString Environment::filePath() {
    return QDir(Paths::configDir()).filePath(QStringLiteral("environment"));
}

QString* Environment::field(const QString& key) {
    QString* fields[] = {
        &VANTREL_API_TOKEN,        &CRASH_REPORTER_DSN, &SEGMENT_WRITE_KEY,    &JIRA_CLIENT_ID,
        &JIRA_CLIENT_SECRET,       &GITHUB_CLIENT_ID,   &GITHUB_CLIENT_SECRET, &ASANA_CLIENT_ID,
        &ASANA_CLIENT_SECRET,      &GSUITE_CLIENT_ID,   &GSUITE_CLIENT_SECRET, &LINEAR_CLIENT_ID,
        &LINEAR_CLIENT_SECRET,     &ZOOM_CLIENT_ID,     &ZOOM_CLIENT_SECRET,   &NOMICS_API_TOKEN,
        &CURRENCY_LAYER_API_TOKEN,
    };
    const qsizetype at = keys().indexOf(key);
    if (at < 0) return nullptr;
    return fields[at];
}

std::optional<QString> Environment::value(const QString& key) const {
    if (const QString* found = const_cast<Environment*>(this)->field(key)) return *found;
    return std::nullopt;
}

bool Environment::setValue(const QString& key, const QString& newValue) {
    QString* found = field(key);
    if (!found) return false;
    *found = newValue;
    return true;
}

QStringList Environment::configuredKeys() const {
    QStringList configured;
    for (const QString& key : keys())
        if (!value(key).value_or(QString()).isEmpty()) configured << key;
    return configured;
}

Environment Environment::load(const QProcessEnvironment& environment, const QString& path) {
    Environment result;
    QFile file(path);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly)) {
            result.fileProblems.push_back({0, QStringLiteral("cannot be read: ") + file.errorString()});
        } else if (file.size() > 1024 * 1024) {
            result.fileProblems.push_back({0, QStringLiteral("is larger than 1 MiB")});
        } else {
            const QByteArray bytes = file.readAll();
            const QString text = QString::fromUtf8(bytes);
            if (text.toUtf8() != bytes) {
                result.fileProblems.push_back({0, QStringLiteral("is not UTF-8 text")});
            } else {
                const QStringList lines = text.split(QLatin1Char('\n'));
                for (int number = 1; number <= lines.size(); ++number) {
                    QString line = lines.at(number - 1).trimmed();
                    if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
                    if (line.startsWith(QLatin1String("export "))) line = line.mid(7).trimmed();
                    const qsizetype equals = line.indexOf(QLatin1Char('='));
                    if (equals <= 0) {
                        result.fileProblems.push_back({number, QStringLiteral("expected KEY=VALUE")});
                        continue;
                    }
                    const QString key = line.left(equals).trimmed();
                    if (!isValidKey(key)) {
                        result.fileProblems.push_back({number, QStringLiteral("'%1' is not a variable name").arg(key)});
                        continue;
                    }
                    if (!result.setValue(key, unquoted(line.mid(equals + 1).trimmed())))
                        result.fileProblems.push_back({number, QStringLiteral("unknown key '%1'").arg(key)});
                }
            }
        }
    }
    for (const QString& key : keys())
        if (environment.contains(key)) result.setValue(key, environment.value(key));
    return result;
}

Environment Environment::current() {
    Environment environment = load(QProcessEnvironment::systemEnvironment(), filePath());
    for (const FileProblem& problem : environment.fileProblems)
        log().warning(QStringLiteral("Skipped a line of the environment file: ") + problem.reason,
                      {{QStringLiteral("path"), filePath()}, {QStringLiteral("line"), QString::number(problem.line)}});
    return environment;
}

void Environment::configure() const {
    const QStringList configured = configuredKeys();
    log().info("Applied environment",
               {{QStringLiteral("configured"), configured.isEmpty() ? QStringLiteral("none") : configured.join(u',')}});
    if (!CRASH_REPORTER_DSN.isEmpty() || !SEGMENT_WRITE_KEY.isEmpty())
        log().info("Crash reporting and analytics are not part of this build; their keys are unused");
}

// MARK: LaunchArguments

LaunchArguments LaunchArguments::parse(const QStringList& arguments) {
    LaunchArguments parsed;
    parsed.launchedAtLogin = arguments.contains(QStringLiteral("VANTREL_LAUNCHER"));
    parsed.automaticUpdate = arguments.contains(QStringLiteral("AUTOMATIC_UPDATE"));
    parsed.updatedVersion = arguments.contains(QStringLiteral("UPDATED_VERSION"));
    parsed.dataSourceChanged = arguments.contains(QStringLiteral("DATA_SOURCE_CHANGED"));
    return parsed;
}

// MARK: AppStartup

QString AppStartup::defaultGlobalHotkey() {
    const KeyCombination altSpace{ModifierKeys::option, KeyEquivalent(U' ')};
    if (const auto stored = altSpace.persistentString()) return *stored;
    log().error("Unexpected missing value", {{QStringLiteral("key"), QString(globalHotkeyKey)}});
    return QStringLiteral("Option-49");
}

AppStartup::AppStartup(UserDefaults& defaults)
    : m_defaults(defaults), m_firstLaunch(!defaults.contains(QString(appInstallationDateKey))) {}

void AppStartup::registerDefaults() {
    const auto registerDefault = [this](QLatin1String key, const QVariant& value) {
        if (!m_defaults.contains(QString(key))) m_defaults.setValue(QString(key), value);
    };
    registerDefault(globalHotkeyKey, defaultGlobalHotkey());
    registerDefault(popToRootTimeoutKey, defaultPopToRootTimeout);
    registerDefault(windowPresentationModeKey, 0);
}

bool AppStartup::runOnboardingMigration() {
    const UserDefaultsValue<bool> performed(QString(didPerformCheckForPreOnboardingClientsKey), false, &m_defaults);
    if (performed.value()) return false;
    bool skipped = false;
    if (!m_firstLaunch) {
        log().info("It's not first launch of the client. Skipping onboarding and enabling Jira by default");
        UserDefaultsValue<bool>(QString(onboardingSkippedKey), false, &m_defaults).setValue(true);
        skipped = true;
    }
    performed.setValue(true);
    return skipped;
}

bool AppStartup::shouldShowOnboarding(const LaunchArguments& arguments) {
    if (!arguments.isInteractiveLaunch()) return false;
    const bool completed = UserDefaultsValue<bool>(QString(onboardingCompletedKey), false, &m_defaults).value();
    const bool skipped = UserDefaultsValue<bool>(QString(onboardingSkippedKey), false, &m_defaults).value();
    if (completed || skipped) return false;
    UserDefaultsValue<bool>(QString(showGettingStartedLinkKey), false, &m_defaults).setValue(true);
    return true;
}

void AppStartup::recordInstallHistory(const QString& version, const LaunchArguments& arguments, const QDateTime& now) {
    const UserDefaultsValue<QString> firstVersion(QString(firstKnownAppVersionKey), QString(), &m_defaults);
    const UserDefaultsValue<std::optional<QDateTime>> installed(QString(appInstallationDateKey), std::nullopt,
                                                                &m_defaults);
    if (firstVersion.value().isEmpty()) firstVersion.setValue(version);
    if (!installed.value()) installed.setValue(now);
    log().info(QStringLiteral("First known app version: ") + firstVersion.value());
    log().info(QStringLiteral("App installation date: ") + installed.value()->toString(Qt::ISODateWithMs));
    if (arguments.updatedVersion) {
        UserDefaultsValue<std::optional<QDateTime>>(QString(lastUpdateDateKey), std::nullopt, &m_defaults)
            .setValue(now);
        log().info("App updated", {{QStringLiteral("isAutomaticUpdate"),
                                    arguments.automaticUpdate ? QStringLiteral("True") : QStringLiteral("False")}});
    }
}

std::optional<int> AppStartup::popToRootTimeoutSeconds() const {
    const int seconds =
        UserDefaultsValue<int>(QString(popToRootTimeoutKey), defaultPopToRootTimeout, &m_defaults).value();
    if (seconds == 0) return std::nullopt;
    return seconds > 0 ? seconds : defaultPopToRootTimeout;
}

}  // namespace vantrel
