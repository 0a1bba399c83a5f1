#pragma once

#include "core/api/CommandOutcome.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace vantrel {

// How often a command refreshes its output: a count of seconds, minutes, hours
// or days, or never.
struct CommandRefreshTime {
    enum class Unit { none, seconds, minutes, hours, days };
    Unit unit = Unit::none;
    std::int64_t count = 0;

    static CommandRefreshTime none() { return {}; }
    static CommandRefreshTime seconds(std::int64_t n) { return {Unit::seconds, n}; }
    static CommandRefreshTime minutes(std::int64_t n) { return {Unit::minutes, n}; }
    static CommandRefreshTime hours(std::int64_t n) { return {Unit::hours, n}; }
    static CommandRefreshTime days(std::int64_t n) { return {Unit::days, n}; }

    // "5m", "30S", "1d"; anything else (or a count that overflows) is none.
    static CommandRefreshTime parse(const QString& value);
    // The length in seconds; nothing for none.
    std::optional<double> lengthInSeconds() const;
    bool isNone() const { return unit == Unit::none; }
    bool operator==(const CommandRefreshTime&) const = default;
};

// One executable file of a script directory whose "@vantrel." metadata lines
// make it a command of root search.
struct ScriptCommand {
    enum class RunMode { fullOutput, compact, silent, inline_ };

    struct Argument {
        enum class ArgumentType { text };
        ArgumentType type = ArgumentType::text;
        QString placeholder;
        std::optional<bool> percentEncoded;
        std::optional<bool> optional;
        bool operator==(const Argument&) const = default;
    };

    static constexpr QLatin1String idPrefix{"vantrelScript_"};

    QString id;
    std::int64_t schemaVersion = 1;
    QString scriptPath;
    QString displayName;
    QString packageName;
    bool needsConfirmationAlert = false;
    RunMode runMode = RunMode::fullOutput;
    std::optional<QString> currentDirectoryPath;
    IconSet icon;
    CommandRefreshTime refreshTime;
    std::vector<Argument> arguments;
    std::optional<QString> description;
    QString metadataHash;

    // Reads and parses the file at scriptPath; throws VantrelError when it cannot
    // be read or lacks a required key ("Some required parameters are not specified").
    static ScriptCommand parse(const QString& scriptPath);

    // "fullOutput", "compact", "silent", "inline".
    static QString rawValue(RunMode mode);
    static std::optional<RunMode> runModeFromRawValue(const QString& value);

    bool operator==(const ScriptCommand&) const = default;
};

}  // namespace vantrel
