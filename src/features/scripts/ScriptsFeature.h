#pragma once

#include "core/api/Feature.h"
#include "features/scripts/ScriptCommandActionProvider.h"
#include "features/scripts/ScriptsApi.h"

#include <QObject>

#include <memory>

namespace vantrel {

class FeatureContext;
class ScriptCommandsService;
class ScriptCommandsSource;

// Script commands: executable files in the user's script directories whose
// comment header makes them commands. Registers the scripts' search records
// and their commands by id, their rows and actions in root search,
// "Reload Script Directories" and `vantrel://scripts/reload`, the create-script
// form, the "Script Commands" preferences page and the hotkeys of single
// scripts; start() loads and watches the directories and schedules the inline
// scripts that refresh themselves.
class ScriptsFeature : public Feature, public ScriptsApi {
public:
    ScriptsFeature();
    ~ScriptsFeature() override;

    QString name() const override { return QStringLiteral("scripts"); }
    void registerWith(FeatureContext& context) override;
    void start() override;

    // ScriptsApi
    std::vector<ScriptCommand> scriptCommands() const override;
    std::optional<ScriptCommand> scriptCommand(const QString& id) const override;
    QStringList scriptDirectories() const override;
    Signal<>& scriptCommandsChanged() override { return m_scriptCommandsChanged; }

    // Null before registerWith.
    ScriptCommandsService* service() const { return m_service.get(); }
    ScriptCommandsSource* source() const { return m_source.get(); }

    // Runs a script outside of root search (its hotkey, a vantrel://commands
    // link) as its mode says. Without a value for a required argument it does
    // not run: the outcome asks the window for the arguments.
    CommandOutcome run(const ScriptCommand& command, const QStringList& arguments) const;
    // The hotkey of the script with this id was pressed.
    void runFromHotkey(const QString& key) const;
    // The "Open With" chooser of script rows: file search's, when that
    // feature is registered; none otherwise.
    ScriptCommandActionProvider::OpenWithMenu openWithChooser() const;

    FeatureContext* m_context = nullptr;
    std::unique_ptr<ScriptCommandsService> m_service;
    std::shared_ptr<ScriptCommandsSource> m_source;
    // The rows' subscription to scheduled runs, and ours to the loaded commands.
    std::unique_ptr<QObject> m_items;
    std::unique_ptr<QObject> m_subscriptions;
    bool m_started = false;
    Signal<> m_scriptCommandsChanged;
};

}  // namespace vantrel
