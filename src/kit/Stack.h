#pragma once

#include <QtGlobal>

#include <optional>
#include <utility>
#include <vector>

namespace vantrel {

// A last-in, first-out list with an optional limit: pushing onto a full stack
// drops the bottom element. Iteration runs from the top, so begin() is the
// element pushed last.
template <typename T>
class Stack {
public:
    using value_type = T;
    using const_iterator = typename std::vector<T>::const_reverse_iterator;
    using iterator = const_iterator;

    Stack() = default;
    explicit Stack(std::optional<qsizetype> limit) : m_limit(limit) {}

    // Bottom first.
    const std::vector<T>& elements() const { return m_elements; }
    std::optional<qsizetype> limit() const { return m_limit; }

    void push(T element) {
        if (m_limit && *m_limit <= 0) return;
        m_elements.push_back(std::move(element));
        if (m_limit && static_cast<qsizetype>(m_elements.size()) > *m_limit)
            m_elements.erase(m_elements.begin(), m_elements.end() - *m_limit);
    }

    // Removes and returns the top element; nullopt when the stack is empty.
    std::optional<T> pop() {
        if (m_elements.empty()) return std::nullopt;
        T element = std::move(m_elements.back());
        m_elements.pop_back();
        return element;
    }

    // The top element without removing it; nullopt when the stack is empty.
    std::optional<T> top() const {
        if (m_elements.empty()) return std::nullopt;
        return m_elements.back();
    }
    std::optional<T> peek() const { return top(); }

    bool isEmpty() const { return m_elements.empty(); }
    qsizetype count() const { return static_cast<qsizetype>(m_elements.size()); }
    void clear() { m_elements.clear(); }

    const_iterator begin() const { return m_elements.crbegin(); }
    const_iterator end() const { return m_elements.crend(); }

private:
    std::vector<T> m_elements;
    std::optional<qsizetype> m_limit;
};

}  // namespace vantrel
