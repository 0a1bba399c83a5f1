#include "extensions/views/CommandViewController.h"

#include <algorithm>

namespace vantrel::extensions::views {

namespace {

QString keyOf(const ViewModel& model) {
    const ViewModelNode& node = nodeOf(model);
    return node.tag && !node.tag->isEmpty() ? *node.tag : node.id;
}

QString reloadedText(const char* what, const ViewModel& model) {
    return QStringLiteral("Reloaded UI: ") + QLatin1String(what) + QStringLiteral(" for `") + titleOf(model) + QLatin1Char('`');
}

}  // namespace

CommandViewController::CommandViewController(QString commandId, ViewFactory factory, QObject* parent)
    : QObject(parent),
      m_commandId(std::move(commandId)),
      m_factory(std::move(factory)),
      m_logger({QStringLiteral("Command View"), QStringLiteral("🪟")}) {
    m_frame.setSingleShot(true);
    connect(&m_frame, &QTimer::timeout, this, &CommandViewController::apply);
}

CommandViewController::~CommandViewController() = default;

void CommandViewController::render(VantrelViewState state, EventSender sender) {
    ++m_received;
    m_sender = std::move(sender);
    if (m_pending) {
        // The tree of the newer render wins; the reloads of both are done.
        ViewModelPatch merged = m_pending->patch;
        merged.append(state.patch);
        state.setPatch(std::move(merged));
    }
    m_pending = std::move(state);
    if (m_frame.isActive()) return;
    const qint64 since = m_sinceApply.isValid() ? m_sinceApply.elapsed() : frameMilliseconds;
    m_frame.start(static_cast<int>(std::max<qint64>(0, frameMilliseconds - since)));
}

void CommandViewController::flush() {
    if (!m_pending) return;
    m_frame.stop();
    apply();
}

void CommandViewController::renderFailed(const QString& message) {
    m_logger.error(QStringLiteral("Render error"), {{QStringLiteral("error"), message}});
    fail(message);
}

void CommandViewController::commandStopped(const QString& message) {
    m_logger.error(QStringLiteral("Command stopped"), {{QStringLiteral("command"), m_commandId}, {QStringLiteral("error"), message}});
    // The handlers of the last tree belong to a script that no longer runs.
    m_sender = nullptr;
    fail(message);
}

void CommandViewController::fail(const QString& message) {
    m_failure = message;
    emit failed(message);
}

void CommandViewController::apply() {
    if (!m_pending) return;
    VantrelViewState state = std::move(*m_pending);
    m_pending.reset();
    m_sinceApply.start();

    const ViewModel* selected = state.model.selected();
    if (!selected) {
        m_logger.error(QStringLiteral("Model is not defined for view: ") + state.model.selectedView.value.value_or(QString()));
        if (!m_state) fail(QStringLiteral("Model is not defined for view: ") + state.model.selectedView.value.value_or(QString()));
        return;
    }
    const QString key = keyOf(*selected);
    const auto existing = m_views.find(key);
    CommandViewProtocol* view = existing == m_views.end() ? nullptr : existing->second;
    if (view && view->kind() != nodeOf(*selected).kind) {
        m_logger.error(QStringLiteral("Update model failed: wrong model passed: ") + kindName(nodeOf(*selected).kind) +
                       QStringLiteral(" while expected: ") + kindName(view->kind()));
        return;
    }
    const bool created = view == nullptr;
    if (created) {
        view = m_factory ? m_factory(*selected) : nullptr;
        if (!view) {
            const QString message = QStringLiteral("Unsupported model kind '") + kindName(nodeOf(*selected).kind) + QLatin1Char('\'');
            m_logger.error(message);
            fail(message);
            return;
        }
        m_views[key] = view;
        m_viewIds[key] = nodeOf(*selected).id;
        if (std::find(m_allTags.begin(), m_allTags.end(), key) == m_allTags.end()) m_allTags.push_back(key);
        m_logger.debug(QStringLiteral("Added child: ") + nodeOf(*selected).id);
    }
    m_state = std::move(state);
    m_failure.reset();
    ++m_applied;
    const ViewModel& model = *m_state->model.selected();

    // A new view goes on top; one already below comes back (the script went back).
    const bool wasOnTop = !m_stack.empty() && m_stack.back() == key;
    if (!wasOnTop) {
        const auto below = std::find(m_stack.begin(), m_stack.end(), key);
        if (below != m_stack.end()) {
            m_stack.erase(below + 1, m_stack.end());
        } else {
            m_stack.push_back(key);
        }
    }

    UpdatesInfo updates = updatesOf(model);
    if (created || !wasOnTop) {
        // A view that comes on screen shows all of its model.
        updates = UpdatesInfo{true, true, true, true, true, true};
    } else {
        if (updates.shouldUpdateSections) m_logger.debug(reloadedText("Sections", model));
        if (updates.shouldReloadActions) m_logger.debug(reloadedText("Actions Panel", model));
        if (updates.shouldUpdateMarkdown) m_logger.debug(reloadedText("Markdown", model));
        m_logger.debug(reloadedText("Loader, Floating title, Action panel", model));
    }
    view->update(model, updates);
    if (!wasOnTop) emit currentViewChanged();
    emit rendered();
}

const ViewModel* CommandViewController::currentModel() const {
    if (!m_state || m_stack.empty()) return nullptr;
    const auto id = m_viewIds.find(m_stack.back());
    if (id == m_viewIds.end()) return nullptr;
    for (const ViewModel& view : m_state->model.body)
        if (nodeOf(view).id == id->second) return &view;
    return m_state->model.selected();
}

CommandViewProtocol* CommandViewController::currentView() const {
    if (m_stack.empty()) return nullptr;
    const auto found = m_views.find(m_stack.back());
    return found == m_views.end() ? nullptr : found->second;
}

void CommandViewController::sendEvent(const std::optional<QString>& handler, const QJsonValue& data,
                                      std::function<void(Result<QJsonValue>)> answer) {
    if (!handler || handler->isEmpty() || !m_sender) {
        if (answer) answer(VantrelError(QStringLiteral("No handler for the event")));
        return;
    }
    m_sender(*handler, data, std::move(answer));
}

bool CommandViewController::navigateBack() {
    if (m_stack.size() < 2) return false;
    const QString left = m_stack.back();
    m_stack.pop_back();
    // The view left is closed: shown again later, it starts afresh.
    CommandViewProtocol* removed = nullptr;
    if (const auto found = m_views.find(left); found != m_views.end()) {
        removed = found->second;
        m_views.erase(found);
    }
    m_viewIds.erase(left);
    const QString id = m_viewIds[m_stack.back()];
    m_logger.debug(QStringLiteral("Back to: ") + id);
    emit currentViewChanged();
    if (removed) emit viewRemoved(removed);
    if (m_state) sendEvent(m_state->model.selectedView.id, QJsonValue(id));
    return true;
}

void CommandViewController::setStatus(CommandViewModel::Status status) {
    if (m_status == status) return;
    m_status = status;
    if (m_state) sendEvent(m_state->model.onStatusChange, QJsonValue(statusName(status)));
}

}  // namespace vantrel::extensions::views
