#pragma once

#include "platform/SystemActions.h"

#include <QMap>

namespace vantrel {

// System actions in memory: the commands the test defined, each with its
// confirmation, or the sentence it is unavailable or fails with. Records
// every command it ran.
class FakeSystemActions : public SystemActions {
public:
    struct Command {
        // The confirmation run() returns.
        QString confirmation;
        // When set, isAvailable() is false with this reason and run() throws it.
        QString unavailableReason;
        // When set (and available), run() throws VantrelError with it.
        QString failure;
    };

    // Defines (or replaces) a command.
    void define(const QString& commandId, Command command);

    QStringList commandIds() const override;
    bool isAvailable(const QString& commandId, QString* reason = nullptr) const override;
    QString run(const QString& commandId) override;

    // Every command run() was asked for, oldest first (failed ones too).
    QStringList ran;

private:
    QStringList m_order;
    QMap<QString, Command> m_commands;
};

}  // namespace vantrel
