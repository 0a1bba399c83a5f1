#pragma once

#include "features/extensions/ExtensionsStore.h"
#include "core/rootsearch/RootSearchController.h"
#include "ui/toolkit/ListView.h"

#include <functional>
#include <memory>

namespace vantrel {

// "Extensions Store": the extensions of the configured index, with the ones
// already installed marked "Installed". Return installs (or uninstalls) the
// selected one, with a toast that follows the download and the install and
// ends with what went wrong when it fails. Entries of the index that are left
// out (missing fields…) are named in a failure toast; an index that cannot be
// read says why in the middle of the view.
class ExtensionsStoreView : public ListView {
    Q_OBJECT

public:
    // `changed` runs after every install or uninstall (the commands source reloads).
    ExtensionsStoreView(ExtensionsStore& store, QUrl indexUrl, std::function<void()> changed = {},
                        QWidget* parent = nullptr);
    ~ExtensionsStoreView() override;

    bool isLoading() const { return m_loading; }
    bool isBusy() const { return m_busy; }
    // The index as read (empty until it was), why reading it failed, and the
    // last install or uninstall failure.
    const StoreIndex& index() const { return m_index; }
    const QString& problem() const { return m_problem; }
    const QString& lastFailure() const { return m_lastFailure; }

    void reload();

signals:
    // The index was read (or failed), or an install or uninstall ended.
    void storeChanged();

private:
    void rebuild();
    Item listingItem(const StoreListing& listing);
    void toggle(const QString& listingId);
    void finish(const Toast& toast);

    ExtensionsStore& m_store;
    QUrl m_indexUrl;
    std::function<void()> m_changed;
    StoreIndex m_index;
    bool m_loading = false;
    bool m_busy = false;
    QString m_problem;
    QString m_lastFailure;
    std::optional<int> m_toast;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace vantrel
