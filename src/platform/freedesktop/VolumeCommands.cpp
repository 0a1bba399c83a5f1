#include "platform/freedesktop/SystemCommandCapabilities.h"

#include "kit/VantrelError.h"
#include "platform/freedesktop/SystemCommandSupport.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <optional>

namespace vantrel::systemcommands {

namespace {

// One step of "Turn Volume Up/Down", in percent.
constexpr int kVolumeStep = 5;

struct VolumeState {
    int percent = 0;
    bool muted = false;
};

// The default output of PipeWire (wpctl) or PulseAudio (pactl).
class Mixer {
public:
    static std::optional<Mixer> find() {
        if (QString wpctl = findTool("wpctl"); !wpctl.isEmpty()) return Mixer(Tool::Wpctl, wpctl);
        if (QString pactl = findTool("pactl"); !pactl.isEmpty()) return Mixer(Tool::Pactl, pactl);
        return std::nullopt;
    }
    static QString missing() {
        return QStringLiteral("Changing the volume needs wpctl or pactl, neither is installed.");
    }

    VolumeState state() const {
        VolumeState result;
        if (m_tool == Tool::Wpctl) {
            // "Volume: 0.40" or "Volume: 0.40 [MUTED]"
            const ToolOutput output = run({QStringLiteral("get-volume"), QStringLiteral("@DEFAULT_AUDIO_SINK@")});
            static const QRegularExpression pattern(QStringLiteral("Volume:\\s*([0-9]+(?:\\.[0-9]+)?)"));
            const auto match = pattern.match(output.standardOutput);
            if (!match.hasMatch()) throw unreadable(output);
            result.percent = int(std::lround(match.captured(1).toDouble() * 100.0));
            result.muted = output.standardOutput.contains(QLatin1String("[MUTED]"));
            return result;
        }
        // "Volume: front-left: 26214 /  40% / -23.88 dB,   front-right: …"
        const ToolOutput volume = run({QStringLiteral("get-sink-volume"), QStringLiteral("@DEFAULT_SINK@")});
        static const QRegularExpression percent(QStringLiteral("([0-9]+)%"));
        const auto match = percent.match(volume.standardOutput);
        if (!match.hasMatch()) throw unreadable(volume);
        result.percent = match.captured(1).toInt();
        const ToolOutput mute = run({QStringLiteral("get-sink-mute"), QStringLiteral("@DEFAULT_SINK@")});
        result.muted = mute.standardOutput.contains(QLatin1String("yes"));
        return result;
    }

    void setPercent(int percent) const {
        if (m_tool == Tool::Wpctl) {
            run({QStringLiteral("set-volume"), QStringLiteral("@DEFAULT_AUDIO_SINK@"),
                 QStringLiteral("%1%").arg(percent)});
        } else {
            run({QStringLiteral("set-sink-volume"), QStringLiteral("@DEFAULT_SINK@"),
                 QStringLiteral("%1%").arg(percent)});
        }
    }

    void setMuted(bool muted) const {
        const QString value = muted ? QStringLiteral("1") : QStringLiteral("0");
        if (m_tool == Tool::Wpctl) {
            run({QStringLiteral("set-mute"), QStringLiteral("@DEFAULT_AUDIO_SINK@"), value});
        } else {
            run({QStringLiteral("set-sink-mute"), QStringLiteral("@DEFAULT_SINK@"), value});
        }
    }

private:
    enum class Tool { Wpctl, Pactl };
    Mixer(Tool tool, QString path) : m_tool(tool), m_path(std::move(path)) {}

    ToolOutput run(const QStringList& arguments) const {
        return runToolOrThrow(m_path, arguments, QStringLiteral("Cannot change the volume"));
    }
    VantrelError unreadable(const ToolOutput& output) const {
        return VantrelError(QStringLiteral("Cannot read the volume: %1 printed \"%2\".")
                                .arg(QFileInfo(m_path).fileName(), output.standardOutput.trimmed()));
    }

    Tool m_tool;
    QString m_path;
};

QString describeVolume(const VolumeState& state) {
    return state.muted ? QStringLiteral("Volume %1% (muted)").arg(state.percent)
                       : QStringLiteral("Volume %1%").arg(state.percent);
}

}  // namespace

QString runVolumeCommand(const QString& commandId) {
    const std::optional<Mixer> mixer = Mixer::find();
    if (!mixer) throw VantrelError(Mixer::missing());

    static const QRegularExpression setLevel(QStringLiteral("^setVolume([0-9]+)$"));
    if (const auto match = setLevel.match(commandId); match.hasMatch()) {
        const int level = match.captured(1).toInt();
        mixer->setPercent(level);
        // A level above zero is meant to be heard.
        if (level > 0) mixer->setMuted(false);
        return QStringLiteral("Volume set to %1%").arg(level);
    }
    const VolumeState current = mixer->state();
    if (commandId == QLatin1String("toggleMute")) {
        mixer->setMuted(!current.muted);
        return current.muted ? QStringLiteral("Sound on, volume %1%").arg(current.percent) : QStringLiteral("Muted");
    }
    const bool up = commandId == QLatin1String("turnVolumeUp");
    int level = current.percent;
    if (up) {
        // Never lowers a level that someone amplified above 100%.
        if (level < 100) level = std::min(100, level + kVolumeStep);
    } else {
        level = std::max(0, level - kVolumeStep);
    }
    if (level != current.percent) mixer->setPercent(level);
    if (up && current.muted) mixer->setMuted(false);
    return describeVolume({level, up ? false : current.muted});
}

QString volumeProblem() {
    return toolsProblem({"wpctl", "pactl"}, Mixer::missing());
}

}  // namespace vantrel::systemcommands
