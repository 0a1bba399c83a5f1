#include "platform/freedesktop/SystemCommandCapabilities.h"

#include "kit/VantrelError.h"
#include "platform/freedesktop/KdeConfig.h"
#include "platform/freedesktop/SystemCommandSupport.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStandardPaths>

#include "platform/freedesktop/GioHeaders.h"

namespace vantrel::systemcommands {

namespace {

// One GSettings key of a schema that may not be installed.
class DesktopSetting {
public:
    DesktopSetting(const char* schemaId, const char* key) : m_key(key) {
        GSettingsSchemaSource* source = g_settings_schema_source_get_default();
        GSettingsSchema* schema = source ? g_settings_schema_source_lookup(source, schemaId, TRUE) : nullptr;
        if (!schema) {
            m_problem = QStringLiteral("the settings schema %1 is not installed").arg(QString::fromLatin1(schemaId));
            return;
        }
        const bool hasKey = g_settings_schema_has_key(schema, key);
        g_settings_schema_unref(schema);
        if (!hasKey) {
            m_problem = QStringLiteral("the settings schema %1 has no key %2")
                            .arg(QString::fromLatin1(schemaId), QString::fromLatin1(key));
            return;
        }
        m_settings = g_settings_new(schemaId);
        GSettingsBackend* backend = nullptr;
        g_object_get(m_settings, "backend", &backend, nullptr);
        // The in-memory backend keeps nothing and tells no other program.
        const bool keepsNothing = backend && qstrcmp(G_OBJECT_TYPE_NAME(backend), "GMemorySettingsBackend") == 0;
        if (backend) g_object_unref(backend);
        if (keepsNothing)
            m_problem = QStringLiteral("desktop settings are not stored on this system (dconf is missing)");
    }
    ~DesktopSetting() {
        if (m_settings) g_object_unref(m_settings);
    }
    DesktopSetting(const DesktopSetting&) = delete;
    DesktopSetting& operator=(const DesktopSetting&) = delete;

    bool isUsable() const { return m_problem.isEmpty(); }
    const QString& problem() const { return m_problem; }

    bool boolean() const { return g_settings_get_boolean(m_settings, m_key); }
    void setBoolean(bool value) { write(g_settings_set_boolean(m_settings, m_key, value)); }
    QString string() const {
        gchar* value = g_settings_get_string(m_settings, m_key);
        QString result = QString::fromUtf8(value);
        g_free(value);
        return result;
    }
    void setString(const QString& value) {
        write(g_settings_set_string(m_settings, m_key, value.toUtf8().constData()));
    }

private:
    void write(gboolean accepted) {
        if (!accepted)
            throw VantrelError(
                QStringLiteral("The desktop settings refused a change of %1.").arg(QString::fromLatin1(m_key)));
        // Hands the change to dconf before the command reports it.
        g_settings_sync();
    }

    const char* m_key;
    GSettings* m_settings = nullptr;
    QString m_problem;
};

// GTK 3 and GTK 4 file choosers (and the file managers built on them) keep
// the choice in schemas of their own.
constexpr const char* kFileChooserSchemas[] = {"org.gtk.Settings.FileChooser", "org.gtk.gtk4.Settings.FileChooser"};
constexpr const char* kShowHiddenKey = "show-hidden";
constexpr const char* kInterfaceSchema = "org.gnome.desktop.interface";
constexpr const char* kColorSchemeKey = "color-scheme";

// KDE Plasma keeps these choices in its own configuration files.
bool isKde() {
    return qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':')).contains(QLatin1String("KDE"));
}

const QString kKdeGlobals = QStringLiteral("kdeglobals");
const QString kKdeFileDialogGroup = QStringLiteral("KFileDialog Settings");
const QString kKdeShowHiddenKey = QStringLiteral("Show hidden files");
const QString kKdeGeneralGroup = QStringLiteral("General");
const QString kKdeColorSchemeKey = QStringLiteral("ColorScheme");

// Dolphin's view properties for every folder (used when it shares one view
// for all folders, and as the default of new ones).
QString dolphinGlobalViewProperties() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/dolphin/view_properties/global/.directory");
}

// Tells running KDE applications that the palette changed (KGlobalSettings'
// PaletteChanged, as the colour settings module sends it).
void announceKdePaletteChange() {
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/KGlobalSettings"),
                                                     QStringLiteral("org.kde.KGlobalSettings"),
                                                     QStringLiteral("notifyChange"));
    signal << 0 << 0;
    QDBusConnection::sessionBus().send(signal);
}

QString toggleKdeHiddenFiles() {
    KdeConfigFile globals(KdeConfigFile::configPath(kKdeGlobals));
    const bool show = globals.value(kKdeFileDialogGroup, kKdeShowHiddenKey) != QLatin1String("true");
    const QString value = show ? QStringLiteral("true") : QStringLiteral("false");
    globals.setValue(kKdeFileDialogGroup, kKdeShowHiddenKey, value);
    KdeConfigFile(dolphinGlobalViewProperties()).setValue(QStringLiteral("Settings"), QStringLiteral("HiddenFilesShown"),
                                                          value);
    // GTK applications on Plasma read the GTK file chooser's setting.
    for (const char* schema : kFileChooserSchemas) {
        DesktopSetting gtk(schema, kShowHiddenKey);
        if (gtk.isUsable()) gtk.setBoolean(show);
    }
    return show ? QStringLiteral("Hidden files shown") : QStringLiteral("Hidden files hidden");
}

QString toggleKdeAppearance() {
    KdeConfigFile globals(KdeConfigFile::configPath(kKdeGlobals));
    const QString current = globals.value(kKdeGeneralGroup, kKdeColorSchemeKey).value_or(QStringLiteral("BreezeLight"));
    const bool dark = !current.contains(QLatin1String("Dark"), Qt::CaseInsensitive);
    const QString next = dark ? QStringLiteral("BreezeDark") : QStringLiteral("BreezeLight");
    // Plasma's own tool also recolours the running applications and the panel.
    if (const QString tool = findTool("plasma-apply-colorscheme"); !tool.isEmpty()) {
        runToolOrThrow(tool, {next}, QStringLiteral("Changing the colour scheme"));
    } else {
        globals.setValue(kKdeGeneralGroup, kKdeColorSchemeKey, next);
        announceKdePaletteChange();
    }
    DesktopSetting gtk(kInterfaceSchema, kColorSchemeKey);
    if (gtk.isUsable()) gtk.setString(dark ? QStringLiteral("prefer-dark") : QStringLiteral("default"));
    return dark ? QStringLiteral("Dark appearance") : QStringLiteral("Light appearance");
}

}  // namespace

QString hiddenFilesProblem() {
    if (isKde()) return {};
    DesktopSetting primary(kFileChooserSchemas[0], kShowHiddenKey);
    if (primary.isUsable()) return {};
    return QStringLiteral("Toggling hidden files cannot work on this desktop: %1. It follows GNOME's file chooser "
                          "settings (install gsettings-desktop-schemas and dconf) or KDE Plasma's.")
        .arg(primary.problem());
}

QString toggleHiddenFiles() {
    if (isKde()) return toggleKdeHiddenFiles();
    if (const QString problem = hiddenFilesProblem(); !problem.isEmpty()) throw VantrelError(problem);
    DesktopSetting primary(kFileChooserSchemas[0], kShowHiddenKey);
    const bool show = !primary.boolean();
    primary.setBoolean(show);
    DesktopSetting gtk4(kFileChooserSchemas[1], kShowHiddenKey);
    if (gtk4.isUsable()) gtk4.setBoolean(show);
    return show ? QStringLiteral("Hidden files shown") : QStringLiteral("Hidden files hidden");
}

QString appearanceProblem() {
    if (isKde()) return {};
    DesktopSetting setting(kInterfaceSchema, kColorSchemeKey);
    if (setting.isUsable()) return {};
    return QStringLiteral("Toggling the system appearance cannot work on this desktop: %1. It follows GNOME's "
                          "color-scheme (install gsettings-desktop-schemas and dconf) or KDE Plasma's colour scheme.")
        .arg(setting.problem());
}

QString toggleSystemAppearance() {
    if (isKde()) return toggleKdeAppearance();
    if (const QString problem = appearanceProblem(); !problem.isEmpty()) throw VantrelError(problem);
    DesktopSetting setting(kInterfaceSchema, kColorSchemeKey);
    const bool dark = setting.string() != QLatin1String("prefer-dark");
    setting.setString(dark ? QStringLiteral("prefer-dark") : QStringLiteral("default"));
    return dark ? QStringLiteral("Dark appearance") : QStringLiteral("Light appearance");
}

}  // namespace vantrel::systemcommands
