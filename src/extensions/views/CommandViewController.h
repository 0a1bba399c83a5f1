#pragma once

#include "extensions/views/ViewModel.h"
#include "kit/Logger.h"
#include "kit/Promise.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace vantrel::extensions::views {

// One shown view of a command (a list, a detail page or a form): takes the
// models of later renders and reloads what their flags name.
class CommandViewProtocol {
public:
    virtual ~CommandViewProtocol() = default;
    virtual ViewModelKind kind() const = 0;
    virtual void update(const ViewModel& model, const UpdatesInfo& updates) = 0;
};

// The launcher's side of a command with a view: takes every render of its
// script, applies at most one per frame (renders that arrive in between are
// merged: the last tree wins and the patches add up, so no reload is lost),
// keeps one view per tag or nodeId and a navigation stack of them, and sends
// the user's events to the handler ids of the tree. Main thread.
class CommandViewController : public QObject {
    Q_OBJECT
public:
    // Sends one event to the script: handler id, data, and the answer when
    // the handler answers (menus, suggestions), else an empty function.
    using EventSender = std::function<void(const QString& handler, const QJsonValue& data, std::function<void(Result<QJsonValue>)> answer)>;
    // A view for a model of a kind not shown yet; null: the kind cannot be shown.
    using ViewFactory = std::function<CommandViewProtocol*(const ViewModel& model)>;

    // Renders applied at most this often (one frame at 60 Hz).
    static constexpr int frameMilliseconds = 16;

    CommandViewController(QString commandId, ViewFactory factory, QObject* parent = nullptr);
    ~CommandViewController() override;

    // A state built from a render; applied at the next frame.
    void render(VantrelViewState state, EventSender sender);
    // A render that did not build: the message is shown, the last model stays.
    void renderFailed(const QString& message);
    // The script is gone outside a render (its host stopped): the message is
    // shown, the last model stays, and events go nowhere until the next render.
    void commandStopped(const QString& message);
    // Applies what waits now instead of at the next frame.
    void flush();

    // An event for a handler of the tree; nothing when the handler is empty.
    void sendEvent(const std::optional<QString>& handler, const QJsonValue& data,
                   std::function<void(Result<QJsonValue>)> answer = {});
    // The user left the top view: it is closed (viewRemoved), the one below
    // comes back as it was left and the script's "selectedView" handler gets
    // its id. False when there is nothing below.
    bool navigateBack();
    // "onStatusChange": active when the view returns to the screen, background when it leaves.
    void setStatus(CommandViewModel::Status status);

    const std::optional<VantrelViewState>& state() const { return m_state; }
    // The model of the view on top, null before the first render.
    const ViewModel* currentModel() const;
    CommandViewProtocol* currentView() const;
    QString currentTag() const { return m_stack.empty() ? QString() : m_stack.back(); }
    const std::vector<QString>& allTags() const { return m_allTags; }
    std::size_t stackDepth() const { return m_stack.size(); }
    const QString& commandId() const { return m_commandId; }
    const std::optional<QString>& failure() const { return m_failure; }
    int receivedRenders() const { return m_received; }
    int appliedRenders() const { return m_applied; }

signals:
    // A render was applied (the first one replaces the loading screen).
    void rendered();
    // Another view came on top (pushed, or back to one below).
    void currentViewChanged();
    // A render failed to build, or the tree cannot be shown.
    void failed(const QString& message);
    // A view left the stack for good (the user went back from it); the
    // controller no longer uses it and its owner may delete it.
    void viewRemoved(CommandViewProtocol* view);

private:
    void apply();
    void fail(const QString& message);

    QString m_commandId;
    ViewFactory m_factory;
    Logger m_logger;
    std::optional<VantrelViewState> m_pending;
    std::optional<VantrelViewState> m_state;
    EventSender m_sender;
    std::map<QString, CommandViewProtocol*> m_views;  // by tag, else nodeId
    std::map<QString, QString> m_viewIds;             // key → nodeId of the view
    std::vector<QString> m_stack;
    std::vector<QString> m_allTags;
    std::optional<QString> m_failure;
    std::optional<CommandViewModel::Status> m_status;
    QTimer m_frame;
    QElapsedTimer m_sinceApply;
    int m_received = 0;
    int m_applied = 0;
};

}  // namespace vantrel::extensions::views
