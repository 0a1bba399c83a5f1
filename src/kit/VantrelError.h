#pragma once

#include <QString>
#include <QUuid>

#include <exception>
#include <memory>
#include <source_location>
#include <variant>

namespace vantrel {

// The system's one error type. It carries a message, a wrapped error or both,
// where it was created, and a chain id shared by every error that wraps another
// VantrelError, so that a failure and its causes can be grouped.
class VantrelError : public std::exception {
public:
    struct JustMessage {
        QString message;
    };
    struct JustError {
        std::shared_ptr<const std::exception> error;
    };
    struct Both {
        QString message;
        std::shared_ptr<const std::exception> error;
    };
    using Underlying = std::variant<JustMessage, JustError, Both>;

    explicit VantrelError(QString message, std::source_location where = std::source_location::current());
    explicit VantrelError(const std::exception& error, std::source_location where = std::source_location::current());
    VantrelError(QString message, const std::exception& error,
                 std::source_location where = std::source_location::current());
    // Wraps whatever an exception_ptr holds (a VantrelError keeps its chain id).
    VantrelError(QString message, std::exception_ptr error,
                 std::source_location where = std::source_location::current());

    const Underlying& underlying() const { return m_underlying; }
    // "File.cpp:42 function"
    const QString& location() const { return m_location; }
    const QUuid& chainID() const { return m_chainID; }

    // The message, or the wrapped error's own description when there is no message.
    QString errorDescription() const;
    // The message, then " Underlying error:\n" and the wrapped error's debug
    // description with every line indented by one tab.
    QString debugDescription() const;

    // The wrapped error, when there is one.
    const std::exception* wrappedError() const;

    const char* what() const noexcept override { return m_what.constData(); }

    // Description of any exception: errorDescription for a VantrelError, what() otherwise.
    static QString describe(const std::exception& error);
    static QString debugDescribe(const std::exception& error);

private:
    void finish(const std::source_location& where);
    static std::shared_ptr<const std::exception> share(const std::exception& error);

    Underlying m_underlying;
    QString m_location;
    QUuid m_chainID;
    QByteArray m_what;
};

}  // namespace vantrel
