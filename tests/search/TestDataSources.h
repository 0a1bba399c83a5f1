#pragma once

// Small data sources for the loader and loading tests: they answer with fixed
// records or an error, at once, from a thread of their own, or only when the
// test releases them, and push later updates when the test asks.
#include "search/DataSource.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace vantrel::test {

// Lets a number of loads wait for each other: each one arrives and waits until
// all have arrived. A load that never sees the others (because the loads ran
// one after the other) gives up after a generous while and reports it.
class StartGate {
public:
    explicit StartGate(int expected) : m_expected(expected) {}

    bool arriveAndWait() {
        std::unique_lock lock(m_mutex);
        ++m_arrived;
        m_changed.notify_all();
        return m_changed.wait_for(lock, std::chrono::seconds(30), [this] { return m_arrived >= m_expected; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_arrived = 0;
    const int m_expected;
};

class TestDataSource : public DataSource {
public:
    enum class Answer {
        immediately,   // inside load(), on the calling thread
        onOwnThread,   // from a thread of its own
        whenReleased,  // only when release() is called
    };

    TestDataSource(SearchRecord::Source source, std::vector<SearchRecord> records, Answer answer = Answer::onOwnThread)
        : m_source(source), m_records(std::move(records)), m_answer(answer) {}

    ~TestDataSource() override {
        for (std::thread& thread : m_threads)
            if (thread.joinable()) thread.join();
    }

    // Every load fails with loadFailed(message).
    void failWith(QString message) { m_failure = std::move(message); }
    // Every load throws before answering.
    void throwOnLoad() { m_throws = true; }
    // Loads on their own threads wait for the other loads of the gate first.
    void waitFor(std::shared_ptr<StartGate> gate) { m_gate = std::move(gate); }
    void setRecords(std::vector<SearchRecord> records) {
        std::lock_guard lock(m_mutex);
        m_records = std::move(records);
    }

    SearchRecord::Source source() const override { return m_source; }

    void load(LoadCompletion completion) override {
        ++loads;
        if (m_throws) throw std::runtime_error("the source broke while starting");
        switch (m_answer) {
            case Answer::immediately:
                completion(answer());
                break;
            case Answer::onOwnThread:
                m_threads.emplace_back([this, completion = std::move(completion)] {
                    if (m_gate && !m_gate->arriveAndWait()) {
                        completion(DataSourceError::loadFailed(QStringLiteral("the other loads never started")));
                        return;
                    }
                    completion(answer());
                });
                break;
            case Answer::whenReleased: {
                std::lock_guard lock(m_mutex);
                m_held = std::move(completion);
                break;
            }
        }
    }

    // Answers a load held back (from another thread, as a slow source would).
    void release() {
        LoadCompletion held;
        {
            std::lock_guard lock(m_mutex);
            held = std::move(m_held);
            m_held = nullptr;
        }
        if (held) m_threads.emplace_back([this, held] { held(answer()); });
    }

    void refresh(LoadCompletion completion) override {
        ++refreshes;
        DataSourceUpdate update;
        update.records[m_source] = currentRecords();
        notifyUpdate(update);
        completion(currentRecords());
    }

    // Later changes, as a source watching the system would push them.
    void pushUpdate(std::vector<SearchRecord> records) {
        setRecords(records);
        DataSourceUpdate update;
        update.records[m_source] = std::move(records);
        notifyUpdate(update);
    }
    void pushFolderUpdate(const QString& folder, std::vector<SearchRecord> records) {
        DataSourceUpdate update;
        update.records[m_source] = std::move(records);
        update.strategy = SearchUpdateStrategy::sourceWithPath(folder);
        notifyPartialUpdate(update);
    }

    std::atomic<int> loads = 0;
    std::atomic<int> refreshes = 0;

private:
    std::vector<SearchRecord> currentRecords() {
        std::lock_guard lock(m_mutex);
        return m_records;
    }
    LoadResult answer() {
        if (m_failure) return DataSourceError::loadFailed(*m_failure);
        return currentRecords();
    }

    const SearchRecord::Source m_source;
    std::mutex m_mutex;
    std::vector<SearchRecord> m_records;
    const Answer m_answer;
    std::optional<QString> m_failure;
    bool m_throws = false;
    std::shared_ptr<StartGate> m_gate;
    LoadCompletion m_held;
    std::vector<std::thread> m_threads;  // only touched by the test's thread
};

}  // namespace vantrel::test
