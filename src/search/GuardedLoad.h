#pragma once

#include "search/DataSource.h"

#include <functional>
#include <memory>
#include <mutex>
#include <source_location>
#include <vector>

namespace vantrel {

class Logger;

// For a data source that reads its records on the global thread pool while
// it may be destroyed meanwhile: a read runs only while the source lives, and
// end() (first thing in the source's destructor, or when it lets go of what
// it reads) waits for a read running now and turns later ones into empty
// loads.
class GuardedLoad {
public:
    using Read = std::function<std::vector<SearchRecord>()>;

    GuardedLoad() = default;
    GuardedLoad(const GuardedLoad&) = delete;
    GuardedLoad& operator=(const GuardedLoad&) = delete;

    // Runs `read` on the global pool and completes with what it returns
    // (nothing once ended). A read that throws completes with `loadFailed`,
    // logged as `failure` ("Cannot read quicklinks") from where dispatch was called.
    void dispatch(Read read, DataSource::LoadCompletion completion, const Logger& log, const char* failure,
                  std::source_location where = std::source_location::current()) const;
    void end();

private:
    struct State {
        std::mutex mutex;
        bool alive = true;
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

}  // namespace vantrel
