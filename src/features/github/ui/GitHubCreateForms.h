#pragma once

#include "features/github/GitHubModels.h"
#include "ui/toolkit/FormView.h"

#include <optional>

namespace vantrel::github {

class GitHubAPI;

// "Create Issue" and "Create Pull Request": the repository as OWNER/NAME (its
// labels, branches and node id are loaded when the form is sent), a title and
// a Markdown description; the pull request also takes its branches and the
// draft flag. Sending shows a toast and pops the form when GitHub took it.
FormView* makeCreateIssueForm(GitHubAPI& api, const QString& initialRepository = {});
FormView* makeCreatePullRequestForm(GitHubAPI& api, const QString& initialRepository = {});

// OWNER/NAME into a repository (nothing when it is not that form).
std::optional<Repository> parseRepository(const QString& text);

}  // namespace vantrel::github
