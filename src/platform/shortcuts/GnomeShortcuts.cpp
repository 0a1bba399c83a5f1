#include "platform/shortcuts/GnomeShortcuts.h"

#include "kit/Logger.h"
#include "kit/VantrelError.h"
#include "platform/shortcuts/GioSettings.h"
#include "platform/shortcuts/ShortcutKeys.h"

#include <algorithm>
#include <array>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("DesktopShortcuts"), QStringLiteral("⌨️")});
    return logger;
}

// The desktop's own keybinding schemas: whose they are, as GNOME Settings
// groups them.
struct BindingSchema {
    const char* id;
    const char* owner;
};
constexpr std::array kBindingSchemas{
    BindingSchema{"org.gnome.desktop.wm.keybindings", "Window manager"},
    BindingSchema{"org.gnome.mutter.keybindings", "Window manager"},
    BindingSchema{"org.gnome.mutter.wayland.keybindings", "Window manager"},
    BindingSchema{"org.gnome.shell.keybindings", "GNOME Shell"},
    BindingSchema{GnomeShortcuts::mediaKeysSchema, "Settings daemon"},
};

struct ObjectDeleter {
    void operator()(gpointer object) const {
        if (object) g_object_unref(object);
    }
};
using SettingsPtr = std::unique_ptr<GSettings, ObjectDeleter>;

QStringList strv(GSettings* settings, const char* key) {
    QStringList values;
    gchar** raw = g_settings_get_strv(settings, key);
    for (gchar** at = raw; at && *at; ++at) values << QString::fromUtf8(*at);
    g_strfreev(raw);
    return values;
}

QString string(GSettings* settings, const char* key) {
    gchar* raw = g_settings_get_string(settings, key);
    const QString value = QString::fromUtf8(raw);
    g_free(raw);
    return value;
}

bool setStrv(GSettings* settings, const char* key, const QStringList& values) {
    std::vector<QByteArray> bytes;
    for (const QString& value : values) bytes.push_back(value.toUtf8());
    std::vector<const gchar*> pointers;
    for (const QByteArray& value : bytes) pointers.push_back(value.constData());
    pointers.push_back(nullptr);
    return g_settings_set_strv(settings, key, pointers.data());
}

QString shellQuoted(const QStringList& command) {
    static const QString plain = QStringLiteral("-_./=:,+@%");
    QStringList quoted;
    for (const QString& argument : command) {
        const bool simple = !argument.isEmpty() && std::all_of(argument.begin(), argument.end(), [](QChar c) {
            return (c.unicode() < 128 && c.isLetterOrNumber()) || plain.contains(c);
        });
        if (simple) {
            quoted << argument;
            continue;
        }
        gchar* raw = g_shell_quote(argument.toUtf8().constData());
        quoted << QString::fromUtf8(raw);
        g_free(raw);
    }
    return quoted.join(QLatin1Char(' '));
}

QStringList shellSplit(const QString& text) {
    gint count = 0;
    gchar** argv = nullptr;
    QStringList arguments;
    if (g_shell_parse_argv(text.toUtf8().constData(), &count, &argv, nullptr)) {
        for (gint i = 0; i < count; ++i) arguments << QString::fromUtf8(argv[i]);
        g_strfreev(argv);
    }
    return arguments;
}

// A desktop binding that holds the keys: schema and path to open, key, and
// how it is shown.
struct Holder {
    QByteArray schema;
    QByteArray path;
    QByteArray key;
    bool isList = true;
    ShortcutConflict conflict;
};

}  // namespace

struct GnomeShortcuts::Impl {
    Options options;
    GSettingsBackend* backend = nullptr;

    // The settings are read afresh for each operation: a key file backend
    // keeps what it read and would miss changes made by others meanwhile.
    class Operation {
    public:
        explicit Operation(Impl& impl) : m_impl(impl) {
            if (!impl.options.keyfilePath.isEmpty())
                impl.backend =
                    g_keyfile_settings_backend_new(impl.options.keyfilePath.toUtf8().constData(), "/", nullptr);
        }
        ~Operation() {
            if (m_impl.backend) {
                g_settings_sync();
                g_object_unref(m_impl.backend);
            }
            m_impl.backend = nullptr;
        }
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;

    private:
        Impl& m_impl;
    };

    static GSettingsSchema* lookup(const char* id) {
        GSettingsSchemaSource* source = g_settings_schema_source_get_default();
        return source ? g_settings_schema_source_lookup(source, id, TRUE) : nullptr;
    }

    // The settings of a schema (at a path for relocatable ones); null when
    // the schema is not installed.
    SettingsPtr open(const char* id, const QByteArray& path = {}) const {
        GSettingsSchema* schema = lookup(id);
        if (!schema) return nullptr;
        GSettings* settings =
            g_settings_new_full(schema, backend, path.isEmpty() ? nullptr : path.constData());
        g_settings_schema_unref(schema);
        return SettingsPtr(settings);
    }

    static bool hasKey(GSettings* settings, const char* key) {
        GSettingsSchema* schema = nullptr;
        g_object_get(settings, "settings-schema", &schema, nullptr);
        const bool found = schema && g_settings_schema_has_key(schema, key);
        if (schema) g_settings_schema_unref(schema);
        return found;
    }

    // Every desktop binding holding the accelerator, the custom binding at
    // `ignoringPath` aside.
    std::vector<Holder> holders(const QString& accelerator, const QByteArray& ignoringPath) const {
        std::vector<Holder> found;
        for (const BindingSchema& binding : kBindingSchemas) {
            GSettingsSchema* schema = lookup(binding.id);
            if (!schema) continue;
            SettingsPtr settings(g_settings_new_full(schema, backend, nullptr));
            gchar** keys = g_settings_schema_list_keys(schema);
            for (gchar** key = keys; key && *key; ++key) {
                GSettingsSchemaKey* schemaKey = g_settings_schema_get_key(schema, *key);
                const bool isList = g_variant_type_equal(g_settings_schema_key_get_value_type(schemaKey),
                                                         G_VARIANT_TYPE_STRING_ARRAY);
                g_settings_schema_key_unref(schemaKey);
                if (!isList || g_strcmp0(*key, "custom-keybindings") == 0) continue;
                for (const QString& value : strv(settings.get(), *key))
                    if (shortcutkeys::sameGtkAccelerator(value, accelerator)) {
                        found.push_back({binding.id, {}, *key, true,
                                         {QString::fromLatin1(binding.owner), QString::fromUtf8(*key)}});
                        break;
                    }
            }
            g_strfreev(keys);
            g_settings_schema_unref(schema);
        }
        // The other custom shortcuts.
        if (SettingsPtr media = open(mediaKeysSchema); media && hasKey(media.get(), "custom-keybindings")) {
            for (const QString& path : strv(media.get(), "custom-keybindings")) {
                if (path.toUtf8() == ignoringPath) continue;
                SettingsPtr custom = open(customKeybindingSchema, path.toUtf8());
                if (!custom) break;
                if (shortcutkeys::sameGtkAccelerator(string(custom.get(), "binding"), accelerator))
                    found.push_back({customKeybindingSchema, path.toUtf8(), "binding", false,
                                     {QStringLiteral("Custom shortcut"), string(custom.get(), "name")}});
            }
        }
        return found;
    }

    // Takes the accelerator out of a holder.
    void release(const Holder& holder, const QString& accelerator) const {
        SettingsPtr settings = open(holder.schema.constData(), holder.path);
        if (!settings) return;
        bool written = false;
        if (holder.isList) {
            QStringList values = strv(settings.get(), holder.key.constData());
            values.erase(std::remove_if(values.begin(), values.end(),
                                        [&](const QString& value) {
                                            return shortcutkeys::sameGtkAccelerator(value, accelerator);
                                        }),
                         values.end());
            written = setStrv(settings.get(), holder.key.constData(), values);
        } else {
            written = g_settings_set_string(settings.get(), holder.key.constData(), "");
        }
        if (!written)
            throw VantrelError(QStringLiteral("GNOME does not let Vantrel change the shortcut '%1'")
                                   .arg(holder.conflict.action));
        log().info("Took the combination from a desktop binding",
                   {{QStringLiteral("owner"), holder.conflict.owner},
                    {QStringLiteral("action"), holder.conflict.action},
                    {QStringLiteral("keys"), accelerator}});
    }
};

GnomeShortcuts::GnomeShortcuts() : GnomeShortcuts(Options{}) {}

GnomeShortcuts::GnomeShortcuts(Options options) : d(std::make_unique<Impl>()) {
    d->options = std::move(options);
}

GnomeShortcuts::~GnomeShortcuts() = default;

QString GnomeShortcuts::desktopName() const {
    return QStringLiteral("GNOME");
}

QString GnomeShortcuts::pathOf(const QString& id) {
    return QString::fromLatin1(customKeybindingsPath) + id + QLatin1Char('/');
}

bool GnomeShortcuts::isAvailable() const {
    GSettingsSchema* media = Impl::lookup(mediaKeysSchema);
    GSettingsSchema* custom = Impl::lookup(customKeybindingSchema);
    const bool available = media && custom && g_settings_schema_has_key(media, "custom-keybindings");
    if (media) g_settings_schema_unref(media);
    if (custom) g_settings_schema_unref(custom);
    return available;
}

std::vector<ShortcutConflict> GnomeShortcuts::conflicts(const KeyCombination& keys, const QString& ignoringId) const {
    std::vector<ShortcutConflict> found;
    const auto accelerator = shortcutkeys::gtkAccelerator(keys);
    if (!accelerator) return found;
    const Impl::Operation operation(*d);
    for (const Holder& holder : d->holders(*accelerator, ignoringId.isEmpty() ? QByteArray() : pathOf(ignoringId).toUtf8()))
        found.push_back(holder.conflict);
    return found;
}

void GnomeShortcuts::bind(const DesktopShortcut& shortcut) {
    if (!isAvailable())
        throw VantrelError(QStringLiteral("GNOME's keyboard settings are not installed: ") +
                           QString::fromLatin1(mediaKeysSchema));
    const auto accelerator = shortcutkeys::gtkAccelerator(shortcut.keys);
    if (!accelerator)
        throw VantrelError(QStringLiteral("GNOME cannot bind this combination: ") + shortcut.keys.displayText());
    if (shortcut.id.isEmpty() || shortcut.command.isEmpty())
        throw VantrelError(QStringLiteral("A desktop shortcut needs an id and a command"));

    const QByteArray path = pathOf(shortcut.id).toUtf8();
    const Impl::Operation operation(*d);
    for (const Holder& holder : d->holders(*accelerator, path)) d->release(holder, *accelerator);

    SettingsPtr custom = d->open(customKeybindingSchema, path);
    SettingsPtr media = d->open(mediaKeysSchema);
    if (!custom || !media) throw VantrelError(QStringLiteral("GNOME's keyboard settings cannot be opened"));
    const bool written = g_settings_set_string(custom.get(), "name", shortcut.name.toUtf8().constData()) &&
                         g_settings_set_string(custom.get(), "command",
                                               shellQuoted(shortcut.command).toUtf8().constData()) &&
                         g_settings_set_string(custom.get(), "binding", accelerator->toUtf8().constData());
    if (!written) throw VantrelError(QStringLiteral("GNOME does not let Vantrel add a custom shortcut"));
    QStringList paths = strv(media.get(), "custom-keybindings");
    if (!paths.contains(QString::fromUtf8(path))) {
        paths << QString::fromUtf8(path);
        if (!setStrv(media.get(), "custom-keybindings", paths))
            throw VantrelError(QStringLiteral("GNOME does not let Vantrel add a custom shortcut"));
    }
    g_settings_sync();
    log().info("Added a GNOME custom shortcut", {{QStringLiteral("path"), QString::fromUtf8(path)},
                                                 {QStringLiteral("keys"), *accelerator},
                                                 {QStringLiteral("command"), shellQuoted(shortcut.command)}});
}

std::optional<DesktopShortcut> GnomeShortcuts::binding(const QString& id) const {
    if (!isAvailable()) return std::nullopt;
    const QString path = pathOf(id);
    const Impl::Operation operation(*d);
    SettingsPtr media = d->open(mediaKeysSchema);
    if (!media || !strv(media.get(), "custom-keybindings").contains(path)) return std::nullopt;
    SettingsPtr custom = d->open(customKeybindingSchema, path.toUtf8());
    if (!custom) return std::nullopt;
    const auto keys = shortcutkeys::fromGtkAccelerator(string(custom.get(), "binding"));
    if (!keys) return std::nullopt;
    return DesktopShortcut{id, string(custom.get(), "name"), shellSplit(string(custom.get(), "command")), *keys};
}

}  // namespace vantrel
