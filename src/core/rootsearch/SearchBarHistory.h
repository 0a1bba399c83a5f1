#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace vantrel {

// What was typed in a search bar before: the text and the argument values,
// newest last, stepped through with Up (older) and Down (newer). Each search
// bar keeps its own history under its identifier.
class SearchBarHistory {
public:
    struct Item {
        QString text;
        QStringList arguments;
        friend bool operator==(const Item&, const Item&) = default;
    };

    static constexpr int kDefaultCapacity = 50;

    explicit SearchBarHistory(QString identifier, int capacity = kDefaultCapacity);

    const QString& identifier() const { return m_identifier; }
    const std::vector<Item>& stack() const { return m_stack; }
    // The position in the stack while stepping; nothing when not stepping.
    std::optional<size_t> iterator() const { return m_iterator; }

    // Pushes an item (an item without text or arguments is ignored; one equal
    // to the newest is not pushed twice, an older equal one moves to the top)
    // and stops stepping. The oldest items go beyond the capacity.
    void insert(const Item& item);

    // Up: the next older item, starting from the newest; nothing (and the
    // iterator stays on the oldest) when there is no older one.
    std::optional<Item> previous();
    // Down: the next newer item; nothing once past the newest, which ends
    // stepping.
    std::optional<Item> next();
    void resetIterator() { m_iterator.reset(); }
    void clear();

private:
    QString m_identifier;
    int m_capacity;
    std::vector<Item> m_stack;
    std::optional<size_t> m_iterator;
};

}  // namespace vantrel
