#include "extensions/client/CommandAPI.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>

namespace vantrel::extensions {

namespace {

const QStringList kToastStyles{QStringLiteral("success"), QStringLiteral("failure"), QStringLiteral("animated"), QStringLiteral("hud")};

QString newUuid() { return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(); }

QString logText(const QJsonValue& value) {
    if (value.isString()) return value.toString();
    if (value.isUndefined() || value.isNull()) return QStringLiteral("null");
    if (value.isBool()) return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (value.isDouble()) return QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
    if (value.isArray()) return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
}

std::optional<QString> optionalString(const QJsonObject& arguments, const QString& key) {
    const QJsonValue value = arguments.value(key);
    if (!value.isString()) return std::nullopt;
    return value.toString();
}

}  // namespace

CommandAPI::CommandAPI(QString id, ExtensionPackage package, std::shared_ptr<CommandPresenter> presenter)
    : m_id(std::move(id)),
      m_package(std::move(package)),
      m_presenter(std::move(presenter)),
      m_logger({QStringLiteral("extension.") + m_package.id.name, QStringLiteral("🧩")}) {
    m_logger.debug(QStringLiteral("Init: ") + m_id);
}

CommandAPI::~CommandAPI() { m_logger.debug(QStringLiteral("Deinit: ") + m_id); }

void CommandAPI::uninstall() { m_logger.debug(QStringLiteral("Uninstall: ") + m_id); }

void CommandAPI::ping(const Completion& completion) { completion(QJsonValue(QStringLiteral("pong"))); }

void CommandAPI::log(const QJsonObject& arguments, const Completion& completion) {
    QStringList parts;
    const QJsonValue message = arguments.value(QStringLiteral("message"));
    if (message.isArray()) {
        for (const QJsonValue& value : message.toArray()) parts << logText(value);
    } else if (!message.isUndefined()) {
        parts << logText(message);
    }
    const QString text = parts.join(QStringLiteral(" – "));
    const QString level = arguments.value(QStringLiteral("level")).toString();
    if (level == QLatin1String("info")) {
        m_logger.info(text);
    } else if (level == QLatin1String("warn")) {
        m_logger.warning(text);
    } else if (level == QLatin1String("error")) {
        m_logger.error(text);
    } else {
        m_logger.debug(text);
    }
    const bool known = level == QLatin1String("info") || level == QLatin1String("warn") || level == QLatin1String("error");
    if (m_presenter) m_presenter->log(known ? level : QStringLiteral("debug"), text);
    completion(QJsonValue());
}

void CommandAPI::uuid(const Completion& completion) { completion(QJsonValue(newUuid())); }

void CommandAPI::uuids(const QJsonObject& arguments, const Completion& completion) {
    const QJsonValue count = arguments.value(QStringLiteral("count"));
    if (count.isUndefined() || count.isNull()) {
        completion(VantrelError(QStringLiteral("Missing count")));
        return;
    }
    const double number = count.toDouble(-1);
    if (!count.isDouble() || number < 0 || number != static_cast<double>(static_cast<qint64>(number)) || number > 10000) {
        completion(VantrelError(QStringLiteral("Invalid count")));
        return;
    }
    QJsonArray out;
    for (qint64 i = 0; i < static_cast<qint64>(number); ++i) out.append(newUuid());
    completion(QJsonValue(out));
}

void CommandAPI::base64Encode(const QJsonObject& arguments, const Completion& completion) {
    const QJsonValue input = arguments.value(QStringLiteral("input"));
    if (input.isUndefined() || input.isNull()) {
        completion(VantrelError(QStringLiteral("Missing input")));
        return;
    }
    if (!input.isString()) {
        completion(VantrelError(QStringLiteral("Invalid input")));
        return;
    }
    completion(QJsonValue(QString::fromLatin1(input.toString().toUtf8().toBase64())));
}

void CommandAPI::base64Decode(const QJsonObject& arguments, const Completion& completion) {
    const QJsonValue input = arguments.value(QStringLiteral("input"));
    if (input.isUndefined() || input.isNull()) {
        completion(VantrelError(QStringLiteral("Missing input")));
        return;
    }
    const auto decoded = input.isString() ? QByteArray::fromBase64Encoding(input.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors)
                                          : QByteArray::FromBase64Result{};
    if (!input.isString() || !decoded) {
        completion(VantrelError(QStringLiteral("Invalid input")));
        return;
    }
    // Text that is not UTF-8 is no text.
    const QString text = QString::fromUtf8(*decoded);
    if (text.toUtf8() != *decoded) {
        completion(VantrelError(QStringLiteral("Invalid input")));
        return;
    }
    completion(QJsonValue(text));
}

void CommandAPI::render(const QJsonObject& arguments, const Callback& callback, const Completion& completion) {
    views::VantrelViewState state;
    try {
        state = views::VantrelViewState::build(arguments, QUrl::fromLocalFile(m_package.assetsFolder()));
    } catch (const VantrelError& error) {
        m_logger.error(QStringLiteral("Render error"), {{QStringLiteral("error"), error.errorDescription()}});
        if (m_presenter) m_presenter->renderFailed(error.errorDescription());
        completion(error);
        return;
    }
    // Every event of this render's tree goes through the one callback of the
    // render call, kept alive in the host: a script that does not render
    // again after an event still gets the next one.
    auto send = [callback](const QString& handler, const QJsonValue& data, std::function<void(Result<QJsonValue>)> answer) {
        callback(CallbackParameters{handler, CallbackMode::keepAlive, data, std::nullopt, std::move(answer)});
    };
    if (m_presenter) m_presenter->render(std::move(state), std::move(send));
    completion(QJsonValue());
}

void CommandAPI::showToast(const QJsonObject& arguments, const Completion& completion) {
    const auto style = optionalString(arguments, QStringLiteral("style"));
    const auto title = optionalString(arguments, QStringLiteral("title"));
    if (!style || !kToastStyles.contains(*style) || !title) {
        completion(VantrelError(QStringLiteral("Missing required argument for toast")));
        return;
    }
    m_hasToast = true;
    if (m_presenter) m_presenter->showToast(*style, *title, optionalString(arguments, QStringLiteral("message")));
    completion(QJsonValue(true));
}

void CommandAPI::hideToast(const Completion& completion) {
    if (m_hasToast && m_presenter) m_presenter->hideToast();
    m_hasToast = false;
    completion(QJsonValue());
}

void CommandAPI::changeToast(const QJsonObject& arguments, const Completion& completion) {
    auto style = optionalString(arguments, QStringLiteral("style"));
    if (style && !kToastStyles.contains(*style)) {
        completion(VantrelError(QStringLiteral("Invalid toast style: ") + *style));
        return;
    }
    if (m_hasToast && m_presenter) {
        m_presenter->changeToast(style, optionalString(arguments, QStringLiteral("title")), optionalString(arguments, QStringLiteral("message")));
    }
    completion(QJsonValue());
}

}  // namespace vantrel::extensions
