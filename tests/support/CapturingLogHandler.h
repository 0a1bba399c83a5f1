#pragma once

#include "kit/Logger.h"

#include <QStringList>

#include <memory>
#include <mutex>

namespace vantrel::test {

// Records every message (all levels) for assertions; installed as the shared
// handler for its lifetime and the previous handler restored afterwards.
class CapturingLogHandler : public LogHandler {
public:
    bool accepts(Logger::Level) const override { return true; }
    void log(const Logger::Record& record) override {
        std::lock_guard lock(m_mutex);
        m_messages << record.message;
        m_lines << SimpleLogHandler::formatLine(record, false, false);
        m_files << record.file;
    }
    QStringList messages() const {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    QStringList lines() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    // The source file each message was logged from (its last path component).
    QStringList files() const {
        std::lock_guard lock(m_mutex);
        return m_files;
    }
    bool contains(const QString& message) const { return messages().contains(message); }
    void clear() {
        std::lock_guard lock(m_mutex);
        m_messages.clear();
        m_lines.clear();
        m_files.clear();
    }

private:
    mutable std::mutex m_mutex;
    QStringList m_messages;
    QStringList m_lines;
    QStringList m_files;
};

class ScopedLogCapture {
public:
    ScopedLogCapture() : m_previous(Logger::sharedHandler()), m_handler(std::make_shared<CapturingLogHandler>()) {
        Logger::bootstrap(m_handler);
    }
    ~ScopedLogCapture() { Logger::bootstrap(m_previous); }
    CapturingLogHandler& operator*() const { return *m_handler; }
    CapturingLogHandler* operator->() const { return m_handler.get(); }

private:
    std::shared_ptr<LogHandler> m_previous;
    std::shared_ptr<CapturingLogHandler> m_handler;
};

}  // namespace vantrel::test
