#include "core/commands/BuiltinPackages.h"

#include <initializer_list>

namespace vantrel {

namespace {

using Category = QuickActionIdentifier::Category;
using Visibility = VantrelCommandVisibility;

// Whether running the command shows a view in the launcher window.
enum class Shows { view, action };

struct CommandLine {
    const char* id;
    const char* title;
    Shows shows = Shows::view;
    Visibility visibility = Visibility::public_;
    const char* icon = nullptr;
};

struct FallbackLine {
    const char* id;
    const char* commandId;
    const char* displayName;
    int order = 1;
    FallbackSearchType type = FallbackSearchType::command;
};

class Builder {
public:
    explicit Builder(const PackageRegistry* registry) : m_registry(registry) {}

    void add(BuiltinPackage::Definition definition, std::initializer_list<CommandLine> commands,
             std::initializer_list<FallbackLine> fallbacks = {}) {
        CommandList commandList;
        for (const CommandLine& line : commands) commandList.push_back(command(definition.id, line));
        FallbackList fallbackList;
        for (const FallbackLine& line : fallbacks) {
            BuiltinFallbackSearchCommand::Definition fallback;
            fallback.id = QString::fromUtf8(line.id);
            fallback.packageId = definition.id;
            fallback.commandId = QString::fromUtf8(line.commandId);
            fallback.displayName = QString::fromUtf8(line.displayName);
            fallback.searchType = line.type;
            fallback.fallbackSearchOrder = line.order;
            fallback.icon = definition.icon;
            fallbackList.push_back(std::make_shared<BuiltinFallbackSearchCommand>(std::move(fallback), m_registry));
        }
        m_packages.push_back(
            std::make_shared<BuiltinPackage>(std::move(definition), std::move(commandList), std::move(fallbackList)));
    }

    std::shared_ptr<const VantrelCommand> command(const QString& packageId, const CommandLine& line) const {
        BuiltinCommand::Definition definition;
        definition.id = QString::fromUtf8(line.id);
        definition.packageId = packageId;
        definition.displayName = QString::fromUtf8(line.title);
        definition.visibility = line.visibility;
        definition.isViewControllerRepresented = line.shows == Shows::view;
        static const QStringList urlCommands{QStringLiteral("urlEncode"), QStringLiteral("urlDecode"),
                                             QStringLiteral("openInBrowser"), QStringLiteral("createQuicklinkWithURL")};
        definition.isURLCommand = urlCommands.contains(definition.id);
        // Encoding and decoding work on the text of their one argument field.
        if (definition.id == QLatin1String("urlEncode") || definition.id == QLatin1String("urlDecode"))
            definition.argumentPlaceholder = QStringLiteral("Text");
        if (line.icon) definition.icon = IconSet{ImageResource::named(QString::fromUtf8(line.icon)), std::nullopt};
        return std::make_shared<BuiltinCommand>(std::move(definition), m_registry);
    }

    std::vector<std::shared_ptr<const VantrelPackage>> take() { return std::move(m_packages); }

private:
    const PackageRegistry* m_registry;
    std::vector<std::shared_ptr<const VantrelPackage>> m_packages;
};

BuiltinPackage::Definition package(const char* id, const char* name, const char* description, bool enabled, bool hidden,
                                   Category category) {
    BuiltinPackage::Definition definition;
    definition.id = QString::fromUtf8(id);
    definition.displayName = QString::fromUtf8(name);
    definition.description = QString::fromUtf8(description);
    definition.isEnabledByDefault = enabled;
    definition.isHiddenInPreferences = hidden;
    definition.category = category;
    static const QStringList brand{QStringLiteral("default"), QStringLiteral("fileSearch"),
                                   QStringLiteral("clipboardHistory"), QStringLiteral("vantrelPreferences"),
                                   QStringLiteral("debug")};
    if (brand.contains(definition.id)) definition.iconTintColorName = QStringLiteral("brand");
    if (definition.id == QLatin1String("github")) definition.iconTintColorName = QStringLiteral("primaryText");
    static const QStringList authorized{QStringLiteral("asana"), QStringLiteral("github"), QStringLiteral("gSuite"),
                                        QStringLiteral("jira"),  QStringLiteral("linear"), QStringLiteral("zoom")};
    definition.hasAuthorizer = authorized.contains(definition.id);
    static const QStringList ownCommandPreferences{QStringLiteral("asana"),    QStringLiteral("browserBookmarks"),
                                                   QStringLiteral("calendar"), QStringLiteral("clipboardHistory"),
                                                   QStringLiteral("github"),   QStringLiteral("jira"),
                                                   QStringLiteral("linear"),   QStringLiteral("snippets")};
    definition.hasOwnCommandPreferences = ownCommandPreferences.contains(definition.id);
    return definition;
}

BuiltinPackage::Definition withIcon(BuiltinPackage::Definition definition, const char* icon) {
    definition.icon = IconSet{ImageResource::named(QString::fromUtf8(icon)), std::nullopt};
    return definition;
}

constexpr Shows action = Shows::action;
constexpr Shows view = Shows::view;

}  // namespace

const QStringList& packagesWithOwnCommandData() {
    static const QStringList ids{QStringLiteral("windowManagement"), QStringLiteral("webSearches"),
                                 QStringLiteral("scriptCommands"), QStringLiteral("quicklinks"),
                                 QStringLiteral("vantrelPreferences")};
    return ids;
}

std::shared_ptr<const VantrelCommand> makeCreateQuicklinkWithURLCommand(const PackageRegistry* registry) {
    return Builder(registry).command(QStringLiteral("default"), {"createQuicklinkWithURL", "Create Quicklink", view,
                                                                 Visibility::public_, "command-quicklinks-16"});
}

std::vector<std::shared_ptr<const VantrelPackage>> makeBuiltinPackages(const PackageRegistry* registry,
                                                                       bool developmentFlag) {
    Builder b(registry);

    b.add(package("default", "Vantrel",
                  "A set of core commands provided out of the box. Find your files, previously copied content or "
                  "learn more about Vantrel.",
                  true, false, Category::utility),
          {
              {"extensionsStore", "Extensions Store"},
              {"windowBounceAnimation", "Toggle Bounce Animation", action},
              {"quitVantrel", "Quit Vantrel", action},
              {"createExtension", "Create Vantrel Extension"},
              {"createScriptCommand", "Create Script Command"},
              {"reloadScriptCommands", "Reload Script Directories", action},
              {"refreshSystemSource", "Refresh Apps and Preferences", action},
              {"openVantrelChangelog", "Changelog", action},
              {"openVantrelManual", "Manual", action},
              {"toggleVantrelAppearance", "Toggle Vantrel Appearance", action},
              {"reportError", "Report Error", action},
              {"recenterMainWindow", "Reset Vantrel Window Position", action},
              {"dailyUpdateForm", "Daily Update Form"},
              {"sendFeedback", "Send Feedback"},
              {"checkForUpdates", "Check For Updates", action},
              {"createQuicklink", "Create Quicklink", view, Visibility::public_, "command-quicklinks-16"},
          });

    b.add(withIcon(package("fileSearch", "File Search", "Search for files and folders on your computer.", true, false,
                           Category::utility),
                   "command-file-search-16"),
          {{"fileSearch", "File Search", view, Visibility::public_, "command-file-search-16"}},
          {{"fileSearch_fallbackSearch", "fileSearch", "File Search", 200}});

    b.add(withIcon(package("clipboardHistory", "Clipboard History",
                           "Search for text, images, links and colors you copied earlier and paste it again.", true,
                           false, Category::utility),
                   "command-clipboard-history-16"),
          {{"clipboardHistory", "Clipboard History", view, Visibility::public_, "command-clipboard-history-16"}});

    b.add(package("vantrelPreferences", "Vantrel Preferences", "A set of commands for managing user defaults.", true,
                  true, Category::basic),
          {});

    b.add(package("jira", "Jira", "Create, access and modify issues and sprints.", false, false, Category::thirdParty),
          {
              {"jira_logout", "Log Out", action},
              {"jira_searchIssues", "Search Issues"},
              {"jira_recentlyUpdatedIssues", "Recently Updated Issues"},
              {"jira_myFilters", "My Filters"},
              {"jira_activeSprints", "Active Sprints"},
              {"jira_myWatchedIssues", "My Watched Issues"},
              {"jira_myReportedIssues", "My Reported Issues"},
              {"jira_myOpenIssues", "My Open Issues"},
              {"jira_createIssue", "Create Issue"},
          },
          {{"jira_searchIssues_fallbackSearch", "jira_searchIssues", "Jira"}});

    b.add(package("asana", "Asana", "Create, access and modify tasks.", false, false, Category::thirdParty),
          {
              {"asana_apiPlayground", "API Playground", view, Visibility::internal},
              {"asana_logOut", "Log Out", action},
              {"asana_myTasks", "My Tasks"},
              {"asana_createTask", "Create Task"},
          });

    b.add(package("url", "URL", "Set of URL-related commands.", true, true, Category::utility),
          {
              {"urlEncode", "Encode URL", action},
              {"urlDecode", "Decode URL", action},
              {"openInBrowser", "Open in Browser", action},
          });

    b.add(package("linear", "Linear", "Create, search and modify issues.", false, false, Category::thirdParty),
          {
              {"linear-activeCycleIssues", "Active Cycle Issues"},
              {"linear-searchIssues", "Search Issues"},
              {"linear-createdIssues", "Created Issues"},
              {"linear-assignedIssues", "Assigned Issues"},
              {"linear-logout", "Log Out", action},
              {"linear-createIssue", "Create Issue"},
          },
          {{"linear-searchIssues_fallbackSearch", "linear-searchIssues", "Linear"}});

    b.add(package("github", "GitHub", "Create, merge and close pull requests.", false, false, Category::thirdParty),
          {
              {"github-logout", "Log Out", action},
              {"github-searchRepositories", "Search Repositories"},
              {"github-searchIssues", "Search Issues"},
              {"github-searchPullRequests", "Search Pull Requests"},
              {"github-notifications", "Notifications"},
              {"github-actions", "Workflow Runs"},
              {"github-createPullRequest", "Create Pull Request"},
              {"github-pullRequests", "My Pull Requests"},
              {"github-openIssues", "My Open Issues"},
              {"github-createdIssues", "Created Issues"},
              {"github-createIssue", "Create Issue"},
          },
          {
              {"github-searchRepositories_fallbackSearch", "github-searchRepositories", "GitHub"},
              {"github-searchIssues", "github-searchIssues", "GitHub"},
              {"github-searchPullRequests", "github-searchPullRequests", "GitHub"},
          });

    b.add(package("gSuite", "G Suite", "Access Google Drive files.", false, false, Category::thirdParty),
          {
              {"gSuite_logOut", "Log Out", action},
              {"gSuite_createForm", "Create Form", action},
              {"gSuite_createPresentation", "Create Presentation", action},
              {"gSuite_createSpreadsheet", "Create Spreadsheet", action},
              {"gSuite_createDocument", "Create Document", action},
              {"gSuite_searchFiles", "Search Files"},
              {"gSuite_myStarredFiles", "My Starred Files"},
          },
          {{"gSuite_searchFiles_fallbackSearch", "gSuite_searchFiles", "Google Drive"}});

    b.add(package("systemCommands", "System", "Set of core commands provided in Vantrel by default.", true, false,
                  Category::utility),
          {
              {"toggleBluetooth", "Toggle Bluetooth", action},
              {"ejectAllDisks", "Eject All Disks", action},
              {"quitAllApps", "Quit All Applications", action},
              {"showScreenSaver", "Show Screen Saver", action},
              {"toggleHiddenFiles", "Toggle Hidden Files", action},
              {"logOutSystem", "Log Out", action},
              {"restartSystem", "Restart", action},
              {"shutDownSystem", "Shut Down", action},
              {"emptyTrash", "Empty Trash", action},
              {"appSwitcher", "Switch Apps"},
              {"searchMenuItems", "Search Menu Items"},
              {"setVolume0", "Set Volume to 0%", action},
              {"setVolume25", "Set Volume to 25%", action},
              {"setVolume50", "Set Volume to 50%", action},
              {"setVolume75", "Set Volume to 75%", action},
              {"setVolume100", "Set Volume to 100%", action},
              {"showDesktop", "Show Desktop", action},
              {"unhideAllApps", "Unhide All Hidden Apps", action},
              {"hideAllApps", "Hide All Apps Except Frontmost", action},
              {"toggleSystemAppearance", "Toggle System Appearance", action},
              {"turnVolumeDown", "Turn Volume Down", action},
              {"turnVolumeUp", "Turn Volume Up", action},
              {"toggleMute", "Toggle Mute", action},
              {"lockScreen", "Lock Screen", action},
              {"sleepDisplays", "Sleep Displays", action},
              {"sleep", "Sleep", action},
          });

    b.add(package("calendar", "Calendar", "Check your schedule and join conference calls.", true, false,
                  Category::utility),
          {{"calendar_schedule", "My Schedule"}});

    b.add(package("webSearches", "Web Searches", "Quickly search for text on web", true, true, Category::utility), {});

    b.add(withIcon(package("scriptCommands", "Script Commands",
                           "Create custom commands from script files and run them in Vantrel", true, false,
                           Category::devTools),
                   "command-script-commands-16"),
          {});

    b.add(package("reminders", "Reminders", "Create and complete reminders.", true, false, Category::utility),
          {{"reminders_myReminders", "My Reminders"}, {"reminders_createReminder", "Create Reminder"}});

    b.add(package("zoom", "Zoom", "Access Zoom meetings.", false, false, Category::thirdParty),
          {
              {"zoomLogout", "Log Out", action},
              {"zoomUpcomingMeetings", "Upcoming Meetings"},
              {"zoomStartMeeting", "Start Meeting", action},
              {"zoomScheduleMeeting", "Schedule Meeting"},
          });

    b.add(package("media", "Media", "Read news from various media.", false, false, Category::thirdParty),
          {{"media_hackerNews", "Hacker News"}});

    b.add(package("windowManagement", "Window Management", "Move and resize your application windows.", false, false,
                  Category::utility),
          {});

    b.add(package("dictionary", "Dictionary", "Quickly look up words in dictionaries.", true, false, Category::utility),
          {{"dictionary_defineWord", "Define Word"}},
          {{"dictionary_defineWord_fallbackSearch", "dictionary_defineWord", "Define Word", 101}});

    b.add(package("contacts", "Contacts", "Quickly look up contacts in your address book.", false, false,
                  Category::utility),
          {{"contacts_search", "Search Contacts"}},
          {{"contacts_search_fallbackSearch", "contacts_search", "Contacts", 101}});

    b.add(package("browserBookmarks", "Browser Bookmarks", "Integrate bookmarks from Chrome, Brave, or Firefox.", false,
                  false, Category::utility),
          {{"browserBookmarks_search", "Search Browser Bookmarks"}});

    b.add(package("floatingNotes", "Floating Notes", "Easy to access window for short notes.", true, false,
                  Category::utility),
          {
              {"floatingNotes_toggleFocus", "Toggle Floating Notes Focus", action},
              {"floatingNotes_toggleWindow", "Toggle Floating Notes Window", action},
          });

    b.add(package("packageCommands", "", "", false, true, Category::thirdParty), {});

    b.add(withIcon(package("quicklinks", "Quicklinks",
                           "Quicklinks will help you access and search your most used websites and apps in a quicker "
                           "way.",
                           true, false, Category::utility),
                   "command-quicklinks-16"),
          {});

    b.add(package("snippets", "Snippets", "Snippets provide quick access to short snippets of text or code etc.", true,
                  false, Category::utility),
          {{"createSnippet", "Create Snippet"}, {"searchSnippets", "Search Snippets"}});

    if (developmentFlag) {
        b.add(package("debug", "Vantrel Debug",
                      "A set of commands that come in handy during development. The commands are only available in "
                      "debug builds.",
                      true, false, Category::misc),
              {
                  {"debug_uiPlayground", "UI Playground", view, Visibility::debug},
                  {"applicationSupportDirectory", "Open Data Folder", action, Visibility::debug},
                  {"formBuilderPlayground", "Form Builder Playground"},
                  {"markdownPreview", "Markdown Preview"},
              });
    }
    return b.take();
}

}  // namespace vantrel
