#include "core/rootsearch/SearchBarHistory.h"

#include "kit/Logger.h"

#include <algorithm>

namespace vantrel {

namespace {
const Logger& log() {
    static const Logger logger({QStringLiteral("Search Bar History"), QStringLiteral("🕘")});
    return logger;
}
}  // namespace

SearchBarHistory::SearchBarHistory(QString identifier, int capacity)
    : m_identifier(std::move(identifier)), m_capacity(std::max(1, capacity)) {}

void SearchBarHistory::insert(const Item& item) {
    m_iterator.reset();
    if (item.text.trimmed().isEmpty() && item.arguments.isEmpty()) return;
    if (!m_stack.empty() && m_stack.back() == item) return;
    m_stack.erase(std::remove(m_stack.begin(), m_stack.end(), item), m_stack.end());
    m_stack.push_back(item);
    if (m_stack.size() > static_cast<size_t>(m_capacity))
        m_stack.erase(m_stack.begin(), m_stack.begin() + static_cast<std::ptrdiff_t>(m_stack.size() - m_capacity));
    log().debug("Inserted history item", {{QStringLiteral("identifier"), m_identifier},
                                          {QStringLiteral("count"), QString::number(m_stack.size())}});
}

std::optional<SearchBarHistory::Item> SearchBarHistory::previous() {
    if (m_stack.empty()) return std::nullopt;
    if (!m_iterator) {
        m_iterator = m_stack.size() - 1;
        return m_stack[*m_iterator];
    }
    if (*m_iterator == 0) return std::nullopt;
    --*m_iterator;
    return m_stack[*m_iterator];
}

std::optional<SearchBarHistory::Item> SearchBarHistory::next() {
    if (!m_iterator) return std::nullopt;
    if (*m_iterator + 1 >= m_stack.size()) {
        m_iterator.reset();
        return std::nullopt;
    }
    ++*m_iterator;
    return m_stack[*m_iterator];
}

void SearchBarHistory::clear() {
    m_stack.clear();
    m_iterator.reset();
}

}  // namespace vantrel
