#pragma once

#include "data/Records.h"
#include "search/DataSource.h"
#include "search/GuardedLoad.h"

#include <QObject>

#include <memory>
#include <vector>

namespace vantrel {

class NotificationCenter;
class QuicklinksService;

// The enabled quicklinks as search records (source `quicklinks`, type
// quicklink, key "quicklink_<id>", name = its name, category "Quicklink",
// path = its link). A disabled one stays stored but is not published.
//
// load() reads them on the global pool. On "quicklinksDidChange" the records
// are read again and handed to didUpdate (the engine keeps each key's alias,
// hotkey and frecency), then "quicklinksSourceDidChange" is posted.
class QuicklinksSource : public DataSource {
public:
    explicit QuicklinksSource(QuicklinksService& service, NotificationCenter* center = nullptr);
    ~QuicklinksSource() override;
    // Stops using the service (the search engine may keep this source longer).
    void detach();

    SearchRecord::Source source() const override { return SearchRecord::Source::quicklinks; }
    void load(LoadCompletion completion) override;
    void refresh(LoadCompletion completion) override { load(std::move(completion)); }

    // Reads the quicklinks again now and publishes them.
    void rebuild();

    static SearchRecord record(const QuicklinkRecord& quicklink);
    static std::vector<SearchRecord> records(const std::vector<QuicklinkRecord>& quicklinks);

private:
    QuicklinksService& m_service;
    NotificationCenter* m_center;
    std::unique_ptr<QObject> m_subscriptions;
    GuardedLoad m_loads;
};

}  // namespace vantrel
