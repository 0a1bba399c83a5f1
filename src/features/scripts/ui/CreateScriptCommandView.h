#pragma once

#include "features/scripts/ScriptCommandTemplates.h"
#include "ui/toolkit/FormView.h"

#include <QString>

namespace vantrel {

struct LauncherEnvironment;

// The view of "Create Script Command": a form for the language (those whose
// interpreter is installed), mode, title,
// refresh time (inline scripts only), package name, author, author link,
// description, an argument and a confirmation, and two actions that write the
// new script where the user picks in a save panel (mode 0755): "Create
// Script" and "Create and Open Script" (which then opens it in the default
// editor). Success and failure are told with a toast through the presenter.
class CreateScriptCommandView : public FormView {
    Q_OBJECT

public:
    // Field ids of the form.
    static constexpr QLatin1String templateField{"template"};
    static constexpr QLatin1String modeField{"mode"};
    static constexpr QLatin1String titleField{"title"};
    static constexpr QLatin1String refreshTimeField{"refreshTime"};
    static constexpr QLatin1String packageNameField{"packageName"};
    static constexpr QLatin1String authorField{"author"};
    static constexpr QLatin1String authorURLField{"authorURL"};
    static constexpr QLatin1String descriptionField{"description"};
    static constexpr QLatin1String withArgumentField{"withArgument"};
    static constexpr QLatin1String needsConfirmationField{"needsConfirmation"};

    static constexpr QLatin1String createTitle{"Create Script"};
    static constexpr QLatin1String createAndOpenTitle{"Create and Open Script"};
    static constexpr QLatin1String successTitle{"Successfully created script"};
    static constexpr QLatin1String failureTitle{"Failed to create script file"};

    // directory: where the save panel starts (a script directory); the home
    // folder when empty.
    explicit CreateScriptCommandView(QString directory = QString(), QWidget* parent = nullptr);
    ~CreateScriptCommandView() override;

    // Where "Create and Open Script" opens the file; the desktop's open
    // when null or when its openUrl is empty.
    void setEnvironment(const LauncherEnvironment* environment) { m_environment = environment; }
    void setDirectory(const QString& directory) { m_directory = directory; }
    QString directory() const { return m_directory; }

    // The script the form describes now.
    ScriptCommandTemplateBuilder builder() const;
    // The name the save panel proposes: the title in lower case, spaces (and
    // slashes) as "-", plus the language's extension.
    QString proposedFileName() const;
    QString proposedPath() const;

    // Asks for the file with the save panel (hidden files shown), then createAt.
    CommandOutcome create(bool openAfterwards);
    // Writes the script at the path, makes it executable, tells the outcome
    // with a toast and, when asked, opens it.
    CommandOutcome createAt(const QString& path, bool openAfterwards = false);

    bool isRefreshTimeShown() const;

private:
    void modeChanged();
    QWidget* rowLabel(const QString& fieldTitle) const;

    QString m_directory;
    const LauncherEnvironment* m_environment = nullptr;
    bool m_openAfterwards = false;
};

}  // namespace vantrel
