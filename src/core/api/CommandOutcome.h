#pragma once

#include "kit/KeyCombination.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace vantrel {

class UserDefaults;

// Where the commands of this process open links and keep settings. What acts
// on the launcher itself (quit, reload…) is a command handler the running
// launcher registers with the package registry.
struct LauncherEnvironment {
    // Opens a link or file in the desktop's default handler; throws VantrelError
    // when that fails. Empty: the installed platform's DesktopServices.
    std::function<void(const QUrl&)> openUrl;
    // Where launcher-wide settings are flipped; null: the standard store.
    UserDefaults* userDefaults = nullptr;
};

// Everything a command gets when it runs: the text in the search bar, the
// values of its argument fields and the launcher's hooks.
struct CommandRunContext {
    QString searchText;
    QStringList arguments;
    const LauncherEnvironment* environment = nullptr;

    // The text a command works on: the first non-empty argument, otherwise the
    // search text, without surrounding white space.
    QString inputText() const;
};

// How running a command (or a menu item) ended, for the launcher to show.
struct CommandOutcome {
    enum class Kind {
        done,             // finished; hudText is the optional confirmation
        failed,           // a failure toast: title and message
        unavailable,      // not on this desktop / not built yet: message says which
        showView,         // the launcher window pushes the command's view
        showPreferences,  // the preferences window opens the command's page
        showArguments,    // the launcher window selects the command in root search and asks for its
                          // arguments: its fields, the keyboard focus in the first empty required one
        handled,          // the view on screen took the action and answers later itself: the window stays
    };

    Kind kind = Kind::done;
    QString hudText;
    // done: a success toast the window shows while it stays open (the
    // result text, if any, is on the clipboard by then); empty: the window
    // hides and shows hudText in the HUD.
    QString toastTitle;
    // What the command produced, for the launcher to copy or show (URL encode/decode).
    std::optional<QString> resultText;
    QString title;
    QString message;
    // showView / showPreferences / showArguments: the command, and the text its view starts with;
    // showView: the values of its arguments, for views that run with them;
    // showArguments: the values known so far (the fields start with them).
    QString commandId;
    QString initialQuery;
    QStringList arguments;
    // showView: the input a draft kept, handed back to the view it came from.
    QVariant draftState;

    static CommandOutcome done(QString hudText = {}, std::optional<QString> resultText = std::nullopt);
    static CommandOutcome failed(QString title, QString message);
    // Done: text for the clipboard, and the success toast that says so.
    static CommandOutcome copied(QString text, QString toastTitle);
    static CommandOutcome unavailable(QString message);
    static CommandOutcome handled();
    static CommandOutcome showView(QString commandId, QString initialQuery = {}, QStringList arguments = {});
    static CommandOutcome showPreferences(QString commandId);
    // The command needs arguments it was not given (run by its hotkey or a link).
    static CommandOutcome showArguments(QString commandId, QStringList arguments = {});

    bool succeeded() const {
        return kind == Kind::done || kind == Kind::showView || kind == Kind::showPreferences ||
               kind == Kind::showArguments || kind == Kind::handled;
    }
};

// An image: a named resource of the application ("command-clipboard-history-16"),
// a link to one (resized to `size` points when set), an emoji drawn with the
// emoji font, or a pair of images for the light and the dark appearance.
struct ImageResource {
    enum class Type { named, url, emoji, themed };
    Type type = Type::named;
    QString value;
    // url: the resize transform in points; empty when the image keeps its size.
    QSize size;
    // themed: the image of each appearance.
    std::shared_ptr<const ImageResource> light;
    std::shared_ptr<const ImageResource> dark;

    static ImageResource named(QString name) { return {Type::named, std::move(name), {}, nullptr, nullptr}; }
    static ImageResource url(const QUrl& link, QSize size = {}) {
        return {Type::url, link.toString(), size, nullptr, nullptr};
    }
    static ImageResource emoji(QString character) { return {Type::emoji, std::move(character), {}, nullptr, nullptr}; }
    static ImageResource themed(ImageResource lightImage, ImageResource darkImage) {
        return {Type::themed,
                {},
                {},
                std::make_shared<const ImageResource>(std::move(lightImage)),
                std::make_shared<const ImageResource>(std::move(darkImage))};
    }

    bool operator==(const ImageResource& other) const {
        const auto same = [](const std::shared_ptr<const ImageResource>& a,
                             const std::shared_ptr<const ImageResource>& b) { return a == b || (a && b && *a == *b); };
        return type == other.type && value == other.value && size == other.size && same(light, other.light) &&
               same(dark, other.dark);
    }
};

// A piece of text in one style (what a script printed, with its colours). A
// colour is a theme colour's name ("terminalRed", "secondaryText") or "#rrggbb";
// empty: the default of where the text is shown.
struct StyledTextRun {
    QString text;
    QString foreground;
    QString background;
    bool underline = false;
    bool strikethrough = false;
    bool operator==(const StyledTextRun&) const = default;
};

struct IconSet {
    ImageResource small;
    std::optional<ImageResource> medium;
    bool operator==(const IconSet&) const = default;
};

// One action of a result. The first menu item of a result is its primary
// action (Return).
struct MenuItem {
    enum class ActionType { regular, destructive };
    using Run = std::function<CommandOutcome()>;

    QString id;
    QString title;
    std::vector<KeyCombination> shortcuts;
    std::optional<QString> accessoryLabel;
    std::optional<ImageResource> image;
    std::optional<QString> imageTintColorName;
    // Either runs something or opens a submenu.
    std::variant<Run, std::vector<MenuItem>> action = Run{};
    // A submenu whose entries come later (asked when it opens, with the typed
    // text; again at every keystroke when it filters itself). Set: opening
    // the item shows this submenu instead of running `action`.
    using SubmenuAnswer = std::function<void(std::vector<MenuItem> entries)>;
    std::function<void(const QString& text, SubmenuAnswer answer)> loadSubmenu;
    bool submenuFiltersItself = false;
    ActionType actionType = ActionType::regular;
    QVariantMap analyticsContext;
    QVariant representedObject;
    bool isEnabled = true;
    // What the action needs alive while it runs (its action provider): the
    // list that handed the item out may be rebuilt by the action itself.
    std::shared_ptr<const void> keepAlive;

    // An action that runs `run`.
    static MenuItem make(QString id, QString title, Run run, ActionType type = ActionType::regular);

    // Runs the action; a submenu or an empty action is done without doing
    // anything. Safe when running it destroys this item or its provider.
    CommandOutcome perform() const;
    // Sets keepAlive on this item and every item of its submenus.
    void keepAliveWhileRunning(const std::shared_ptr<const void>& owner);
    const std::vector<MenuItem>* submenu() const { return std::get_if<std::vector<MenuItem>>(&action); }
};

}  // namespace vantrel
