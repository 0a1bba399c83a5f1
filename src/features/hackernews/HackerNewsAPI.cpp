#include "features/hackernews/HackerNewsAPI.h"

#include "kit/Logger.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QTimeZone>
#include <QUrlQuery>

namespace vantrel::hackernews {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("HackerNews"), QStringLiteral("📰")});
    return logger;
}

// Answers are stored once they parsed, so that a broken answer never replaces a good list.
CachingPolicy storing() { return CachingPolicy::returnNetworkOnly(HackerNewsClient::realm); }
CachingPolicy reading() { return CachingPolicy::returnLocalOnly(HackerNewsClient::cacheLifetime, HackerNewsClient::realm); }

Result<QJsonDocument> parseJson(const QByteArray& body) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        return VantrelError(QStringLiteral("Cannot decode JSON: ") + error.errorString());
    return document;
}

}  // namespace

QString Story::domain() const {
    QString host = url.host();
    if (host.startsWith(QLatin1String("www."))) host = host.mid(4);
    return host;
}

QString Story::summary() const {
    QStringList parts;
    parts << (score == 1 ? QStringLiteral("1 point") : QStringLiteral("%1 points").arg(score));
    if (!by.isEmpty()) parts << QStringLiteral("by ") + by;
    if (type != QLatin1String("job"))
        parts << (comments == 1 ? QStringLiteral("1 comment") : QStringLiteral("%1 comments").arg(comments));
    return parts.join(QStringLiteral(" · "));
}

QJsonObject Story::toJson() const {
    QJsonObject object{{QStringLiteral("id"), id},
                       {QStringLiteral("title"), title},
                       {QStringLiteral("url"), link().toString()},
                       {QStringLiteral("commentsUrl"), commentsUrl.toString()},
                       {QStringLiteral("by"), by},
                       {QStringLiteral("score"), score},
                       {QStringLiteral("comments"), comments},
                       {QStringLiteral("type"), type}};
    if (time.isValid()) object.insert(QStringLiteral("time"), time.toString(Qt::ISODate));
    return object;
}

HackerNewsClient::HackerNewsClient(HTTPClient& http, QUrl apiBase, QUrl siteBase)
    : m_http(http), m_apiBase(std::move(apiBase)), m_siteBase(std::move(siteBase)) {
    // Paths resolve below the base, whether or not it was written with a final "/".
    if (!m_apiBase.path().endsWith(QLatin1Char('/'))) m_apiBase.setPath(m_apiBase.path() + QLatin1Char('/'));
    if (!m_siteBase.path().endsWith(QLatin1Char('/'))) m_siteBase.setPath(m_siteBase.path() + QLatin1Char('/'));
}

HackerNewsClient::~HackerNewsClient() { *m_alive = false; }

HTTPRequest HackerNewsClient::request(const QString& path) const {
    HTTPRequest request(m_apiBase.resolved(QUrl(path)));
    request.setHeader(HTTPHeader::accept("application/json"));
    return request;
}

QUrl HackerNewsClient::commentsUrl(const QUrl& siteBase, qint64 id) {
    QUrl url = siteBase.resolved(QUrl(QStringLiteral("item")));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("id"), QString::number(id));
    url.setQuery(query);
    return url;
}

Result<std::vector<qint64>> HackerNewsClient::parseStoryIds(const QByteArray& body) {
    Result<QJsonDocument> parsed = parseJson(body);
    if (parsed.isFailure()) return parsed.error();
    const QJsonDocument& document = parsed.value();
    if (!document.isArray()) return VantrelError(QStringLiteral("The list of top stories is not a JSON array"));
    std::vector<qint64> ids;
    for (const QJsonValue& value : document.array()) {
        const double number = value.toDouble(-1);
        if (!value.isDouble() || number < 1 || number != static_cast<double>(static_cast<qint64>(number)))
            return VantrelError(QStringLiteral("The list of top stories holds something that is not a story id: ") +
                                QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact)));
        ids.push_back(static_cast<qint64>(number));
    }
    return ids;
}

Result<std::optional<Story>> HackerNewsClient::parseStory(const QByteArray& body, const QUrl& siteBase) {
    // An id the API does not know is answered with a bare null.
    if (body.trimmed() == "null") return std::optional<Story>();
    Result<QJsonDocument> parsed = parseJson(body);
    if (parsed.isFailure()) return parsed.error();
    if (!parsed.value().isObject()) return VantrelError(QStringLiteral("A story is not a JSON object"));
    const QJsonObject object = parsed.value().object();
    if (object.value(QStringLiteral("deleted")).toBool() || object.value(QStringLiteral("dead")).toBool())
        return std::optional<Story>();
    Story story;
    story.id = static_cast<qint64>(object.value(QStringLiteral("id")).toDouble());
    story.title = object.value(QStringLiteral("title")).toString().trimmed();
    if (story.id < 1) return VantrelError(QStringLiteral("A story has no id"));
    if (story.title.isEmpty()) return VantrelError(QStringLiteral("A story has no title: %1").arg(story.id));
    const QString link = object.value(QStringLiteral("url")).toString().trimmed();
    if (!link.isEmpty()) {
        const QUrl url(link, QUrl::StrictMode);
        // Only web links open from the list; anything else is shown as a text post.
        if (url.isValid() && (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http")))
            story.url = url;
    }
    story.by = object.value(QStringLiteral("by")).toString();
    story.score = object.value(QStringLiteral("score")).toInt();
    story.comments = object.value(QStringLiteral("descendants")).toInt();
    story.type = object.value(QStringLiteral("type")).toString(QStringLiteral("story"));
    const double seconds = object.value(QStringLiteral("time")).toDouble();
    if (seconds > 0) story.time = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(seconds), Qt::UTC);
    story.commentsUrl = commentsUrl(siteBase, story.id);
    return std::optional<Story>(std::move(story));
}

std::optional<StoryList> HackerNewsClient::cachedTopStories(int limit) const {
    const std::optional<HTTPCache::Entry> list = m_http.cachedResponse(request(QStringLiteral("topstories.json")), reading());
    if (!list) return std::nullopt;
    const Result<std::vector<qint64>> ids = parseStoryIds(list->data);
    if (ids.isFailure()) return std::nullopt;
    StoryList cached;
    cached.cached = true;
    for (qint64 id : ids.value()) {
        if (static_cast<int>(cached.stories.size()) + cached.missing >= limit) break;
        const auto entry = m_http.cachedResponse(request(QStringLiteral("item/%1.json").arg(id)), reading());
        const Result<std::optional<Story>> story = entry ? parseStory(entry->data, m_siteBase)
                                                         : Result<std::optional<Story>>(std::optional<Story>());
        if (story.isSuccess() && story.value())
            cached.stories.push_back(*story.value());
        else
            ++cached.missing;
    }
    if (cached.stories.empty()) return std::nullopt;
    return cached;
}

void HackerNewsClient::fetchTopStories(int limit, Completion done) {
    struct Fetch {
        std::vector<qint64> ids;
        std::vector<std::optional<Story>> stories;
        std::vector<bool> answered;
        int waiting = 0;
        std::optional<QString> firstProblem;
        Completion done;
    };
    auto fetch = std::make_shared<Fetch>();
    fetch->done = std::move(done);
    std::weak_ptr<bool> alive = m_alive;
    const HTTPRequest top = request(QStringLiteral("topstories.json"));
    m_http.performRequest(top, CachingPolicy::noCache(),
                          [this, fetch, limit, alive, top](const HTTPResponse<QByteArray>& answer) {
        if (alive.expired()) return;
        if (!answer.isNetwork()) {
            const QString why = answer.error ? answer.error->message : QStringLiteral("No HTTP data or response");
            log().error("Could not load the top stories", {{QStringLiteral("error"), why}});
            fetch->done(VantrelError(QStringLiteral("Could not load the top stories: ") + why));
            return;
        }
        Result<std::vector<qint64>> ids = parseStoryIds(answer.value.value_or(QByteArray()));
        if (ids.isFailure()) {
            fetch->done(VantrelError(QStringLiteral("Could not load the top stories: ") + ids.error().errorDescription()));
            return;
        }
        m_http.cache().storeResponse(answer.response, answer.value.value_or(QByteArray()), top, storing());
        fetch->ids = std::move(ids).value();
        if (static_cast<int>(fetch->ids.size()) > limit) fetch->ids.resize(static_cast<size_t>(limit));
        fetch->stories.resize(fetch->ids.size());
        fetch->answered.resize(fetch->ids.size(), false);
        fetch->waiting = static_cast<int>(fetch->ids.size());
        if (fetch->ids.empty()) {
            fetch->done(StoryList{});
            return;
        }
        const auto finish = [fetch] {
            StoryList list;
            for (size_t i = 0; i < fetch->ids.size(); ++i) {
                if (fetch->stories[i])
                    list.stories.push_back(*fetch->stories[i]);
                else if (!fetch->answered[i])
                    ++list.missing;
            }
            if (list.stories.empty() && list.missing > 0)
                fetch->done(VantrelError(QStringLiteral("Could not load any story: ") + fetch->firstProblem.value_or(QString())));
            else
                fetch->done(std::move(list));
        };
        for (size_t i = 0; i < fetch->ids.size(); ++i) {
            const HTTPRequest item = request(QStringLiteral("item/%1.json").arg(fetch->ids[i]));
            m_http.performRequest(item, CachingPolicy::noCache(), [this, fetch, i, item, alive, finish](const HTTPResponse<QByteArray>& got) {
                if (alive.expired()) return;
                std::optional<QString> problem;
                if (got.isNetwork()) {
                    const Result<std::optional<Story>> story = parseStory(got.value.value_or(QByteArray()), m_siteBase);
                    if (story.isSuccess()) {
                        m_http.cache().storeResponse(got.response, got.value.value_or(QByteArray()), item, storing());
                        fetch->stories[i] = story.value();
                        fetch->answered[i] = true;
                    } else {
                        problem = story.error().errorDescription();
                    }
                } else {
                    problem = got.error ? got.error->message : QStringLiteral("No HTTP data or response");
                }
                if (problem) {
                    log().warning("Could not load a story", {{QStringLiteral("id"), QString::number(fetch->ids[i])},
                                                              {QStringLiteral("error"), *problem}});
                    if (!fetch->firstProblem) fetch->firstProblem = problem;
                    // The copy read before, when there is one.
                    if (const auto entry = m_http.cachedResponse(item, reading())) {
                        const Result<std::optional<Story>> story = parseStory(entry->data, m_siteBase);
                        if (story.isSuccess() && story.value()) fetch->stories[i] = story.value();
                    }
                }
                if (--fetch->waiting == 0) finish();
            });
        }
    });
}

Result<StoryList> HackerNewsClient::fetchTopStoriesAndWait(int limit) {
    std::optional<Result<StoryList>> answer;
    QEventLoop loop;
    fetchTopStories(limit, [&](Result<StoryList> result) {
        answer = std::move(result);
        loop.quit();
    });
    if (!answer) loop.exec();
    return std::move(*answer);
}

}  // namespace vantrel::hackernews
