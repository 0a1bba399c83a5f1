#include "features/github/GitHubAPI.h"

#include "kit/Logger.h"
#include "kit/VantrelError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <algorithm>

namespace vantrel::github {

namespace {

const QUrl kDefaultAPI(QStringLiteral("https://api.github.com"));

std::vector<FoundPullRequest> decodePullRequests(const QJsonObject& connection) {
    std::vector<FoundPullRequest> found;
    for (const QJsonValue& node : connection.value(QStringLiteral("nodes")).toArray())
        if (node.isObject() && !node.toObject().isEmpty()) found.push_back(FoundPullRequest::fromJson(node.toObject()));
    return found;
}

std::vector<FoundIssue> decodeIssues(const QJsonObject& connection) {
    std::vector<FoundIssue> found;
    for (const QJsonValue& node : connection.value(QStringLiteral("nodes")).toArray())
        if (node.isObject() && !node.toObject().isEmpty()) found.push_back(FoundIssue::fromJson(node.toObject()));
    return found;
}

QJsonObject graphQLData(const QByteArray& body) {
    return GraphQLResult::decode(body).dataOrThrow();
}

QJsonArray restArray(const QByteArray& body, const QString& key = {}) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        throw VantrelError(QStringLiteral("The GitHub API answered with a body that is not JSON"));
    if (!key.isEmpty() && document.isObject() && document.object().value(key).isArray())
        return document.object().value(key).toArray();
    if (document.isArray()) return document.array();
    throw VantrelError(QStringLiteral("The GitHub API answered with an unexpected body"));
}

template <typename T>
std::vector<T> decodeEach(const QJsonArray& array) {
    std::vector<T> decoded;
    for (const QJsonValue& value : array) decoded.push_back(T::fromJson(value.toObject()));
    return decoded;
}

QString httpErrorMessage(const HTTPError& error) {
    return error.message.isEmpty() ? QStringLiteral("The request to GitHub failed") : error.message;
}

}  // namespace

// MARK: Groups

PullRequestGroups PullRequestGroups::fromData(const QJsonObject& data) {
    using G = SearchPullRequests::Group;
    PullRequestGroups result;
    const std::pair<G, const char*> open[] = {{G::created, "createdOpen"},
                                              {G::assigned, "assignedOpen"},
                                              {G::mentioned, "mentionedOpen"},
                                              {G::reviewRequests, "reviewRequestsOpen"}};
    for (const auto& [group, alias] : open)
        result.groups.push_back({group, decodePullRequests(data.value(QLatin1String(alias)).toObject())});
    Group closed{G::closed, {}};
    QSet<QString> seen;
    for (const char* alias : {"createdClosed", "assignedClosed", "mentionedClosed", "reviewRequestsClosed"})
        for (FoundPullRequest& pr : decodePullRequests(data.value(QLatin1String(alias)).toObject()))
            if (!seen.contains(pr.nodeId)) {
                seen.insert(pr.nodeId);
                closed.items.push_back(std::move(pr));
            }
    std::stable_sort(closed.items.begin(), closed.items.end(),
                     [](const FoundPullRequest& a, const FoundPullRequest& b) { return a.updatedDate > b.updatedDate; });
    result.groups.push_back(std::move(closed));
    return result;
}

QJsonArray PullRequestGroups::toJson() const {
    static const char* const names[] = {"created", "assigned", "mentioned", "reviewRequests", "closed"};
    QJsonArray array;
    for (const Group& group : groups) {
        QJsonArray items;
        for (const FoundPullRequest& pr : group.items) items.append(pr.toJson());
        array.append(QJsonObject{{"group", QLatin1String(names[static_cast<int>(group.group)])},
                                 {"title", title(group.group)},
                                 {"items", items}});
    }
    return array;
}

bool PullRequestGroups::update(const QString& nodeId, const std::function<void(FoundPullRequest&)>& change) {
    bool found = false;
    for (Group& group : groups)
        for (FoundPullRequest& pr : group.items)
            if (pr.nodeId == nodeId) {
                change(pr);
                found = true;
            }
    return found;
}

IssueGroups IssueGroups::fromData(const QJsonObject& data, const std::vector<std::pair<QString, QString>>& aliases) {
    IssueGroups result;
    for (const auto& [alias, title] : aliases) result.groups.push_back({title, decodeIssues(data.value(alias).toObject())});
    return result;
}

QJsonArray IssueGroups::toJson() const {
    QJsonArray array;
    for (const Group& group : groups) {
        QJsonArray items;
        for (const FoundIssue& issue : group.items) items.append(issue.toJson());
        array.append(QJsonObject{{"title", group.title}, {"items", items}});
    }
    return array;
}

bool IssueGroups::update(const QString& nodeId, const std::function<void(FoundIssue&)>& change) {
    bool found = false;
    for (Group& group : groups)
        for (FoundIssue& issue : group.items)
            if (issue.nodeId == nodeId) {
                change(issue);
                found = true;
            }
    return found;
}

// MARK: Addresses

QUrl GitHubAPI::apiBaseURL() {
    const QString configured = qEnvironmentVariable("GITHUB_API_URL").trimmed();
    if (configured.isEmpty()) return kDefaultAPI;
    QUrl url(configured);
    if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty()) return kDefaultAPI;
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/'))) path.chop(1);
    url.setPath(path);
    return url;
}

QUrl GitHubAPI::graphQLURL(const QUrl& apiBase) {
    QUrl url = apiBase;
    QString path = url.path();
    if (path.endsWith(QStringLiteral("/api/v3")))
        path.chop(3);
    else if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    url.setPath(path + QStringLiteral("graphql"));
    return url;
}

QUrl GitHubAPI::webBaseURL(const QUrl& apiBase) {
    const QString configured = qEnvironmentVariable("GITHUB_SERVER_URL").trimmed();
    if (!configured.isEmpty()) return QUrl(configured);
    if (apiBase.host() == kDefaultAPI.host()) return QUrl(QStringLiteral("https://github.com"));
    QUrl web = apiBase;
    web.setPath(QString());
    return web;
}

OAuthConfig GitHubAPI::makeOAuthConfig(HTTPClient& http, const QUrl& apiBase) {
    OAuthConfig config;
    config.packageName = QStringLiteral("GitHub");
    config.version = QStringLiteral("1");
    config.cachingRealm = cachingRealm;
    config.keychainAccount = keychainAccount;
    config.oAuthScope = oAuthScope;
    const QUrl endpoint = graphQLURL(apiBase);
    config.userHandler = [&http, endpoint](const OAuthCredentials& credentials,
                                           std::function<void(const Result<OAuthUser>&)> completion) {
        HTTPRequest request(endpoint, HTTPMethod::postGraphQL,
                            {HTTPHeader::authorization(credentials.accessToken),
                             HTTPHeader::accept("application/vnd.github+json")},
                            UserRequest{}.request().parameters(), HTTPParameterEncoding::jsonHTTPBody());
        http.dataTask(request, CachingPolicy::noCache(), [completion](const HTTPResponse<QByteArray>& response) {
            if (!response.isNetwork()) {
                completion(VantrelError(response.error ? httpErrorMessage(*response.error)
                                                       : QStringLiteral("The request to GitHub failed")));
                return;
            }
            try {
                const User user = User::fromJson(graphQLData(response.value.value_or(QByteArray()))
                                                     .value(QStringLiteral("viewer"))
                                                     .toObject());
                OAuthUser oAuthUser;
                oAuthUser.id = user.nodeId;
                oAuthUser.name = user.name.value_or(user.githubUsername);
                oAuthUser.email = user.email;
                oAuthUser.custom = std::map<QString, QString>{{QStringLiteral("login"), user.githubUsername},
                                                              {QStringLiteral("avatarUrl"), user.avatarUrl}};
                completion(oAuthUser);
            } catch (const std::exception& error) {
                completion(VantrelError(QStringLiteral("Cannot read the signed-in GitHub user"), error));
            }
        });
    };
    return config;
}

// MARK: The client

GitHubAPI::GitHubAPI(HTTPClient& http, std::shared_ptr<OAuthController> authController, QUrl apiBase, QObject* parent)
    : QObject(parent), m_http(&http), m_authController(std::move(authController)), m_apiBase(std::move(apiBase)) {
    filteredPullRequests = makeResource<std::vector<FoundPullRequest>>(
        QStringLiteral("filteredPullRequests"),
        [this]() -> std::optional<HTTPRequest> {
            FilterRequests request;
            request.githubUsername = githubUsername();
            request.filter = pullRequestsFilter;
            return httpRequest(request.request());
        },
        [](const QByteArray& body) {
            return decodePullRequests(graphQLData(body).value(QStringLiteral("search")).toObject());
        });
    pullRequests = makeResource<PullRequestGroups>(
        QStringLiteral("pullRequests"),
        [this]() -> std::optional<HTTPRequest> {
            SearchPullRequests request;
            request.githubUsername = githubUsername();
            request.repository = pullRequestsRepository;
            return httpRequest(request.request());
        },
        [](const QByteArray& body) { return PullRequestGroups::fromData(graphQLData(body)); });
    createdIssues = makeResource<IssueGroups>(
        QStringLiteral("createdIssues"),
        [this]() -> std::optional<HTTPRequest> {
            SearchCreatedIssues request;
            request.githubUsername = githubUsername();
            request.repository = createdIssuesRepository;
            return httpRequest(request.request());
        },
        [](const QByteArray& body) {
            return IssueGroups::fromData(graphQLData(body), {{QStringLiteral("createdOpen"), QStringLiteral("Open")},
                                                             {QStringLiteral("createdClosed"), QStringLiteral("Closed")}});
        });
    openIssues = makeResource<IssueGroups>(
        QStringLiteral("openIssues"),
        [this]() -> std::optional<HTTPRequest> {
            SearchOpenIssues request;
            request.githubUsername = githubUsername();
            request.repository = openIssuesRepository;
            return httpRequest(request.request());
        },
        [](const QByteArray& body) {
            return IssueGroups::fromData(graphQLData(body),
                                         {{QStringLiteral("assignedOpen"), QStringLiteral("Assigned")},
                                          {QStringLiteral("mentionedOpen"), QStringLiteral("Mentioned")}});
        });
    filteredIssues = makeResource<std::vector<FoundIssue>>(
        QStringLiteral("filteredIssues"),
        [this]() -> std::optional<HTTPRequest> {
            FilterRequests request;
            request.isIssues = true;
            request.githubUsername = githubUsername();
            request.filter = issuesFilter;
            return httpRequest(request.request());
        },
        [](const QByteArray& body) { return decodeIssues(graphQLData(body).value(QStringLiteral("search")).toObject()); });
    filteredRepositories = makeResource<std::vector<Repository>>(
        QStringLiteral("filteredRepositories"),
        [this]() -> std::optional<HTTPRequest> {
            SearchRepositories request;
            request.query = SearchRepositories::queryText(repositoryFilter, githubUsername());
            if (repositoryFilter.numberOfItems) request.numberOfItems = static_cast<int>(*repositoryFilter.numberOfItems);
            return httpRequest(request.request());
        },
        [](const QByteArray& body) {
            std::vector<Repository> found;
            const QJsonObject search = graphQLData(body).value(QStringLiteral("search")).toObject();
            for (const QJsonValue& node : search.value(QStringLiteral("nodes")).toArray())
                if (node.isObject() && !node.toObject().isEmpty()) found.push_back(Repository::fromJson(node.toObject()));
            return found;
        });
    workflowRuns = makeResource<std::vector<WorkflowRun>>(
        QStringLiteral("workflowRuns"),
        [this]() -> std::optional<HTTPRequest> {
            if (!workflowRunsRepository) return std::nullopt;
            return httpRequest(WorkflowRuns{workflowRunsRepository, 30}.request());
        },
        [](const QByteArray& body) { return decodeEach<WorkflowRun>(restArray(body, QStringLiteral("workflow_runs"))); });
    notifications = makeResource<std::vector<Notification>>(
        QStringLiteral("notifications"),
        [this]() -> std::optional<HTTPRequest> {
            return httpRequest(Notifications{notificationsRepository, 50}.request());
        },
        [](const QByteArray& body) { return decodeEach<Notification>(restArray(body)); });
    organizations = makeResource<std::vector<Organization>>(
        QStringLiteral("organizations"),
        [this]() -> std::optional<HTTPRequest> { return httpRequest(SearchOrganizations{}.request()); },
        [](const QByteArray& body) {
            std::vector<Organization> found;
            const QJsonObject viewer = graphQLData(body).value(QStringLiteral("viewer")).toObject();
            for (const QJsonValue& node :
                 viewer.value(QStringLiteral("organizations")).toObject().value(QStringLiteral("nodes")).toArray())
                if (node.isObject()) found.push_back(Organization::fromJson(node.toObject()));
            return found;
        });
}

GitHubAPI::~GitHubAPI() = default;

QString GitHubAPI::githubUsername() const {
    const OAuthController::OAuthStatus status = m_authController->status();
    if (status.status != OAuthController::Status::authorized || !status.session || !status.session->user) return {};
    const auto& custom = status.session->user->custom;
    if (!custom) return {};
    const auto login = custom->find(QStringLiteral("login"));
    return login == custom->end() ? QString() : login->second;
}

HTTPRequest GitHubAPI::httpRequest(const GraphQLRequest& request) const {
    // GitHub's GraphQL endpoint answers queries and mutations only as a POST
    // with a JSON body; a GET there is for schema introspection. The lists
    // marked getGraphQL go the same way.
    return HTTPRequest(graphQLURL(m_apiBase), HTTPMethod::postGraphQL,
                       {HTTPHeader::accept("application/vnd.github+json")}, request.parameters(),
                       HTTPParameterEncoding::jsonHTTPBody());
}

HTTPRequest GitHubAPI::httpRequest(const RestRequest& request) const {
    static const HTTPMethod methods[] = {HTTPMethod::get,    HTTPMethod::post,  HTTPMethod::put,        HTTPMethod::delete_,
                                         HTTPMethod::patch, HTTPMethod::get, HTTPMethod::post};
    const QUrl url = APIEndpoint::relative(request.path).resolved(m_apiBase);
    return HTTPRequest(url, methods[static_cast<int>(request.method)],
                       {HTTPHeader::accept("application/vnd.github+json"), {"X-GitHub-Api-Version", "2022-11-28"}},
                       request.query,
                       request.method == RequestMethod::get ? HTTPParameterEncoding::queryString()
                                                            : HTTPParameterEncoding::jsonHTTPBody());
}

vantrel::Result<QJsonObject> GitHubAPI::decodeGraphQL(const QByteArray& body) {
    try {
        return graphQLData(body);
    } catch (const VantrelError& error) {
        return error;
    }
}

template <typename T>
std::shared_ptr<APIResource<T>> GitHubAPI::makeResource(const QString& tag,
                                                        std::function<std::optional<HTTPRequest>()> request,
                                                        std::function<T(const QByteArray&)> decode) {
    auto resource = APIResource<T>::make(
        *m_http, std::move(request),
        CachingPolicy::returnLocalAndNetwork(std::chrono::seconds(cacheExpirySeconds), cachingRealm),
        [decode = std::move(decode)](const QByteArray& data, const HTTPResponseInfo&) -> vantrel::Result<T> {
            try {
                return decode(data);
            } catch (const VantrelError& error) {
                return error;
            } catch (const std::exception& error) {
                return VantrelError(error);
            }
        });
    resource->tag = tag;
    resource->requestAdapter = m_authController->tokenRefreshInterceptor();
    resource->resultInterceptor = m_authController->template invalidTokenErrorInterceptor<T>(resource);
    return resource;
}

std::shared_ptr<APIResource<PullRequestDetails>> GitHubAPI::pullRequestDetails(const QString& nodeId) {
    return makeResource<PullRequestDetails>(
        QStringLiteral("pullRequestDetails"),
        [this, nodeId]() -> std::optional<HTTPRequest> { return httpRequest(DetailsRequest{false, nodeId}.request()); },
        [](const QByteArray& body) {
            const QJsonObject node = graphQLData(body).value(QStringLiteral("node")).toObject();
            if (node.isEmpty()) throw VantrelError(QStringLiteral("GitHub has no such pull request"));
            return PullRequestDetails::fromJson(node);
        });
}

std::shared_ptr<APIResource<IssueDetails>> GitHubAPI::issueDetails(const QString& nodeId) {
    return makeResource<IssueDetails>(
        QStringLiteral("issueDetails"),
        [this, nodeId]() -> std::optional<HTTPRequest> { return httpRequest(DetailsRequest{true, nodeId}.request()); },
        [](const QByteArray& body) {
            const QJsonObject node = graphQLData(body).value(QStringLiteral("node")).toObject();
            if (node.isEmpty()) throw VantrelError(QStringLiteral("GitHub has no such issue"));
            return IssueDetails::fromJson(node);
        });
}

// MARK: Writes

template <typename T>
void GitHubAPI::send(const HTTPRequest& request, std::function<T(const QByteArray&)> decode,
                     std::vector<OptimisticUpdate> updates, std::function<void(const vantrel::Result<T>&)> completion) {
    auto operation = APIOperation<T>::make(
        *m_http, request, [decode = std::move(decode)](const QByteArray& data, const HTTPResponseInfo&) -> vantrel::Result<T> {
            try {
                return decode(data);
            } catch (const VantrelError& error) {
                return error;
            }
        });
    for (OptimisticUpdate& update : updates) operation->addOptimisticUpdate(std::move(update));
    operation->requestAdapter = m_authController->tokenRefreshInterceptor();
    std::weak_ptr<OAuthController> auth = m_authController;
    operation->resultInterceptor = [auth](const HTTPError& error, const std::function<void()>&) {
        // A refused session still fails the write (and undoes its change);
        // the controller forgets the session and asks for a new sign-in.
        HTTPError copy = error;
        if (auto controller = auth.lock()) controller->takeInvalidToken(copy);
        return false;
    };
    operation->onSuccess([completion](const T& value) { completion(value); });
    operation->onFailure([completion](const HTTPError& error) { completion(VantrelError(httpErrorMessage(error))); });
    operation->perform();
}

namespace {

// Applies a change to a resource's shown value, and puts the old one back.
template <typename T>
OptimisticUpdate optimistic(const std::shared_ptr<APIResource<T>>& resource, std::function<bool(T&)> change) {
    auto saved = std::make_shared<std::optional<T>>();
    std::weak_ptr<APIResource<T>> weak = resource;
    return {[weak, saved, change] {
                auto strong = weak.lock();
                if (!strong || !strong->latestValue()) return;
                T value = *strong->latestValue();
                if (!change(value)) return;
                *saved = strong->latestValue();
                strong->setLocalValue(std::move(value));
            },
            [weak, saved] {
                auto strong = weak.lock();
                if (strong && *saved) strong->setLocalValue(**saved);
            }};
}

}  // namespace

void GitHubAPI::changeState(const ChangeState& request, Completion completion) {
    std::vector<OptimisticUpdate> updates;
    const QString nodeId = request.nodeId;
    const bool isPullRequest = request.kind == ChangeState::Kind::closePullRequest ||
                               request.kind == ChangeState::Kind::reopenPullRequest;
    const bool closes = request.kind == ChangeState::Kind::closePullRequest || request.kind == ChangeState::Kind::closeIssue;
    if (isPullRequest) {
        const auto changePR = [closes](FoundPullRequest& pr) { pr.isClosed = closes; };
        updates.push_back(optimistic<PullRequestGroups>(
            pullRequests, [nodeId, changePR](PullRequestGroups& value) { return value.update(nodeId, changePR); }));
        updates.push_back(optimistic<std::vector<FoundPullRequest>>(
            filteredPullRequests, [nodeId, changePR](std::vector<FoundPullRequest>& list) {
                bool found = false;
                for (FoundPullRequest& pr : list)
                    if (pr.nodeId == nodeId) changePR(pr), found = true;
                return found;
            }));
    } else {
        const auto changeIssue = [closes](FoundIssue& issue) { issue.state = closes ? IssueState::closed : IssueState::open; };
        for (const auto& resource : {createdIssues, openIssues})
            updates.push_back(optimistic<IssueGroups>(
                resource, [nodeId, changeIssue](IssueGroups& value) { return value.update(nodeId, changeIssue); }));
        updates.push_back(optimistic<std::vector<FoundIssue>>(filteredIssues, [nodeId, changeIssue](std::vector<FoundIssue>& list) {
            bool found = false;
            for (FoundIssue& issue : list)
                if (issue.nodeId == nodeId) changeIssue(issue), found = true;
            return found;
        }));
    }
    send<QJsonObject>(httpRequest(request.request()), graphQLData, std::move(updates),
                      [completion](const vantrel::Result<QJsonObject>& result) {
                          if (completion) completion(result.isFailure() ? std::optional(result.error().errorDescription()) : std::nullopt);
                      });
}

void GitHubAPI::mergePullRequest(const QString& nodeId, MergePullRequestMethod method, Completion completion) {
    const auto merge = [](FoundPullRequest& pr) {
        pr.isMerged = true;
        pr.isClosed = true;
    };
    std::vector<OptimisticUpdate> updates;
    updates.push_back(optimistic<PullRequestGroups>(
        pullRequests, [nodeId, merge](PullRequestGroups& value) { return value.update(nodeId, merge); }));
    updates.push_back(optimistic<std::vector<FoundPullRequest>>(filteredPullRequests,
                                                                [nodeId, merge](std::vector<FoundPullRequest>& list) {
                                                                    bool found = false;
                                                                    for (FoundPullRequest& pr : list)
                                                                        if (pr.nodeId == nodeId) merge(pr), found = true;
                                                                    return found;
                                                                }));
    send<QJsonObject>(httpRequest(MergePullRequest{nodeId, method}.request()), graphQLData, std::move(updates),
                      [completion](const vantrel::Result<QJsonObject>& result) {
                          if (completion) completion(result.isFailure() ? std::optional(result.error().errorDescription()) : std::nullopt);
                      });
}

void GitHubAPI::closePullRequest(const QString& nodeId, Completion completion) {
    changeState({ChangeState::Kind::closePullRequest, nodeId}, std::move(completion));
}
void GitHubAPI::reopenPullRequest(const QString& nodeId, Completion completion) {
    changeState({ChangeState::Kind::reopenPullRequest, nodeId}, std::move(completion));
}
void GitHubAPI::closeIssue(const QString& nodeId, Completion completion) {
    changeState({ChangeState::Kind::closeIssue, nodeId}, std::move(completion));
}
void GitHubAPI::reopenIssue(const QString& nodeId, Completion completion) {
    changeState({ChangeState::Kind::reopenIssue, nodeId}, std::move(completion));
}

void GitHubAPI::createIssue(const CreateIssue& request, std::function<void(const Result<FoundIssue>&)> completion) {
    send<FoundIssue>(
        httpRequest(request.request()),
        [](const QByteArray& body) {
            return FoundIssue::fromJson(graphQLData(body)
                                            .value(QStringLiteral("createIssue"))
                                            .toObject()
                                            .value(QStringLiteral("issue"))
                                            .toObject());
        },
        {}, std::move(completion));
}

void GitHubAPI::createPullRequest(const CreatePullRequest& request, const InitPullRequest& details,
                                  std::function<void(const Result<NewPullRequest>&)> completion) {
    send<NewPullRequest>(
        httpRequest(request.request()),
        [](const QByteArray& body) {
            return NewPullRequest::fromJson(graphQLData(body)
                                                .value(QStringLiteral("createPullRequest"))
                                                .toObject()
                                                .value(QStringLiteral("pullRequest"))
                                                .toObject());
        },
        {},
        [this, details, completion](const Result<NewPullRequest>& created) {
            if (created.isFailure()) {
                completion(created);
                return;
            }
            InitPullRequest init = details;
            init.pullRequest = created.value();
            if (init.reviewers.isEmpty() && init.assignees.isEmpty() && init.labels.isEmpty() &&
                init.projects.isEmpty() && !init.milestone) {
                completion(created);
                return;
            }
            // The reviewers, assignees, labels, projects and milestone go in a second write.
            send<QJsonObject>(httpRequest(init.request()), graphQLData, {},
                              [completion, created](const Result<QJsonObject>& initialised) {
                                  if (initialised.isFailure())
                                      completion(VantrelError(QStringLiteral("The pull request was created, but not all of its details were set"),
                                                              initialised.error()));
                                  else
                                      completion(created);
                              });
        });
}

void GitHubAPI::dataForRepository(const Repository& repository,
                                  std::function<void(const Result<DataForRepository>&)> completion) {
    send<DataForRepository>(
        httpRequest(DataForRepositoryRequest{repository}.request()),
        [](const QByteArray& body) {
            return DataForRepository::fromJson(graphQLData(body).value(QStringLiteral("repository")).toObject());
        },
        {}, std::move(completion));
}

void GitHubAPI::workflowRunAction(const WorkflowRunAction& action, Completion completion) {
    send<QByteArray>(httpRequest(action.request()), [](const QByteArray& body) { return body; }, {},
                     [completion](const Result<QByteArray>& result) {
                         if (completion) completion(result.isFailure() ? std::optional(result.error().errorDescription()) : std::nullopt);
                     });
}

}  // namespace vantrel::github
