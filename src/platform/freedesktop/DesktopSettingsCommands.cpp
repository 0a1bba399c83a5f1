#include "platform/freedesktop/SystemCommandCapabilities.h"

#include "kit/VantrelError.h"

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

}  // namespace

QString hiddenFilesProblem() {
    DesktopSetting primary(kFileChooserSchemas[0], kShowHiddenKey);
    if (primary.isUsable()) return {};
    return QStringLiteral("Toggling hidden files cannot work on this desktop: %1.").arg(primary.problem());
}

QString toggleHiddenFiles() {
    if (const QString problem = hiddenFilesProblem(); !problem.isEmpty()) throw VantrelError(problem);
    DesktopSetting primary(kFileChooserSchemas[0], kShowHiddenKey);
    const bool show = !primary.boolean();
    primary.setBoolean(show);
    DesktopSetting gtk4(kFileChooserSchemas[1], kShowHiddenKey);
    if (gtk4.isUsable()) gtk4.setBoolean(show);
    return show ? QStringLiteral("Hidden files shown") : QStringLiteral("Hidden files hidden");
}

QString appearanceProblem() {
    DesktopSetting setting(kInterfaceSchema, kColorSchemeKey);
    if (setting.isUsable()) return {};
    return QStringLiteral("Toggling the system appearance cannot work on this desktop: %1.")
        .arg(setting.problem());
}

QString toggleSystemAppearance() {
    if (const QString problem = appearanceProblem(); !problem.isEmpty()) throw VantrelError(problem);
    DesktopSetting setting(kInterfaceSchema, kColorSchemeKey);
    const bool dark = setting.string() != QLatin1String("prefer-dark");
    setting.setString(dark ? QStringLiteral("prefer-dark") : QStringLiteral("default"));
    return dark ? QStringLiteral("Dark appearance") : QStringLiteral("Light appearance");
}

}  // namespace vantrel::systemcommands
