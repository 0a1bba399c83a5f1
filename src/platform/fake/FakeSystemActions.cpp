#include "platform/fake/FakeSystemActions.h"

#include "kit/VantrelError.h"

namespace vantrel {

void FakeSystemActions::define(const QString& commandId, Command command) {
    if (!m_commands.contains(commandId)) m_order.append(commandId);
    m_commands.insert(commandId, std::move(command));
}

QStringList FakeSystemActions::commandIds() const {
    return m_order;
}

bool FakeSystemActions::isAvailable(const QString& commandId, QString* reason) const {
    QString problem = m_commands.contains(commandId)
                          ? m_commands.value(commandId).unavailableReason
                          : QStringLiteral("There is no system command \"%1\".").arg(commandId);
    if (reason) *reason = problem;
    return problem.isEmpty();
}

QString FakeSystemActions::run(const QString& commandId) {
    ran.append(commandId);
    QString problem;
    if (!isAvailable(commandId, &problem)) throw VantrelError(problem);
    const Command& command = m_commands[commandId];
    if (!command.failure.isEmpty()) throw VantrelError(command.failure);
    return command.confirmation;
}

}  // namespace vantrel
