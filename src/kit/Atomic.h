#pragma once

#include <functional>
#include <mutex>
#include <type_traits>
#include <utility>

namespace vantrel {

// A bare, non-recursive lock. Locking it again on the thread that holds it
// deadlocks.
class UnfairLock {
public:
    UnfairLock() = default;
    UnfairLock(const UnfairLock&) = delete;
    UnfairLock& operator=(const UnfairLock&) = delete;

    void lock() { m_mutex.lock(); }
    bool try_lock() { return m_mutex.try_lock(); }
    void unlock() { m_mutex.unlock(); }

    // Runs fn while holding the lock and returns its result.
    template <typename F>
    decltype(auto) withLock(F&& fn) {
        std::lock_guard guard(m_mutex);
        return std::invoke(std::forward<F>(fn));
    }

private:
    std::mutex m_mutex;
};

// A value that is only read or written while holding its lock.
template <typename T>
class Atomic {
public:
    Atomic() = default;
    explicit Atomic(T value) : m_value(std::move(value)) {}
    Atomic(const Atomic&) = delete;
    Atomic& operator=(const Atomic&) = delete;

    T load() const {
        std::lock_guard guard(m_lock);
        return m_value;
    }

    void store(T value) {
        std::lock_guard guard(m_lock);
        m_value = std::move(value);
    }

    // Replaces the value and returns the previous one.
    T exchange(T value) {
        std::lock_guard guard(m_lock);
        std::swap(m_value, value);
        return value;
    }

    // Runs fn with the value (T&) under the lock and returns fn's result.
    template <typename F>
    decltype(auto) mutate(F&& fn) {
        std::lock_guard guard(m_lock);
        return std::invoke(std::forward<F>(fn), m_value);
    }

    // Runs fn with the value (const T&) under the lock and returns fn's result.
    template <typename F>
    decltype(auto) read(F&& fn) const {
        std::lock_guard guard(m_lock);
        return std::invoke(std::forward<F>(fn), std::as_const(m_value));
    }

private:
    mutable UnfairLock m_lock;
    T m_value{};
};

}  // namespace vantrel
