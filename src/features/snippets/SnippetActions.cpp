#include "features/snippets/SnippetActions.h"

#include "core/api/LauncherPresenter.h"
#include "core/commands/PackageRegistry.h"
#include "features/clipboard/ClipboardApi.h"
#include "features/snippets/SnippetPlaceholders.h"
#include "features/snippets/SnippetsService.h"
#include "kit/KeyCombination.h"
#include "kit/Logger.h"
#include "kit/VantrelError.h"

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Snippets"), QStringLiteral("✂️")});
    return logger;
}

MenuItem withShortcut(MenuItem item, ModifierKeys modifiers, char32_t key) {
    item.shortcuts = {KeyCombination{modifiers, KeyEquivalent(key)}};
    return item;
}

CommandOutcome toast(const QString& title) {
    CommandOutcome outcome = CommandOutcome::done();
    outcome.toastTitle = title;
    return outcome;
}

PackageIdentifier package() {
    return PackageIdentifier(QString(SnippetsService::packageId));
}

}  // namespace

SnippetActions::SnippetActions(Dependencies dependencies) : m_dependencies(std::move(dependencies)) {}

bool SnippetActions::pastesFirst() const {
    if (!m_dependencies.registry) return true;
    return m_dependencies.registry->stringValue(package(), QString(SnippetsService::pasteModeKey)).value_or(QString()) !=
           QLatin1String("copy");
}

bool SnippetActions::directPaste() const {
    if (!m_dependencies.registry) return true;
    return m_dependencies.registry->boolValue(package(), QString(SnippetsService::directPasteKey)).value_or(true);
}

QString SnippetActions::renderedText(const SnippetRecord& snippet) const {
    SnippetPlaceholderContext context;
    context.clipboardText = m_dependencies.clipboardText;
    return expandSnippetPlaceholders(snippet.text, context).text;
}

void SnippetActions::markUsed(const SnippetRecord& snippet) const {
    if (!snippet.id || !m_dependencies.service) return;
    try {
        m_dependencies.service->markUsed(*snippet.id);
    } catch (const std::exception& failure) {
        log().error(QStringLiteral("Could not update snippet record. ") + VantrelError::describe(failure));
    }
}

CommandOutcome SnippetActions::paste(const SnippetRecord& snippet) {
    ClipboardApi* clipboard = m_dependencies.clipboard ? m_dependencies.clipboard() : nullptr;
    if (!clipboard)
        return CommandOutcome::failed(QStringLiteral("Could not paste"), QStringLiteral("There is no clipboard to write to"));
    const CommandOutcome outcome = clipboard->pasteText(renderedText(snippet), directPaste());
    if (outcome.kind == CommandOutcome::Kind::done) markUsed(snippet);
    return outcome;
}

CommandOutcome SnippetActions::copy(const SnippetRecord& snippet) {
    ClipboardApi* clipboard = m_dependencies.clipboard ? m_dependencies.clipboard() : nullptr;
    if (!clipboard)
        return CommandOutcome::failed(QStringLiteral("Could not copy"), QStringLiteral("There is no clipboard to write to"));
    const CommandOutcome outcome = clipboard->copyText(renderedText(snippet));
    if (outcome.kind == CommandOutcome::Kind::done) markUsed(snippet);
    return outcome;
}

CommandOutcome SnippetActions::setPinned(const SnippetRecord& snippet, bool pinned) {
    if (!snippet.id) return CommandOutcome::failed(QStringLiteral("Snippet record not found"), {});
    try {
        m_dependencies.service->setPinned(*snippet.id, pinned);
    } catch (const std::exception& failure) {
        return CommandOutcome::failed(pinned ? QStringLiteral("Failed pinning snippet") : QStringLiteral("Failed unpinning snippet"),
                                      VantrelError::describe(failure));
    }
    return toast(pinned ? QStringLiteral("Pinned snippet") : QStringLiteral("Unpinned snippet"));
}

CommandOutcome SnippetActions::remove(const SnippetRecord& snippet) {
    try {
        if (!snippet.id || !m_dependencies.service->remove(*snippet.id))
            return CommandOutcome::failed(QStringLiteral("Snippet record not found"), {});
    } catch (const std::exception& failure) {
        return CommandOutcome::failed(QStringLiteral("Failed deleting snippet"), VantrelError::describe(failure));
    }
    return toast(QStringLiteral("Deleted snippet"));
}

CommandOutcome SnippetActions::removeAll() {
    SnippetsService* service = m_dependencies.service;
    const auto erase = [service]() -> CommandOutcome {
        try {
            service->removeAll();
        } catch (const std::exception& failure) {
            return CommandOutcome::failed(QStringLiteral("Failed removing all snippets"), VantrelError::describe(failure));
        }
        return toast(QStringLiteral("Removed all snippets"));
    };
    LauncherPresenter* presenter = m_dependencies.presenter ? m_dependencies.presenter() : nullptr;
    if (!presenter) return erase();
    Alert alert;
    alert.title = QStringLiteral("Remove All Snippets");
    alert.message = QString(deleteAllQuestion);
    alert.confirmTitle = QStringLiteral("Remove All");
    alert.destructive = true;
    presenter->confirm(alert, [presenter, erase](bool confirmed) {
        if (confirmed) presenter->handleOutcome(erase());
    });
    return CommandOutcome::done();
}

std::vector<MenuItem> SnippetActions::menu(const SnippetRecord& snippet, std::function<void()> changed) const {
    auto* self = const_cast<SnippetActions*>(this);
    std::vector<MenuItem> items;
    MenuItem pasteItem = MenuItem::make(QString(pasteId), QStringLiteral("Paste to Active App"),
                                        [self, snippet] { return self->paste(snippet); });
    pasteItem.image = ImageResource::named(QStringLiteral("clipboard"));
    MenuItem copyItem = MenuItem::make(QString(copyId), QStringLiteral("Copy to Clipboard"),
                                       [self, snippet] { return self->copy(snippet); });
    if (pastesFirst()) {
        items.push_back(std::move(pasteItem));
        items.push_back(withShortcut(std::move(copyItem), ModifierKeys::control, U'\r'));
    } else {
        items.push_back(std::move(copyItem));
        items.push_back(withShortcut(std::move(pasteItem), ModifierKeys::control, U'\r'));
    }
    const QString id = QString::number(snippet.id.value_or(0));
    items.push_back(withShortcut(MenuItem::make(QString(editId), QStringLiteral("Edit Snippet"),
                                                [id] { return CommandOutcome::showView(QString(updateViewId), {}, {id}); }),
                                 ModifierKeys::control, U'e'));
    items.push_back(withShortcut(MenuItem::make(QString(duplicateId), QStringLiteral("Duplicate Snippet"),
                                                [id] {
                                                    return CommandOutcome::showView(QString(duplicateViewId), {}, {id});
                                                }),
                                 ModifierKeys::control, U'd'));
    const auto afterwards = [changed](CommandOutcome outcome) {
        if (changed) changed();
        return outcome;
    };
    const bool pinned = snippet.isPinned;
    items.push_back(withShortcut(MenuItem::make(QString(pinId),
                                                pinned ? QStringLiteral("Unpin Snippet") : QStringLiteral("Pin Snippet"),
                                                [self, snippet, pinned, afterwards] {
                                                    return afterwards(self->setPinned(snippet, !pinned));
                                                }),
                                 ModifierKeys::control | ModifierKeys::shift, U'p'));
    items.push_back(withShortcut(MenuItem::make(
                                     QString(deleteId), QStringLiteral("Delete Snippet"),
                                     [self, snippet, afterwards] { return afterwards(self->remove(snippet)); },
                                     MenuItem::ActionType::destructive),
                                 ModifierKeys::control, U'x'));
    items.push_back(withShortcut(MenuItem::make(
                                     QString(deleteAllId), QStringLiteral("Remove All Snippets"),
                                     [self] { return self->removeAll(); }, MenuItem::ActionType::destructive),
                                 ModifierKeys::control | ModifierKeys::shift, U'x'));
    return items;
}

}  // namespace vantrel
