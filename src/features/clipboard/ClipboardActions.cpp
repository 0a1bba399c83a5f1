#include "features/clipboard/ClipboardActions.h"

#include "core/api/LauncherPresenter.h"
#include "features/clipboard/ClipboardHistory.h"
#include "kit/KeyCombination.h"
#include "kit/Logger.h"
#include "kit/VantrelError.h"
#include "platform/DesktopServices.h"
#include "platform/FileManager.h"

#include <QFileInfo>
#include <QUrl>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("ClipboardHistory"), QStringLiteral("📋")});
    return logger;
}

MenuItem withShortcut(MenuItem item, ModifierKeys modifiers, char32_t key) {
    item.shortcuts = {KeyCombination{modifiers, KeyEquivalent(key)}};
    return item;
}

const QString kCopiedTitle = QStringLiteral("Copied to clipboard");

// Done, with a toast in the window that stays open.
CommandOutcome toast(const QString& title) {
    CommandOutcome outcome = CommandOutcome::done();
    outcome.toastTitle = title;
    return outcome;
}

}  // namespace

ClipboardActions::ClipboardActions(ClipboardHistory& history, std::function<LauncherPresenter*()> presenter,
                                   std::shared_ptr<PasteInjector> injector)
    : m_history(history), m_presenter(std::move(presenter)), m_injector(std::move(injector)) {}

const QStringList& ClipboardActions::terminalClasses() {
    static const QStringList classes{
        QStringLiteral("xterm"),          QStringLiteral("uxterm"),        QStringLiteral("gnome-terminal"),
        QStringLiteral("gnome-terminal-server"), QStringLiteral("konsole"), QStringLiteral("kitty"),
        QStringLiteral("alacritty"),      QStringLiteral("xfce4-terminal"), QStringLiteral("terminator"),
        QStringLiteral("tilix"),          QStringLiteral("urxvt"),         QStringLiteral("rxvt"),
        QStringLiteral("st"),             QStringLiteral("st-256color"),   QStringLiteral("foot"),
        QStringLiteral("wezterm"),        QStringLiteral("org.wezfurlong.wezterm"), QStringLiteral("lxterminal"),
        QStringLiteral("mate-terminal"),  QStringLiteral("qterminal"),     QStringLiteral("terminology"),
        QStringLiteral("guake"),          QStringLiteral("yakuake"),       QStringLiteral("tilda"),
        QStringLiteral("sakura"),         QStringLiteral("kgx"),           QStringLiteral("org.gnome.console"),
        QStringLiteral("ptyxis"),         QStringLiteral("org.gnome.ptyxis"), QStringLiteral("cool-retro-term"),
        QStringLiteral("contour"),        QStringLiteral("ghostty"),       QStringLiteral("com.mitchellh.ghostty"),
        QStringLiteral("deepin-terminal"), QStringLiteral("eterm"),        QStringLiteral("hyper"),
        QStringLiteral("tabby"),          QStringLiteral("cosmic-term"),   QStringLiteral("rio"),
        QStringLiteral("x-terminal-emulator"),
    };
    return classes;
}

bool ClipboardActions::isTerminal(const ForeignApplication& application) {
    return terminalClasses().contains(application.className.toLower()) ||
           terminalClasses().contains(application.instanceName.toLower());
}

CommandOutcome ClipboardActions::copy(const ClipboardRecord& record) {
    if (!m_history.writeToClipboard(record, true))
        return CommandOutcome::failed(QStringLiteral("Could not copy"), QStringLiteral("There is no clipboard to write to"));
    return CommandOutcome::done(kCopiedTitle);
}

CommandOutcome ClipboardActions::paste(const ClipboardRecord& record, bool formatted) {
    if (!m_history.writeToClipboard(record, formatted))
        return CommandOutcome::failed(QStringLiteral("Could not paste"), QStringLiteral("There is no clipboard to write to"));
    if (!m_history.directPaste()) return CommandOutcome::done(kCopiedTitle);
    return pasteIntoPreviousWindow();
}

CommandOutcome ClipboardActions::pasteText(const QString& text, bool direct) {
    SystemClipboard* clipboard = m_history.clipboard();
    if (!clipboard || !clipboard->write({{QStringLiteral("text/plain"), text.toUtf8()}}))
        return CommandOutcome::failed(QStringLiteral("Could not paste"), QStringLiteral("There is no clipboard to write to"));
    if (!direct) return CommandOutcome::done(kCopiedTitle);
    return pasteIntoPreviousWindow();
}

CommandOutcome ClipboardActions::copyText(const QString& text) {
    SystemClipboard* clipboard = m_history.clipboard();
    if (!clipboard || !clipboard->write({{QStringLiteral("text/plain"), text.toUtf8()}}))
        return CommandOutcome::failed(QStringLiteral("Could not copy"), QStringLiteral("There is no clipboard to write to"));
    return CommandOutcome::done(kCopiedTitle);
}

CommandOutcome ClipboardActions::pasteIntoPreviousWindow() {
    QString problem;
    if (!m_injector || !m_injector->isAvailable(&problem)) {
        if (!problem.isEmpty()) log().warning(problem);
        return CommandOutcome::done(kCopiedTitle);
    }
    const std::optional<ForeignApplication> target = m_injector->lastForeignWindow();
    LauncherPresenter* presenter = m_presenter ? m_presenter() : nullptr;
    if (presenter && presenter->isWindowVisible()) presenter->hideWindow();
    const bool terminal = target && isTerminal(*target);
    m_injector->paste(target, terminal, [](bool pressed, const QString& reason) {
        if (!pressed) log().warning(QStringLiteral("Could not paste: ") + reason);
    });
    return CommandOutcome::done();
}

CommandOutcome ClipboardActions::setPinned(const ClipboardRecord& record, bool pinned) {
    if (!record.id) return CommandOutcome::failed(QStringLiteral("Clipboard record not found"), {});
    try {
        m_history.pin(*record.id, pinned);
    } catch (const std::exception& failure) {
        return CommandOutcome::failed(pinned ? QStringLiteral("Could not pin entry") : QStringLiteral("Could not unpin entry"),
                                      VantrelError::describe(failure));
    }
    return toast(pinned ? QStringLiteral("Pinned entry") : QStringLiteral("Unpinned entry"));
}

CommandOutcome ClipboardActions::remove(const ClipboardRecord& record) {
    if (!record.id || !m_history.deleteRecord(*record.id))
        return CommandOutcome::failed(QStringLiteral("Clipboard record not found"), {});
    return toast(QStringLiteral("Deleted entry"));
}

CommandOutcome ClipboardActions::removeAll() {
    LauncherPresenter* presenter = m_presenter ? m_presenter() : nullptr;
    if (!presenter) {
        const qsizetype count = m_history.deleteAll();
        return CommandOutcome::done(QStringLiteral("Deleted %1 entries").arg(count));
    }
    Alert alert;
    alert.title = QStringLiteral("Delete All Entries");
    alert.message = QString(deleteAllQuestion);
    alert.confirmTitle = QStringLiteral("Delete All");
    alert.destructive = true;
    ClipboardHistory* history = &m_history;
    presenter->confirm(alert, [history, presenter](bool confirmed) {
        if (!confirmed) return;
        history->deleteAll();
        presenter->tell({Toast::Style::success, QStringLiteral("Deleted all entries"), {}});
    });
    return CommandOutcome::done();
}

std::vector<MenuItem> ClipboardActions::menu(const ClipboardRecord& record, std::function<CommandOutcome()> quickLook,
                                             std::function<void()> changed) {
    using Category = ClipboardRecord::Category;
    std::vector<MenuItem> items;
    const bool pasteFirst = m_history.pasteMode() != QLatin1String("copy");
    MenuItem paste = MenuItem::make(QString(pasteId), QStringLiteral("Paste to Active App"),
                                    [this, record] { return this->paste(record, false); });
    paste.image = ImageResource::named(QStringLiteral("clipboard"));
    MenuItem copyItem = MenuItem::make(QString(copyId), QStringLiteral("Copy to Clipboard"),
                                       [this, record] { return copy(record); });
    if (pasteFirst) {
        items.push_back(std::move(paste));
        items.push_back(withShortcut(std::move(copyItem), ModifierKeys::control, U'\r'));
    } else {
        items.push_back(std::move(copyItem));
        items.push_back(withShortcut(std::move(paste), ModifierKeys::control, U'\r'));
    }
    if (record.category == Category::text && record.richTextData && !record.richTextData->isEmpty())
        items.push_back(withShortcut(MenuItem::make(QString(pasteFormattedId), QStringLiteral("Paste Formatted Text"),
                                                    [this, record] { return this->paste(record, true); }),
                                     ModifierKeys::control | ModifierKeys::shift, U'\r'));
    const auto afterwards = [changed](CommandOutcome outcome) {
        if (changed) changed();
        return outcome;
    };
    if (record.isPinned)
        items.push_back(withShortcut(MenuItem::make(QString(unpinId), QStringLiteral("Unpin Entry"),
                                                    [this, record, afterwards] {
                                                        return afterwards(setPinned(record, false));
                                                    }),
                                     ModifierKeys::control | ModifierKeys::shift, U'p'));
    else
        items.push_back(withShortcut(MenuItem::make(QString(pinId), QStringLiteral("Pin Entry"),
                                                    [this, record, afterwards] {
                                                        return afterwards(setPinned(record, true));
                                                    }),
                                     ModifierKeys::control | ModifierKeys::shift, U'p'));
    if ((record.category == Category::image || record.category == Category::file) && quickLook)
        items.push_back(withShortcut(MenuItem::make(QString(quickLookId), QStringLiteral("Quick Look"), quickLook),
                                     ModifierKeys::control, U'y'));
    if (record.category == Category::link) {
        const QUrl url(record.text);
        items.push_back(withShortcut(MenuItem::make(QString(openLinkId), QStringLiteral("Open in Browser"),
                                                    [url] {
                                                        try {
                                                            openOnDesktop(url);
                                                        } catch (const std::exception& failure) {
                                                            return CommandOutcome::failed(
                                                                QStringLiteral("Could not open link"),
                                                                VantrelError::describe(failure));
                                                        }
                                                        return CommandOutcome::done();
                                                    }),
                                     ModifierKeys::control, U'o'));
    }
    if (record.category == Category::image && record.imageHash) {
        const QUrl url = QUrl::fromLocalFile(m_history.imagePath(*record.imageHash));
        items.push_back(withShortcut(MenuItem::make(QString(openImageId), QStringLiteral("Open Image"),
                                                    [url] {
                                                        try {
                                                            openOnDesktop(url);
                                                        } catch (const std::exception& failure) {
                                                            return CommandOutcome::failed(
                                                                QStringLiteral("Could not open image"),
                                                                VantrelError::describe(failure));
                                                        }
                                                        return CommandOutcome::done();
                                                    }),
                                     ModifierKeys::control, U'o'));
    }
    if (record.category == Category::file) {
        const QString path = record.filePath.value_or(record.text);
        items.push_back(withShortcut(MenuItem::make(QString(showFileId), QStringLiteral("Show in File Manager"),
                                                    [path] {
                                                        showInFileManager(path, [](std::optional<QString> failure) {
                                                            if (failure) log().warning(*failure);
                                                        });
                                                        return CommandOutcome::done();
                                                    }),
                                     ModifierKeys::control | ModifierKeys::shift, U'f'));
    }
    items.push_back(withShortcut(MenuItem::make(
                                     QString(deleteId), QStringLiteral("Delete Entry"),
                                     [this, record, afterwards] { return afterwards(remove(record)); },
                                     MenuItem::ActionType::destructive),
                                 ModifierKeys::control, U'x'));
    items.push_back(withShortcut(MenuItem::make(
                                     QString(deleteAllId), QStringLiteral("Delete All Entries"),
                                     [this] { return removeAll(); }, MenuItem::ActionType::destructive),
                                 ModifierKeys::control | ModifierKeys::shift, U'x'));
    return items;
}

}  // namespace vantrel
