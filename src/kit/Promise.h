#pragma once

#include "kit/Queue.h"
#include "kit/VantrelError.h"

#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace vantrel {

// The outcome of an operation: a value or a VantrelError.
template <typename T>
class Result {
public:
    using Value = T;

    Result(T value) : m_storage(std::in_place_index<0>, std::move(value)) {}             // NOLINT: implicit
    Result(VantrelError error) : m_storage(std::in_place_index<1>, std::move(error)) {}  // NOLINT: implicit

    static Result success(T value) { return Result(std::move(value)); }
    static Result failure(VantrelError error) { return Result(std::move(error)); }

    bool isSuccess() const { return m_storage.index() == 0; }
    bool isFailure() const { return !isSuccess(); }

    // The value; throws the error when this is a failure.
    const T& value() const& {
        if (isFailure()) throw std::get<1>(m_storage);
        return std::get<0>(m_storage);
    }
    T value() && {
        if (isFailure()) throw std::get<1>(m_storage);
        return std::get<0>(std::move(m_storage));
    }
    // The value, or nullopt for a failure.
    std::optional<T> optionalValue() const {
        if (isFailure()) return std::nullopt;
        return std::get<0>(m_storage);
    }
    // The error; only valid for a failure.
    const VantrelError& error() const { return std::get<1>(m_storage); }
    // The error, or nullopt for a success.
    std::optional<VantrelError> optionalError() const {
        if (isSuccess()) return std::nullopt;
        return std::get<1>(m_storage);
    }

private:
    std::variant<T, VantrelError> m_storage;
};

template <typename T>
class Promise;

namespace detail {
template <typename P>
struct IsPromise : std::false_type {};
template <typename U>
struct IsPromise<Promise<U>> : std::true_type {};

// The error a promise chain reports for an exception thrown by one of its steps.
inline VantrelError errorFromCurrentException() {
    try {
        throw;
    } catch (const VantrelError& error) {
        return error;
    } catch (const std::exception& error) {
        return VantrelError(error);
    } catch (...) {
        return VantrelError(QStringLiteral("Unknown error"), std::current_exception());
    }
}
}  // namespace detail

// A single-assignment result shared by every copy of the promise. Observers
// registered before the result is set are called, in registration order, on
// the thread that sets it (or on their own queue when they gave one); an
// observer registered afterwards is called at once. Only the first resolution
// counts. Safe to use from any thread.
template <typename T>
class Promise {
public:
    using Value = T;
    using ResultType = Result<T>;
    using Observer = std::function<void(const Result<T>&)>;

    Promise() : m_state(std::make_shared<State>()) {}

    static Promise resolved(T value) {
        Promise promise;
        promise.resolve(std::move(value));
        return promise;
    }
    static Promise rejected(VantrelError error) {
        Promise promise;
        promise.reject(std::move(error));
        return promise;
    }

    void observe(Observer observer) const {
        if (!observer) return;
        std::unique_lock lock(m_state->mutex);
        if (!m_state->result) {
            m_state->observers.push_back(std::move(observer));
            return;
        }
        const Result<T> result = *m_state->result;
        lock.unlock();
        observer(result);
    }

    // Delivers the result to the observer on the given queue.
    void observe(Observer observer, const Queue& queue) const {
        if (!observer) return;
        observe([queue, observer = std::move(observer)](const Result<T>& result) {
            queue.dispatch([observer, result] { observer(result); });
        });
    }

    // Set the result; each returns false when the promise was already resolved.
    bool resolve(T value) const { return resolve(Result<T>(std::move(value))); }
    bool reject(VantrelError error) const { return resolve(Result<T>(std::move(error))); }
    bool resolve(Result<T> result) const {
        std::vector<Observer> observers;
        {
            std::lock_guard lock(m_state->mutex);
            if (m_state->result) return false;
            m_state->result.emplace(std::move(result));
            observers.swap(m_state->observers);
        }
        // The result never changes once set, so it is read without the lock.
        const Result<T>& stored = *m_state->result;
        for (const Observer& observer : observers) observer(stored);
        return true;
    }

    bool hasSetResult() const {
        std::lock_guard lock(m_state->mutex);
        return m_state->result.has_value();
    }
    std::optional<Result<T>> result() const {
        std::lock_guard lock(m_state->mutex);
        return m_state->result;
    }

    // A promise of fn's result for this promise's value. An error of this
    // promise passes through without calling fn; an exception thrown by fn
    // rejects the new promise (a VantrelError as it is, anything else wrapped in
    // one). With a queue, fn runs there.
    template <typename F>
    auto map(F fn, std::optional<Queue> queue = std::nullopt) const -> Promise<std::invoke_result_t<F&, const T&>> {
        using U = std::invoke_result_t<F&, const T&>;
        static_assert(!std::is_void_v<U>, "map needs a function that returns a value");
        Promise<U> next;
        Observer step = [next, fn = std::move(fn)](const Result<T>& result) mutable {
            if (result.isFailure()) {
                next.reject(result.error());
                return;
            }
            std::optional<Result<U>> mapped;
            try {
                mapped.emplace(fn(result.value()));
            } catch (...) {
                mapped.emplace(detail::errorFromCurrentException());
            }
            next.resolve(std::move(*mapped));
        };
        queue ? observe(std::move(step), *queue) : observe(std::move(step));
        return next;
    }

    // A promise resolved from the promise fn returns for this promise's value.
    // Errors and exceptions as for map.
    template <typename F>
    auto then(F fn, std::optional<Queue> queue = std::nullopt) const -> std::invoke_result_t<F&, const T&> {
        using Next = std::invoke_result_t<F&, const T&>;
        static_assert(detail::IsPromise<Next>::value, "then needs a function that returns a Promise");
        using U = typename Next::Value;
        Next next;
        Observer step = [next, fn = std::move(fn)](const Result<T>& result) mutable {
            if (result.isFailure()) {
                next.reject(result.error());
                return;
            }
            std::optional<Next> inner;
            try {
                inner.emplace(fn(result.value()));
            } catch (...) {
                next.reject(detail::errorFromCurrentException());
                return;
            }
            inner->observe([next](const Result<U>& innerResult) { next.resolve(innerResult); });
        };
        queue ? observe(std::move(step), *queue) : observe(std::move(step));
        return next;
    }

    // Calls the observer with the result and returns this promise, for chains
    // that only look at the outcome.
    const Promise& onResult(Observer observer, std::optional<Queue> queue = std::nullopt) const {
        queue ? observe(std::move(observer), *queue) : observe(std::move(observer));
        return *this;
    }

private:
    struct State {
        std::mutex mutex;
        std::optional<Result<T>> result;
        std::vector<Observer> observers;
    };
    std::shared_ptr<State> m_state;
};

}  // namespace vantrel
