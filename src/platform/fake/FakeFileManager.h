#pragma once

#include "platform/FileManager.h"

#include <QList>

namespace vantrel {

// A file manager in memory: records the files it was asked to show and
// answers with the outcome (and error) the test set.
class FakeFileManager : public FileManager {
public:
    Outcome showItems(const QStringList& paths, QString* error = nullptr) override {
        requests.append(paths);
        if (outcome == Outcome::notAnswered && error) *error = errorMessage;
        return outcome;
    }

    Outcome outcome = Outcome::shown;
    QString errorMessage = QStringLiteral("No file manager is running");

    // Every request's paths, oldest first.
    QList<QStringList> requests;
};

}  // namespace vantrel
