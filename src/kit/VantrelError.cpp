#include "kit/VantrelError.h"

#include <QFileInfo>
#include <QStringList>

#include <stdexcept>

namespace vantrel {

namespace {

// A plain error whose only content is its description, used to keep an
// exception that is not ours after the original object is gone.
class DescribedError : public std::exception {
public:
    explicit DescribedError(QByteArray text) : m_text(std::move(text)) {}
    const char* what() const noexcept override { return m_text.constData(); }

private:
    QByteArray m_text;
};

QString indentedByTab(const QString& text) {
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) line.prepend(QLatin1Char('\t'));
    return lines.join(QLatin1Char('\n'));
}

}  // namespace

VantrelError::VantrelError(QString message, std::source_location where)
    : m_underlying(JustMessage{std::move(message)}) {
    finish(where);
}

VantrelError::VantrelError(const std::exception& error, std::source_location where)
    : m_underlying(JustError{share(error)}) {
    finish(where);
}

VantrelError::VantrelError(QString message, const std::exception& error, std::source_location where)
    : m_underlying(Both{std::move(message), share(error)}) {
    finish(where);
}

VantrelError::VantrelError(QString message, std::exception_ptr error, std::source_location where)
    : m_underlying(JustMessage{message}) {
    if (error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            m_underlying = Both{std::move(message), share(e)};
        } catch (...) {
            m_underlying = Both{std::move(message), std::make_shared<DescribedError>("unknown error")};
        }
    }
    finish(where);
}

std::shared_ptr<const std::exception> VantrelError::share(const std::exception& error) {
    if (auto* inner = dynamic_cast<const VantrelError*>(&error)) return std::make_shared<VantrelError>(*inner);
    return std::make_shared<DescribedError>(QByteArray(error.what()));
}

void VantrelError::finish(const std::source_location& where) {
    m_location = QStringLiteral("%1:%2 %3")
                     .arg(QFileInfo(QString::fromUtf8(where.file_name())).fileName())
                     .arg(where.line())
                     .arg(QString::fromUtf8(where.function_name()));
    const auto* inner = dynamic_cast<const VantrelError*>(wrappedError());
    m_chainID = inner ? inner->chainID() : QUuid::createUuid();
    m_what = errorDescription().toUtf8();
}

const std::exception* VantrelError::wrappedError() const {
    if (auto* e = std::get_if<JustError>(&m_underlying)) return e->error.get();
    if (auto* b = std::get_if<Both>(&m_underlying)) return b->error.get();
    return nullptr;
}

QString VantrelError::errorDescription() const {
    if (auto* m = std::get_if<JustMessage>(&m_underlying)) return m->message;
    if (auto* b = std::get_if<Both>(&m_underlying)) return b->message;
    return describe(*std::get<JustError>(m_underlying).error);
}

QString VantrelError::debugDescription() const {
    const std::exception* inner = wrappedError();
    if (!inner) return errorDescription();
    QString message;
    if (auto* b = std::get_if<Both>(&m_underlying)) message = b->message;
    return message + QStringLiteral(" Underlying error:\n") + indentedByTab(debugDescribe(*inner));
}

QString VantrelError::describe(const std::exception& error) {
    if (auto* v = dynamic_cast<const VantrelError*>(&error)) return v->errorDescription();
    return QString::fromUtf8(error.what());
}

QString VantrelError::debugDescribe(const std::exception& error) {
    if (auto* v = dynamic_cast<const VantrelError*>(&error)) return v->debugDescription();
    return QString::fromUtf8(error.what());
}

}  // namespace vantrel
