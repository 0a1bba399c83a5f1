#include "features/github/ui/GitHubCreateForms.h"

#include "core/api/LauncherPresenter.h"
#include "features/github/GitHubAPI.h"

#include <QPointer>

namespace vantrel::github {

std::optional<Repository> parseRepository(const QString& text) {
    const QStringList parts = text.trimmed().split(QLatin1Char('/'));
    if (parts.size() != 2 || parts[0].isEmpty() || parts[1].isEmpty() || parts[0].contains(QLatin1Char(' ')) ||
        parts[1].contains(QLatin1Char(' ')))
        return std::nullopt;
    Repository repository;
    repository.owner.githubUsername = parts[0];
    repository.name = parts[1];
    return repository;
}

namespace {

FormView::Field repositoryField(const QString& initial) {
    FormView::Field field;
    field.id = QStringLiteral("repository");
    field.title = QStringLiteral("Repository");
    field.placeholder = QStringLiteral("owner/name");
    field.defaultValue = initial;
    field.required = true;
    field.validate = [](const QVariant& value) {
        return parseRepository(value.toString()) ? QString() : QStringLiteral("Use the form owner/name");
    };
    return field;
}

FormView::Field textField(const char* id, const char* title, bool required, FormView::Field::Type type = FormView::Field::Type::textField,
                          const char* placeholder = "") {
    FormView::Field field;
    field.id = QLatin1String(id);
    field.title = QLatin1String(title);
    field.type = type;
    field.required = required;
    field.placeholder = QLatin1String(placeholder);
    return field;
}

void tell(QPointer<FormView> form, const Toast& toast, bool pop) {
    if (!form) return;
    if (LauncherPresenter* window = form->presenter()) window->showToast(toast);
    if (pop) emit form->popRequested();
}

CommandOutcome sending(const char* text) {
    CommandOutcome shown = CommandOutcome::done();
    shown.toastTitle = QLatin1String(text);
    return shown;
}

}  // namespace

FormView* makeCreateIssueForm(GitHubAPI& api, const QString& initialRepository) {
    auto* form = new FormView(QStringLiteral("Create Issue"),
                              {repositoryField(initialRepository), textField("title", "Title", true),
                               textField("description", "Description", false, FormView::Field::Type::textArea,
                                         "Markdown is supported")});
    form->setObjectName(QStringLiteral("gitHubCreateIssueForm"));
    form->setSubmitTitle(QStringLiteral("Create Issue"));
    QPointer<FormView> self(form);
    GitHubAPI* client = &api;
    form->setSubmitHandler([self, client](const QVariantMap& values) {
        const Repository repository = *parseRepository(values.value(QStringLiteral("repository")).toString());
        const QString title = values.value(QStringLiteral("title")).toString().trimmed();
        const QString body = values.value(QStringLiteral("description")).toString();
        client->dataForRepository(repository, [self, client, repository, title, body](const Result<DataForRepository>& data) {
            if (data.isFailure()) {
                tell(self, {Toast::Style::failure, QStringLiteral("Failed creating issue"), data.error().errorDescription()}, false);
                return;
            }
            CreateIssue request;
            request.repository = repository;
            request.repository.nodeId = data.value().repositoryNodeId;
            request.title = title;
            request.markdownDescription = body;
            client->createIssue(request, [self](const Result<FoundIssue>& created) {
                if (created.isFailure())
                    tell(self, {Toast::Style::failure, QStringLiteral("Failed creating issue"), created.error().errorDescription()}, false);
                else
                    tell(self, {Toast::Style::success, QStringLiteral("Created issue"),
                                QStringLiteral("#%1 %2").arg(created.value().number).arg(created.value().title)},
                         true);
            });
        });
        return sending("Creating issue…");
    });
    return form;
}

FormView* makeCreatePullRequestForm(GitHubAPI& api, const QString& initialRepository) {
    FormView::Field draft;
    draft.id = QStringLiteral("draft");
    draft.title = QStringLiteral("Draft");
    draft.type = FormView::Field::Type::checkbox;
    draft.checkboxLabel = QStringLiteral("Open as a draft");
    draft.defaultValue = false;
    auto* form = new FormView(QStringLiteral("Create Pull Request"),
                              {repositoryField(initialRepository), textField("from", "From Branch", true),
                               textField("to", "Into Branch", false, FormView::Field::Type::textField,
                                         "the default branch"),
                               textField("title", "Title", true),
                               textField("description", "Description", false, FormView::Field::Type::textArea,
                                         "Markdown is supported"),
                               draft});
    form->setObjectName(QStringLiteral("gitHubCreatePullRequestForm"));
    form->setSubmitTitle(QStringLiteral("Create Pull Request"));
    QPointer<FormView> self(form);
    GitHubAPI* client = &api;
    form->setSubmitHandler([self, client](const QVariantMap& values) {
        const Repository repository = *parseRepository(values.value(QStringLiteral("repository")).toString());
        client->dataForRepository(repository, [self, client, repository, values](const Result<DataForRepository>& data) {
            if (data.isFailure()) {
                tell(self, {Toast::Style::failure, QStringLiteral("Failed creating pull request"), data.error().errorDescription()}, false);
                return;
            }
            CreatePullRequest request;
            request.repository = repository;
            request.repository.nodeId = data.value().repositoryNodeId;
            request.from.name = values.value(QStringLiteral("from")).toString().trimmed();
            const QString into = values.value(QStringLiteral("to")).toString().trimmed();
            request.to.name = !into.isEmpty() ? into
                              : data.value().defaultBranchRef ? data.value().defaultBranchRef->name
                                                              : QStringLiteral("main");
            request.title = values.value(QStringLiteral("title")).toString().trimmed();
            request.markdownDescription = values.value(QStringLiteral("description")).toString();
            if (request.markdownDescription.isEmpty() && data.value().pullRequestTemplate)
                request.markdownDescription = *data.value().pullRequestTemplate;
            request.isDraft = values.value(QStringLiteral("draft")).toBool();
            client->createPullRequest(request, InitPullRequest{}, [self](const Result<NewPullRequest>& created) {
                if (created.isFailure())
                    tell(self, {Toast::Style::failure, QStringLiteral("Failed creating pull request"), created.error().errorDescription()}, false);
                else
                    tell(self, {Toast::Style::success, QStringLiteral("Created pull request"),
                                QStringLiteral("#%1 %2").arg(created.value().number).arg(created.value().title)},
                         true);
            });
        });
        return sending("Creating pull request…");
    });
    return form;
}

}  // namespace vantrel::github
