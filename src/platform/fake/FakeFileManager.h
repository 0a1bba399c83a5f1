#pragma once

#include "platform/FileManager.h"

#include <QList>

namespace vantrel {

// A file manager in memory: records the files it was asked to show and
// answers at once with the outcome (and error) the test set.
class FakeFileManager : public FileManager {
public:
    void showItems(const QStringList& paths, Completion completion) override {
        requests.append(paths);
        if (completion) completion(outcome, outcome == Outcome::notAnswered ? errorMessage : QString());
    }

    Outcome outcome = Outcome::shown;
    QString errorMessage = QStringLiteral("No file manager is running");

    // Every request's paths, oldest first.
    QList<QStringList> requests;
};

}  // namespace vantrel
