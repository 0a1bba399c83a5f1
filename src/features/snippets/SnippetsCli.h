#pragma once

#include <QString>
#include <QStringList>
#include <QUrlQuery>

namespace vantrel {

class SnippetsService;

namespace snippets {

// What one change asked of the snippets gave: the line for the user.
struct ChangeResult {
    bool ok = false;
    QString message;
};

// add (name, text, keyword), remove (id), import (file): done by whoever
// holds the service, the running launcher (over `vantrel://snippets/ACTION`)
// or the command line itself when no launcher runs.
ChangeResult applyChange(SnippetsService& service, const QString& action, const QUrlQuery& query);

// `vantrel snippets add|list|remove|import|export …`; the exit status.
int snippetsCommand(SnippetsService& service, const QStringList& arguments);

}  // namespace snippets
}  // namespace vantrel
