#include "search/GuardedLoad.h"

#include "kit/Logger.h"
#include "kit/Queue.h"
#include "kit/VantrelError.h"

#include <utility>

namespace vantrel {

void GuardedLoad::dispatch(Read read, DataSource::LoadCompletion completion, const Logger& log, const char* failure,
                           std::source_location where) const {
    std::weak_ptr<State> state = m_state;
    Queue::global().dispatch([state, &log, failure, where, read = std::move(read), completion = std::move(completion)] {
        std::vector<SearchRecord> loaded;
        if (const auto alive = state.lock()) {
            std::lock_guard lock(alive->mutex);
            if (alive->alive) {
                try {
                    loaded = read();
                } catch (const std::exception& error) {
                    log.error(failure, {{QStringLiteral("error"), VantrelError::describe(error)}}, where);
                    if (completion) completion(DataSourceError::loadFailed(VantrelError::describe(error)));
                    return;
                }
            }
        }
        if (completion) completion(std::move(loaded));
    });
}

void GuardedLoad::end() {
    std::lock_guard lock(m_state->mutex);
    m_state->alive = false;
}

}  // namespace vantrel
