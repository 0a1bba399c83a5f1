#pragma once

#include "core/commands/ActionProviders.h"
#include "core/commands/CommandModel.h"
#include "data/Records.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace vantrel {

class LauncherPresenter;
class QuicklinksService;
class Search;
struct LauncherEnvironment;

// The one argument of a quicklink with a placeholder: the field shows the
// placeholder's name; its value is percent-encoded and never optional.
class QuicklinkArgument : public CommandParameter {
public:
    explicit QuicklinkArgument(QString placeholder) : m_placeholder(std::move(placeholder)) {}
    QString placeholder() const override { return m_placeholder; }
    bool percentEncoded() const override { return true; }
    bool isOptional() const override { return false; }

private:
    QString m_placeholder;
};

// A quicklink as the search bar's input command: its id is its key, its
// parameters the one QuicklinkArgument when the link has a placeholder.
class QuicklinkCommand : public InputCommand {
public:
    explicit QuicklinkCommand(QuicklinkRecord link);
    QString id() const override;
    std::vector<std::shared_ptr<const CommandParameter>> parameters() const override;
    QString title() const override { return m_link.name; }
    IconSet icon() const override;

private:
    QuicklinkRecord m_link;
};

// How opening a quicklink went.
struct QuicklinkOpening {
    enum class Result { opened, invalidInputs, failed };
    Result result = Result::failed;
    QUrl url;
    // The chosen application is not installed: the default one opened it.
    bool applicationMissing = false;
    QString error;
};

// Builds the link from the argument values as typed (they are percent-encoded
// here) and opens it: with the application whose desktop-file id is
// `applicationID`, or with the desktop's default handler when that is empty
// or the application is gone. environment->openUrl, when set, is the default
// handler.
QuicklinkOpening openQuicklink(const QuicklinkRecord& link, const QStringList& values,
                               const LauncherEnvironment* environment);

// The actions of a quicklink in root search: open it (primary), copy its name
// or link, configure, duplicate or delete it.
class QuicklinkActionProvider : public ActionProvider {
public:
    using ArgumentsProvider = std::function<QStringList()>;

    QuicklinkActionProvider(QuicklinkRecord link, Search* search, QString searchText,
                            ArgumentsProvider argumentsProvider, QuicklinksService* service,
                            LauncherPresenter* presenter = nullptr, const LauncherEnvironment* environment = nullptr);

    std::vector<MenuItem> menuItems() const override;
    bool isCommand() const override { return true; }
    QString actionPanelTitle() const override { return m_link.name; }

    // The primary action: "Please enter valid inputs" when the link cannot be
    // built, "Unable to open Quicklink" when opening fails; otherwise the
    // window closes and the use is recorded.
    CommandOutcome open() const;
    CommandOutcome remove() const;

    static constexpr QLatin1String openId{"quicklink_open"};
    static constexpr QLatin1String copyNameId{"quicklink_copyName"};
    static constexpr QLatin1String copyURLId{"quicklink_copyURL"};
    static constexpr QLatin1String configureId{"quicklink_configure"};
    static constexpr QLatin1String duplicateId{"quicklink_duplicate"};
    static constexpr QLatin1String deleteId{"quicklink_delete"};
    // The views of the update and duplicate forms (the quicklink's id as their argument).
    static constexpr QLatin1String updateViewId{"quicklink_update"};
    static constexpr QLatin1String duplicateViewId{"quicklink_duplicateForm"};

private:
    void recordVisit() const;

    QuicklinkRecord m_link;
    Search* m_search;
    QString m_searchText;
    ArgumentsProvider m_argumentsProvider;
    QuicklinksService* m_service;
    LauncherPresenter* m_presenter;
    const LauncherEnvironment* m_environment;
};

}  // namespace vantrel
