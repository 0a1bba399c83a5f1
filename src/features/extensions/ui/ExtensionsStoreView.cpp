#include "features/extensions/ui/ExtensionsStoreView.h"

#include "core/api/LauncherPresenter.h"
#include "core/rootsearch/RootSearchController.h"
#include "kit/VantrelError.h"
#include "platform/DesktopServices.h"
#include "platform/Platform.h"

#include <QPointer>

namespace vantrel {

namespace {

// "Failed to install extension: the cause" -> the title and the cause.
Toast failureToast(const QString& sentence) {
    const qsizetype colon = sentence.indexOf(QStringLiteral(": "));
    if (colon < 0) return {Toast::Style::failure, sentence, {}};
    return {Toast::Style::failure, sentence.left(colon), sentence.mid(colon + 2)};
}

}  // namespace

ExtensionsStoreView::ExtensionsStoreView(ExtensionsStore& store, QUrl indexUrl, std::function<void()> changed,
                                         QWidget* parent)
    : ListView(QStringLiteral("Extensions Store"), parent),
      m_store(store),
      m_indexUrl(std::move(indexUrl)),
      m_changed(std::move(changed)) {
    setSearchPlaceholder(QStringLiteral("Search extensions…"));
    reload();
}

ExtensionsStoreView::~ExtensionsStoreView() { *m_alive = false; }

void ExtensionsStoreView::reload() {
    if (m_loading) return;
    m_loading = true;
    setEmptyText(QStringLiteral("Loading extensions…"));
    std::weak_ptr<bool> alive = m_alive;
    m_store.fetchIndex(m_indexUrl, [this, alive](Result<StoreIndex> result) {
        if (alive.expired()) return;
        m_loading = false;
        if (result.isFailure()) {
            m_problem = result.error().errorDescription();
            m_index = {};
            setEmptyText(m_problem);
            if (presenter()) presenter()->showToast({Toast::Style::failure, QStringLiteral("Failed loading extensions"), m_problem});
        } else {
            m_problem.clear();
            m_index = std::move(result).value();
            setEmptyText(QStringLiteral("The index lists no extensions"));
            if (!m_index.problems.isEmpty() && presenter())
                presenter()->showToast({Toast::Style::failure,
                                        m_index.problems.size() == 1
                                            ? QStringLiteral("1 entry of the index was left out")
                                            : QStringLiteral("%1 entries of the index were left out").arg(m_index.problems.size()),
                                        m_index.problems.join(QStringLiteral("; "))});
        }
        rebuild();
        emit storeChanged();
    });
}

void ExtensionsStoreView::rebuild() {
    Section available{QStringLiteral("Extensions"), {}};
    Section installed{QStringLiteral("Installed"), {}};
    for (const StoreListing& listing : m_index.listings)
        (m_store.installedPackage(listing) ? installed : available).items.push_back(listingItem(listing));
    std::vector<Section> sections;
    sections.push_back(std::move(installed));
    sections.push_back(std::move(available));
    replaceSections(std::move(sections));
}

ListView::Item ExtensionsStoreView::listingItem(const StoreListing& listing) {
    const bool installed = m_store.installedPackage(listing).has_value();
    Item item;
    item.id = listing.id;
    item.title = listing.title;
    item.subtitle = listing.description;
    item.icon = listing.icon.isEmpty() ? ImageResource::emoji(QStringLiteral("🧩")) : ImageResource::url(listing.icon, QSize(20, 20));
    if (!listing.author.isEmpty()) item.accessories.push_back({listing.author, std::nullopt});
    if (installed) item.accessories.push_back({QStringLiteral("Installed"), ImageResource::emoji(QStringLiteral("✅"))});
    item.keywords << listing.name << listing.author;
    for (const StoreListing::Command& command : listing.commands) item.keywords << command.title;
    QPointer<ExtensionsStoreView> self(this);
    const QString id = listing.id;
    item.actions.push_back(MenuItem::make(QStringLiteral("install-uninstall"),
                                          installed ? QStringLiteral("Uninstall Extension") : QStringLiteral("Install Extension"),
                                          [self, id] {
                                              if (self) self->toggle(id);
                                              return CommandOutcome::done();
                                          },
                                          installed ? MenuItem::ActionType::destructive : MenuItem::ActionType::regular));
    item.actions.push_back(MenuItem::make(QStringLiteral("copyDownloadLink"), QStringLiteral("Copy Download Link"),
                                          [link = listing.downloadUrl] {
                                              return CommandOutcome::copied(link.toString(), QStringLiteral("Copied link"));
                                          }));
    if (!listing.sourceUrl.isEmpty())
        item.actions.push_back(MenuItem::make(QStringLiteral("openSource"), QStringLiteral("Open Source Code"), [url = listing.sourceUrl] {
            if (const std::shared_ptr<DesktopServices> desktop = platform().desktop) desktop->open(url);
            return CommandOutcome::done();
        }));
    return item;
}

void ExtensionsStoreView::finish(const Toast& toast) {
    m_busy = false;
    if (toast.style == Toast::Style::failure) m_lastFailure = toast.title + QStringLiteral(": ") + toast.message;
    if (LauncherPresenter* window = presenter()) {
        if (m_toast)
            window->updateToast(*m_toast, toast);
        else
            window->showToast(toast);
    }
    m_toast.reset();
    rebuild();
    if (m_changed) m_changed();
    emit storeChanged();
}

void ExtensionsStoreView::toggle(const QString& listingId) {
    if (m_busy) return;
    const auto found = std::find_if(m_index.listings.begin(), m_index.listings.end(),
                                    [&](const StoreListing& listing) { return listing.id == listingId; });
    if (found == m_index.listings.end()) return;
    const StoreListing listing = *found;
    m_busy = true;
    m_lastFailure.clear();
    if (m_store.installedPackage(listing)) {
        try {
            m_store.uninstall(listing);
            finish({Toast::Style::success, QStringLiteral("Extension uninstalled"), listing.title});
        } catch (const std::exception& error) {
            finish(failureToast(VantrelError::describe(error)));
        }
        return;
    }
    if (LauncherPresenter* window = presenter())
        m_toast = window->showToast({Toast::Style::animated, QStringLiteral("Installing extension..."), listing.title});
    std::weak_ptr<bool> alive = m_alive;
    m_store.install(listing, [this, alive, title = listing.title](Result<ExtensionPackage> result) {
        if (alive.expired()) return;
        if (result.isFailure())
            finish(failureToast(result.error().errorDescription()));
        else
            finish({Toast::Style::success, QStringLiteral("Extension installed"), title});
    });
}

}  // namespace vantrel
