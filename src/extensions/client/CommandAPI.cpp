#include "extensions/client/CommandAPI.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>
#include <QUuid>

#include <cmath>
#include <limits>
#include <utility>

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

CommandAPI::CommandAPI(QString id, ExtensionPackage package, std::shared_ptr<CommandPresenter> presenter, Services services)
    : m_id(std::move(id)),
      m_package(std::move(package)),
      m_presenter(std::move(presenter)),
      m_services(std::move(services)),
      m_logger({QStringLiteral("extension.") + m_package.id.name, QStringLiteral("🧩")}),
      m_context(std::make_unique<QObject>()) {
    m_logger.debug(QStringLiteral("Init: ") + m_id);
}

CommandAPI::~CommandAPI() {
    uninstall();
    m_logger.debug(QStringLiteral("Deinit: ") + m_id);
}

void CommandAPI::uninstall() {
    if (m_timers.empty() && m_httpRequests.empty()) return;
    m_logger.debug(QStringLiteral("Uninstall: ") + m_id);
    for (auto& [id, timer] : std::exchange(m_timers, {})) {
        timer->stop();
        timer->deleteLater();
    }
    cancelHTTPRequests();
}

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

// MARK: Opening

namespace {

// A local path as an extension gives it: absolute, or starting with "~/".
std::optional<QString> localPath(const QJsonValue& value) {
    if (!value.isString()) return std::nullopt;
    QString path = value.toString();
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/"))) path = QDir::homePath() + path.mid(1);
    if (path.isEmpty() || !QDir::isAbsolutePath(path)) return std::nullopt;
    return path;
}

}  // namespace

void CommandAPI::open(const QJsonObject& arguments, const Completion& completion) {
    const QJsonValue launch = arguments.value(QStringLiteral("launch"));
    if (launch.isUndefined() || launch.isNull()) return completion(VantrelError(QStringLiteral("Missing launch info")));
    if (!launch.isObject()) return completion(VantrelError(QStringLiteral("Invalid launch info")));
    const QJsonObject info = launch.toObject();
    const QJsonValue typeValue = info.value(QStringLiteral("type"));
    if (typeValue.isUndefined() || typeValue.isNull()) return completion(VantrelError(QStringLiteral("Missing launch type")));
    const QString type = typeValue.isString() ? typeValue.toString() : logText(typeValue);
    const QStringList types{QStringLiteral("url"), QStringLiteral("file"), QStringLiteral("app"), QStringLiteral("finder")};
    if (!types.contains(type)) return completion(VantrelError(QStringLiteral("Unsupported launch type: ") + type));

    // The values are checked before anything happens on the desktop.
    QUrl url;
    std::optional<QString> path;
    QString name;
    QStringList appArguments;
    QStringList paths;
    if (type == QLatin1String("url")) {
        const QJsonValue value = info.value(QStringLiteral("url"));
        url = value.isString() ? QUrl(value.toString().trimmed(), QUrl::StrictMode) : QUrl();
        if (!url.isValid() || url.scheme().isEmpty()) return completion(VantrelError(QStringLiteral("Invalid URL")));
    } else if (type == QLatin1String("file")) {
        path = localPath(info.value(QStringLiteral("path")));
        if (!path) return completion(VantrelError(QStringLiteral("Invalid path")));
    } else if (type == QLatin1String("app")) {
        const QJsonValue value = info.value(QStringLiteral("name"));
        name = value.toString().trimmed();
        if (!value.isString() || name.isEmpty()) return completion(VantrelError(QStringLiteral("Invalid name")));
        const QJsonValue list = info.value(QStringLiteral("arguments"));
        if (!list.isUndefined() && !list.isNull()) {
            if (!list.isArray()) return completion(VantrelError(QStringLiteral("Invalid arguments")));
            for (const QJsonValue& argument : list.toArray()) {
                if (!argument.isString()) return completion(VantrelError(QStringLiteral("Invalid arguments")));
                appArguments << argument.toString();
            }
        }
    } else {
        const QJsonValue list = info.value(QStringLiteral("paths"));
        if (!list.isArray() || list.toArray().isEmpty()) return completion(VantrelError(QStringLiteral("Invalid paths")));
        for (const QJsonValue& value : list.toArray()) {
            const auto one = localPath(value);
            if (!one) return completion(VantrelError(QStringLiteral("Invalid paths")));
            paths << *one;
        }
    }

    const std::shared_ptr<AppManager> manager = m_services.appManager;
    if (!manager) return completion(VantrelError(QStringLiteral("Not available here: opening needs the launcher's desktop")));
    try {
        if (type == QLatin1String("url")) {
            try {
                manager->openURL(url);
            } catch (const std::exception&) {
                return completion(VantrelError(QStringLiteral("Cannot open URL ") + url.toString()));
            }
        } else if (type == QLatin1String("file")) {
            manager->openFile(*path);
        } else if (type == QLatin1String("app")) {
            manager->openApplication(name, appArguments);
        } else {
            manager->showInFileManager(paths, [completion](std::optional<QString> failure) {
                if (failure) return completion(VantrelError(*failure));
                completion(QJsonValue());
            });
            return;
        }
    } catch (const std::exception& error) {
        return completion(VantrelError(VantrelError::describe(error)));
    }
    completion(QJsonValue());
}

// MARK: Clipboard

void CommandAPI::setClipboardContents(const QJsonObject& arguments, const Completion& completion) {
    const QJsonValue contents = arguments.value(QStringLiteral("contents"));
    if (contents.isUndefined() || contents.isNull()) return completion(VantrelError(QStringLiteral("Missing contents info")));
    if (!contents.isObject()) return completion(VantrelError(QStringLiteral("Invalid contents info")));
    const QJsonObject info = contents.toObject();
    const QJsonValue type = info.value(QStringLiteral("type"));
    if (type.isUndefined() || type.isNull()) return completion(VantrelError(QStringLiteral("Missing contents type")));
    if (type.toString() != QLatin1String("text")) {
        return completion(VantrelError(QStringLiteral("Unsupported contents type: ") + (type.isString() ? type.toString() : logText(type))));
    }
    const QJsonValue text = info.value(QStringLiteral("text"));
    if (!text.isString()) return completion(VantrelError(QStringLiteral("Invalid text contents")));
    const std::optional<QString> name = optionalString(info, QStringLiteral("name"));
    const bool closeWindow = arguments.value(QStringLiteral("shouldCloseWindow")).toBool(false);

    if (!m_services.appManager) return completion(VantrelError(QStringLiteral("Not available here: the clipboard needs the launcher's desktop")));
    try {
        m_services.appManager->setClipboardText(text.toString());
    } catch (const std::exception& error) {
        return completion(VantrelError(VantrelError::describe(error)));
    }
    const QString confirmation =
        name && !name->isEmpty() ? QStringLiteral("Copied ") + *name + QStringLiteral(" to clipboard") : QStringLiteral("Copied to clipboard");
    if (m_presenter) {
        if (closeWindow) {
            m_presenter->closeWindow();
            m_presenter->showToast(QStringLiteral("hud"), confirmation, std::nullopt);
        } else {
            m_presenter->showToast(QStringLiteral("success"), confirmation, std::nullopt);
        }
    }
    completion(QJsonValue());
}

void CommandAPI::clearClipboardContents(const Completion& completion) {
    if (!m_services.appManager) return completion(VantrelError(QStringLiteral("Not available here: the clipboard needs the launcher's desktop")));
    try {
        m_services.appManager->clearClipboard();
    } catch (const std::exception& error) {
        return completion(VantrelError(VantrelError::describe(error)));
    }
    completion(QJsonValue());
}

// MARK: Timers

void CommandAPI::setTimeout(const QJsonObject& arguments, const Callback& callback, const Completion& completion) {
    const QJsonValue milliseconds = arguments.value(QStringLiteral("milliseconds"));
    if (!milliseconds.isDouble()) return completion(VantrelError(QStringLiteral("Missing milliseconds value")));
    // A delay QTimer cannot hold is as good as never: it is refused.
    const double delay = std::max(0.0, milliseconds.toDouble());
    if (!std::isfinite(delay) || delay > std::numeric_limits<int>::max()) {
        return completion(VantrelError(QStringLiteral("Invalid milliseconds value")));
    }
    const QString id = newUuid();
    auto* timer = new QTimer(m_context.get());
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, m_context.get(), [this, id, timer, callback] {
        m_timers.erase(id);
        timer->deleteLater();
        if (callback) callback(CallbackParameters{QStringLiteral("timeout"), CallbackMode::once, QJsonValue(), std::nullopt, {}});
    });
    m_timers.emplace(id, timer);
    timer->start(static_cast<int>(delay));
    completion(QJsonValue(id));
}

void CommandAPI::clearTimeout(const QJsonObject& arguments, const Completion& completion) {
    const QJsonValue id = arguments.value(QStringLiteral("id"));
    if (!id.isString()) return completion(VantrelError(QStringLiteral("Missing id value")));
    const auto found = m_timers.find(id.toString());
    if (found != m_timers.end()) {
        found->second->stop();
        found->second->deleteLater();
        m_timers.erase(found);
    }
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
