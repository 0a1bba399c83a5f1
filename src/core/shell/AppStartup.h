#pragma once

#include <QDateTime>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <vector>

namespace vantrel {

class UserDefaults;

// Something holding deployment configuration that is applied once at start-up.
class ConfigurableEnvironment {
public:
    virtual ~ConfigurableEnvironment() = default;
    // Hands the values to the services that use them.
    virtual void configure() const = 0;
};

// The deployment's service credentials. Every field is read from the process
// environment and from `$XDG_CONFIG_HOME/vantrel/environment` (KEY=VALUE lines,
// '#' comments); a variable set in the process environment wins over the file.
struct Environment : ConfigurableEnvironment {
    QString VANTREL_API_TOKEN;
    QString CRASH_REPORTER_DSN;
    QString SEGMENT_WRITE_KEY;
    QString JIRA_CLIENT_ID;
    QString JIRA_CLIENT_SECRET;
    QString GITHUB_CLIENT_ID;
    QString GITHUB_CLIENT_SECRET;
    QString ASANA_CLIENT_ID;
    QString ASANA_CLIENT_SECRET;
    QString GSUITE_CLIENT_ID;
    QString GSUITE_CLIENT_SECRET;
    QString LINEAR_CLIENT_ID;
    QString LINEAR_CLIENT_SECRET;
    QString ZOOM_CLIENT_ID;
    QString ZOOM_CLIENT_SECRET;
    QString NOMICS_API_TOKEN;
    QString CURRENCY_LAYER_API_TOKEN;

    // A line of the file that could not be read: its number and why.
    struct FileProblem {
        int line = 0;
        QString reason;
    };
    // What the file held that was not used (empty when it was fine or missing).
    std::vector<FileProblem> fileProblems;

    // The field names, in order.
    static const QStringList& keys();
    static QString filePath();  // $XDG_CONFIG_HOME/vantrel/environment

    // The values from `environment` over those of the file at `path` (a missing
    // file is no error). Malformed and unknown lines are skipped and noted.
    static Environment load(const QProcessEnvironment& environment, const QString& path);
    static Environment current();

    // The value of one field by its name; nothing for an unknown name.
    std::optional<QString> value(const QString& key) const;
    bool setValue(const QString& key, const QString& value);
    // The names of the fields that hold a value, in order.
    QStringList configuredKeys() const;

    // Logs which credentials are present (never their values) and which
    // services of this build have nothing to apply them to.
    void configure() const override;

private:
    QString* field(const QString& key);
};

// The arguments a start may carry: "VANTREL_LAUNCHER" (started at login),
// "AUTOMATIC_UPDATE" and "UPDATED_VERSION" (a start right after an update),
// "DATA_SOURCE_CHANGED" (a relaunch after the data sources changed).
struct LaunchArguments {
    bool launchedAtLogin = false;
    bool automaticUpdate = false;
    bool updatedVersion = false;
    bool dataSourceChanged = false;

    static LaunchArguments parse(const QStringList& arguments);
    // Neither the login launcher nor an update started this process.
    bool isInteractiveLaunch() const { return !launchedAtLogin && !automaticUpdate && !updatedVersion; }
};

// The one-time steps of a start that only touch settings: defaults, the
// onboarding migration, the onboarding state and the install history.
class AppStartup {
public:
    static constexpr QLatin1String globalHotkeyKey{"vantrelGlobalHotkey"};
    static constexpr QLatin1String popToRootTimeoutKey{"popToRootTimeout"};
    static constexpr QLatin1String windowPresentationModeKey{"vantrelWindowPresentationMode"};
    static constexpr QLatin1String onboardingCompletedKey{"onboardingCompleted"};
    static constexpr QLatin1String onboardingSkippedKey{"onboardingSkipped"};
    static constexpr QLatin1String didPerformCheckForPreOnboardingClientsKey{"didPerformCheckForPreOnboardingClients"};
    static constexpr QLatin1String showGettingStartedLinkKey{"showGettingStartedLink"};
    static constexpr QLatin1String firstKnownAppVersionKey{"firstKnownAppVersion"};
    static constexpr QLatin1String appInstallationDateKey{"appInstallationDate"};
    static constexpr QLatin1String lastUpdateDateKey{"lastAppUpdateDate"};
    static constexpr int defaultPopToRootTimeout = 90;

    // The stored form of Alt+Space, the main hotkey of a fresh installation.
    static QString defaultGlobalHotkey();

    // Reads whether this is the first launch before anything is written.
    explicit AppStartup(UserDefaults& defaults);

    // Stores the defaults of the launcher's settings that have no value yet.
    void registerDefaults();
    // A launch before onboarding existed skips it, once. Returns whether it did.
    bool runOnboardingMigration();
    // Whether the onboarding would be shown for this launch; sets
    // "showGettingStartedLink" when so.
    bool shouldShowOnboarding(const LaunchArguments& arguments);
    // Notes the first version and the installation date (kept from the first
    // launch on) and logs both; an updated start records the update date.
    void recordInstallHistory(const QString& version, const LaunchArguments& arguments,
                              const QDateTime& now = QDateTime::currentDateTimeUtc());

    bool isFirstLaunch() const { return m_firstLaunch; }
    // "popToRootTimeout" in seconds; nothing when it is 0 ("never"); the
    // default for a value that is no whole number or negative.
    std::optional<int> popToRootTimeoutSeconds() const;

private:
    UserDefaults& m_defaults;
    bool m_firstLaunch;
};

}  // namespace vantrel
