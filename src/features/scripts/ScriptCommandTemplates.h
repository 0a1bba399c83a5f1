#pragma once

#include "features/scripts/ScriptCommand.h"

#include <QString>

#include <optional>
#include <vector>

namespace vantrel {

// The text of a new script command, as the create form fills it in: the
// interpreter line of the chosen language, the metadata lines and a body that
// prints a greeting (and the first argument, with one).
struct ScriptCommandTemplateBuilder {
    enum class Template { bash, appleScript, swift, python, ruby, nodeJS };
    enum class RefreshInterval { seconds30, minute1, minutes15, hour1, hours3, hours12, day1 };

    static constexpr QLatin1String documentationURL{"https://vantrel.app/docs/script-commands"};
    static constexpr QLatin1String authorURLPlaceholder{"https://github.com/"};
    static constexpr QLatin1String titlePlaceholder{"My Script Command"};
    static constexpr QLatin1String packageNamePlaceholder{"E.g., Developer Utils"};
    static constexpr QLatin1String descriptionPlaceholder{"Descriptive summary"};

    Template scriptTemplate = Template::bash;
    QString title;
    QString packageName;
    ScriptCommand::RunMode mode = ScriptCommand::RunMode::fullOutput;
    std::optional<RefreshInterval> refreshInterval;
    bool withArgument = false;
    bool needsConfirmation = false;
    QString author;
    QString authorURL;
    QString description;

    static const std::vector<Template>& allTemplates();
    // The templates whose interpreter is installed here, in the order of
    // allTemplates(): what the create form offers (AppleScript never runs
    // on this desktop; Ruby, Node.js and Swift only when installed).
    static std::vector<Template> availableTemplates();
    // The program the first line starts: an absolute path, or a name looked
    // up in PATH ("/usr/local/bin" first, as the runner sets it).
    static QString interpreter(Template scriptTemplate);
    static bool isAvailable(Template scriptTemplate);
    static const std::vector<RefreshInterval>& allRefreshIntervals();

    // "Bash", "AppleScript", "Swift", "Python", "Ruby", "Node.js".
    static QString displayName(Template scriptTemplate);
    // "#!/bin/bash", …
    static QString firstLine(Template scriptTemplate);
    // "#" or "//".
    static QString commentPrefix(Template scriptTemplate);
    // "sh", "applescript", "swift", "py", "rb", "js".
    static QString fileExtension(Template scriptTemplate);

    // "30 Seconds", "1 Minute", …
    static QString label(RefreshInterval interval);
    // The refreshTime value: "30s", "1m", "15m", "1h", "3h", "12h", "1d".
    static QString value(RefreshInterval interval);

    // The whole file.
    QString fileText() const;
    // The title in lower case with spaces turned into "-", plus the extension.
    QString proposedFileName() const;

    // The file written into an empty script directory.
    static QString templateFileText();

private:
    QString body() const;
};

}  // namespace vantrel
