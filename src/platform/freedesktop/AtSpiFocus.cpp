#include "platform/freedesktop/AtSpiFocus.h"

#pragma push_macro("signals")
#undef signals
#include <atspi/atspi.h>
#pragma pop_macro("signals")

#include <utility>

namespace vantrel {

namespace {

// Holds one GObject reference.
template <typename T>
class Ref {
public:
    Ref() = default;
    explicit Ref(T* object) : m_object(object) {}
    Ref(const Ref& other) : m_object(other.m_object) {
        if (m_object) g_object_ref(m_object);
    }
    Ref(Ref&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    Ref& operator=(Ref other) noexcept {
        std::swap(m_object, other.m_object);
        return *this;
    }
    ~Ref() {
        if (m_object) g_object_unref(m_object);
    }
    T* get() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }

private:
    T* m_object = nullptr;
};

// Reads a GError into a sentence and frees it.
QString take(GError*& error) {
    if (!error) return {};
    const QString message = QString::fromUtf8(error->message);
    g_clear_error(&error);
    return message;
}

// Elements visited at most while looking for the focus: a huge document (a
// browser's page) is not walked to its end.
constexpr int kVisitLimit = 4000;

struct States {
    bool focused = false;
    bool showing = false;
    bool active = false;
    bool enabled = false;
    bool sensitive = false;
    bool editable = false;
};

States statesOf(AtspiAccessible* accessible) {
    States states;
    Ref<AtspiStateSet> set(atspi_accessible_get_state_set(accessible));
    if (!set) return states;
    states.focused = atspi_state_set_contains(set.get(), ATSPI_STATE_FOCUSED);
    states.showing = atspi_state_set_contains(set.get(), ATSPI_STATE_SHOWING);
    states.active = atspi_state_set_contains(set.get(), ATSPI_STATE_ACTIVE);
    states.enabled = atspi_state_set_contains(set.get(), ATSPI_STATE_ENABLED);
    states.sensitive = atspi_state_set_contains(set.get(), ATSPI_STATE_SENSITIVE);
    states.editable = atspi_state_set_contains(set.get(), ATSPI_STATE_EDITABLE);
    return states;
}

bool isTextRole(AtspiRole role) {
    switch (role) {
        case ATSPI_ROLE_TEXT:
        case ATSPI_ROLE_ENTRY:
        case ATSPI_ROLE_PASSWORD_TEXT:
        case ATSPI_ROLE_PARAGRAPH:
        case ATSPI_ROLE_TERMINAL:
        case ATSPI_ROLE_DOCUMENT_TEXT:
        case ATSPI_ROLE_EDITBAR:
        case ATSPI_ROLE_SPIN_BUTTON:
            return true;
        default:
            return false;
    }
}

class AtSpiElement : public FocusedElement {
public:
    AtSpiElement(Ref<AtspiAccessible> accessible, const States& states) : m_accessible(std::move(accessible)) {
        GError* error = nullptr;
        m_role = atspi_accessible_get_role(m_accessible.get(), &error);
        take(error);
        gchar* name = atspi_accessible_get_role_name(m_accessible.get(), &error);
        take(error);
        m_roleName = name ? QString::fromUtf8(name) : QString();
        g_free(name);
        // Toolkits differ: GTK says sensitive, Qt says enabled; either one missing greys it out.
        m_enabled = states.enabled && states.sensitive;
        m_editable = states.editable || isTextRole(m_role);
    }

    QString role() const override { return m_roleName; }
    bool isPassword() const override { return m_role == ATSPI_ROLE_PASSWORD_TEXT; }
    bool isEnabled() const override { return m_enabled; }
    bool isEditableText() const override { return m_editable; }

    bool selectBeforeCaret(int count, QString* problem) override {
        const auto fail = [problem](const QString& why) {
            if (problem) *problem = why;
            return false;
        };
        // Null when the element does not implement the text interface.
        Ref<AtspiText> text(atspi_accessible_get_text_iface(m_accessible.get()));
        if (!text) return fail(QStringLiteral("the element has no text interface"));
        GError* error = nullptr;
        const gint caret = atspi_text_get_caret_offset(text.get(), &error);
        if (error) return fail(take(error));
        if (caret < count) return fail(QStringLiteral("fewer characters before the caret than asked"));
        const gint selections = atspi_text_get_n_selections(text.get(), &error);
        if (error) return fail(take(error));
        const gboolean done = selections > 0 ? atspi_text_set_selection(text.get(), 0, caret - count, caret, &error)
                                             : atspi_text_add_selection(text.get(), caret - count, caret, &error);
        if (error) return fail(take(error));
        if (!done) return fail(QStringLiteral("the application refused the selection"));
        return true;
    }

private:
    Ref<AtspiAccessible> m_accessible;
    AtspiRole m_role = ATSPI_ROLE_INVALID;
    QString m_roleName;
    bool m_enabled = false;
    bool m_editable = false;
};

// The focused element under `root`, walking only what is shown.
Ref<AtspiAccessible> findFocused(AtspiAccessible* root, int& budget, States* found) {
    if (--budget < 0) return {};
    const States states = statesOf(root);
    if (states.focused) {
        *found = states;
        return Ref<AtspiAccessible>(static_cast<AtspiAccessible*>(g_object_ref(root)));
    }
    GError* error = nullptr;
    const gint count = atspi_accessible_get_child_count(root, &error);
    if (error) {
        take(error);
        return {};
    }
    for (gint i = 0; i < count && budget > 0; ++i) {
        Ref<AtspiAccessible> child(atspi_accessible_get_child_at_index(root, i, &error));
        if (error || !child) {
            take(error);
            continue;
        }
        const States childStates = statesOf(child.get());
        if (childStates.focused) {
            *found = childStates;
            return child;
        }
        if (!childStates.showing) continue;
        if (Ref<AtspiAccessible> inner = findFocused(child.get(), budget, found)) return inner;
    }
    return {};
}

}  // namespace

AtSpiFocus::AtSpiFocus() {
    // 0: connected; 1: already was. Anything else: no accessibility bus.
    const int status = atspi_is_initialized() ? 0 : atspi_init();
    m_available = (status == 0 || status == 1) && atspi_get_a11y_bus() != nullptr;
}

AtSpiFocus::~AtSpiFocus() = default;

bool AtSpiFocus::isAvailable() const {
    return m_available;
}

std::shared_ptr<FocusedElement> AtSpiFocus::focusedElement(std::optional<qint64> pid) {
    if (!m_available) return nullptr;
    Ref<AtspiAccessible> desktop(atspi_get_desktop(0));
    if (!desktop) return nullptr;
    GError* error = nullptr;
    const gint applications = atspi_accessible_get_child_count(desktop.get(), &error);
    if (error) {
        take(error);
        return nullptr;
    }
    int budget = kVisitLimit;
    for (gint i = 0; i < applications; ++i) {
        Ref<AtspiAccessible> application(atspi_accessible_get_child_at_index(desktop.get(), i, &error));
        if (error || !application) {
            take(error);
            continue;
        }
        if (pid) {
            const guint process = atspi_accessible_get_process_id(application.get(), &error);
            if (error) {
                take(error);
                continue;
            }
            if (qint64(process) != *pid) continue;
        }
        // Current states, never what an earlier call saw.
        atspi_accessible_set_cache_mask(application.get(), ATSPI_CACHE_NONE);
        const gint windows = atspi_accessible_get_child_count(application.get(), &error);
        if (error) {
            take(error);
            continue;
        }
        for (gint w = 0; w < windows; ++w) {
            Ref<AtspiAccessible> window(atspi_accessible_get_child_at_index(application.get(), w, &error));
            if (error || !window) {
                take(error);
                continue;
            }
            // Without a pid only the active window's application counts.
            if (!pid && !statesOf(window.get()).active) continue;
            States states;
            if (Ref<AtspiAccessible> focused = findFocused(window.get(), budget, &states))
                return std::make_shared<AtSpiElement>(std::move(focused), states);
        }
    }
    return nullptr;
}

}  // namespace vantrel
