#include "features/notes/NotesFeature.h"

#include "core/api/FeatureContext.h"
#include "core/api/LauncherPresenter.h"
#include "core/rootsearch/LauncherSearch.h"
#include "core/shell/InstanceChannel.h"
#include "data/SearchRepository.h"
#include "features/notes/FloatingNoteStore.h"
#include "features/notes/ui/FloatingNoteWindow.h"
#include "kit/VantrelError.h"
#include "platform/Platform.h"
#include "platform/WindowClient.h"

#include <QApplication>

#include <cstdio>

namespace vantrel {

namespace {

CommandOutcome needsLauncher() {
    return CommandOutcome::failed(QStringLiteral("Floating notes open in the running launcher"),
                                  QStringLiteral("Start Vantrel (`vantrel`) and run the command again."));
}

std::shared_ptr<WindowClient> windowClient() {
    if (!platform().windowClient) return nullptr;
    QString ignored;
    return platform().windowClient(&ignored);
}

}  // namespace

NotesFeature::NotesFeature() = default;

NotesFeature::~NotesFeature() {
    QObject::disconnect(m_quitConnection);
    m_window.reset();
}

FloatingNoteWindow& NotesFeature::ensureWindow() {
    if (!m_window) {
        m_window = std::make_unique<FloatingNoteWindow>(*m_store, m_context->defaults());
        // The window goes (saving what is left) before the application does.
        m_quitConnection = QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, QCoreApplication::instance(),
                         [this] { m_window.reset(); });
    }
    return *m_window;
}

void NotesFeature::toggleWindow() {
    FloatingNoteWindow& window = ensureWindow();
    if (window.isVisible()) {
        window.hide();
        return;
    }
    window.present();
}

void NotesFeature::toggleFocus() {
    FloatingNoteWindow& window = ensureWindow();
    const std::shared_ptr<WindowClient> client = windowClient();
    if (window.isVisible() && window.isActiveWindow()) {
        // Back to where the user was.
        if (client && m_previousWindow) {
            try {
                client->activate(m_previousWindow);
            } catch (const std::exception&) {
                m_previousWindow = 0;
            }
        }
        return;
    }
    if (client) {
        try {
            const WindowClient::Window focused = client->focusedWindow();
            if (focused.id != window.winId()) m_previousWindow = focused.id;
        } catch (const std::exception&) {
            m_previousWindow = 0;
        }
    }
    window.present();
    // The window manager decides about focus; asking as a pager does gets it
    // past focus-stealing prevention.
    if (client) {
        try {
            client->activate(window.winId());
        } catch (const std::exception&) {
        }
    }
}

void NotesFeature::registerWith(FeatureContext& context) {
    m_context = &context;
    m_store = std::make_unique<FloatingNoteStore>(context.search().search().repository()->dbConnection);

    for (const QString& id : {toggleWindowCommandId, toggleFocusCommandId}) {
        context.addCommandHandler(id, [this, id](const VantrelCommand&, const CommandRunContext&) {
            LauncherPresenter* presenter = m_context->presenter();
            if (!presenter || !qobject_cast<QApplication*>(QCoreApplication::instance())) return needsLauncher();
            presenter->hideWindow();
            if (id == toggleWindowCommandId)
                toggleWindow();
            else
                toggleFocus();
            return CommandOutcome::done();
        });
    }

    // `vantrel run floatingNotes_…`: the running launcher does it.
    context.addCliCommand(QStringLiteral("run"), [](const QStringList& arguments) -> std::optional<int> {
        const QString id = arguments.value(0);
        if (id != toggleWindowCommandId && id != toggleFocusCommandId) return std::nullopt;
        return InstanceClient().runCommand(id);
    });

    // `vantrel notes`: the floating note's text.
    FloatingNoteStore* store = m_store.get();
    context.addCliCommand(QStringLiteral("notes"), [store](const QStringList& arguments) -> std::optional<int> {
        if (!arguments.isEmpty()) {
            std::fprintf(stderr, "usage: vantrel notes\n");
            return 2;
        }
        try {
            // As the note window would show it: with text a killed launcher left unsaved.
            const std::optional<QString> text = store->load();
            std::fputs(text->toUtf8().constData(), stdout);
            if (!text->isEmpty() && !text->endsWith(QLatin1Char('\n'))) std::fputs("\n", stdout);
            return 0;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "vantrel: %s\n", VantrelError::describe(error).toUtf8().constData());
            return 1;
        }
    });
}

}  // namespace vantrel
