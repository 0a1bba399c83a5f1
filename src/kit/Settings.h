#pragma once

#include "kit/UserDefaults.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <limits>
#include <optional>
#include <type_traits>
#include <utility>

namespace vantrel {

// The name of one setting.
struct UserDefaultsKey {
    QString rawValue;
    UserDefaultsKey(QString raw) : rawValue(std::move(raw)) {}              // NOLINT: implicit
    UserDefaultsKey(const char* raw) : rawValue(QString::fromUtf8(raw)) {}  // NOLINT: implicit
    bool operator==(const UserDefaultsKey&) const = default;
};

// A group of settings; its keys are stored as "<realm>_<key>".
struct UserDefaultsRealm {
    QString rawValue;
    explicit UserDefaultsRealm(QString raw) : rawValue(std::move(raw)) {}
    explicit UserDefaultsRealm(const char* raw) : rawValue(QString::fromUtf8(raw)) {}
    bool operator==(const UserDefaultsRealm&) const = default;
};

// "<realm>_<key>", or the plain key without a realm.
QString compositeKey(const std::optional<UserDefaultsRealm>& realm, const UserDefaultsKey& key);

// How a type is read from and written to the store. decode() answers nullopt
// for a value that is not of the type, and is strict about it: the INI file
// hands back text after a reload, so text is accepted where it spells a value
// of the type exactly ("true"/"false", a whole integer, a number), and nothing
// else is converted. encode() answering an invalid QVariant removes the entry.
template <typename T, typename Enable = void>
struct UserDefaultsTraits;

namespace detail {

inline bool isText(const QVariant& value) {
    return value.metaType().id() == QMetaType::QString;
}

template <typename Int>
std::optional<Int> decodeInteger(const QVariant& value) {
    qint64 number = 0;
    switch (value.metaType().id()) {
        case QMetaType::Int:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::Short:
            number = value.toLongLong();
            break;
        case QMetaType::UInt:
        case QMetaType::ULong:
        case QMetaType::ULongLong:
        case QMetaType::UShort: {
            const qulonglong u = value.toULongLong();
            if (u > static_cast<qulonglong>(std::numeric_limits<qint64>::max())) return std::nullopt;
            number = static_cast<qint64>(u);
            break;
        }
        case QMetaType::QString: {
            bool ok = false;
            number = value.toString().toLongLong(&ok, 10);
            if (!ok) return std::nullopt;
            break;
        }
        default:
            return std::nullopt;
    }
    if (number < static_cast<qint64>(std::numeric_limits<Int>::min()) ||
        number > static_cast<qint64>(std::numeric_limits<Int>::max()))
        return std::nullopt;
    return static_cast<Int>(number);
}

}  // namespace detail

template <>
struct UserDefaultsTraits<bool> {
    static std::optional<bool> decode(const QVariant& value) {
        if (value.metaType().id() == QMetaType::Bool) return value.toBool();
        if (detail::isText(value)) {
            const QString text = value.toString();
            if (text == QLatin1String("true")) return true;
            if (text == QLatin1String("false")) return false;
        }
        return std::nullopt;
    }
    static QVariant encode(bool value) { return QVariant(value); }
};

template <>
struct UserDefaultsTraits<int> {
    static std::optional<int> decode(const QVariant& value) { return detail::decodeInteger<int>(value); }
    static QVariant encode(int value) { return QVariant(value); }
};

template <>
struct UserDefaultsTraits<qint64> {
    static std::optional<qint64> decode(const QVariant& value) { return detail::decodeInteger<qint64>(value); }
    static QVariant encode(qint64 value) { return QVariant(value); }
};

template <>
struct UserDefaultsTraits<double> {
    static std::optional<double> decode(const QVariant& value) {
        switch (value.metaType().id()) {
            case QMetaType::Double:
            case QMetaType::Float:
                return value.toDouble();
            case QMetaType::QString: {
                bool ok = false;
                const double number = value.toString().toDouble(&ok);
                if (ok) return number;
                return std::nullopt;
            }
            default:
                if (auto integer = detail::decodeInteger<qint64>(value)) return static_cast<double>(*integer);
                return std::nullopt;
        }
    }
    static QVariant encode(double value) { return QVariant(value); }
};

template <>
struct UserDefaultsTraits<QString> {
    static std::optional<QString> decode(const QVariant& value) {
        if (detail::isText(value)) return value.toString();
        return std::nullopt;
    }
    static QVariant encode(const QString& value) { return QVariant(value); }
};

template <>
struct UserDefaultsTraits<QStringList> {
    // The INI file writes a list of one as plain text, so text reads as a list
    // of one. It cannot write an empty list at all, so that is stored as empty
    // text, and empty text reads as the empty list (a list holding one empty
    // text therefore reads back empty).
    static std::optional<QStringList> decode(const QVariant& value) {
        switch (value.metaType().id()) {
            case QMetaType::QStringList:
                return value.toStringList();
            case QMetaType::QString: {
                const QString text = value.toString();
                if (text.isEmpty()) return QStringList();
                return QStringList{text};
            }
            case QMetaType::QVariantList: {
                QStringList list;
                for (const QVariant& item : value.toList()) {
                    if (!detail::isText(item)) return std::nullopt;
                    list << item.toString();
                }
                return list;
            }
            default:
                return std::nullopt;
        }
    }
    static QVariant encode(const QStringList& value) {
        if (value.isEmpty()) return QVariant(QString());
        return QVariant(value);
    }
};

template <>
struct UserDefaultsTraits<QByteArray> {
    static std::optional<QByteArray> decode(const QVariant& value) {
        if (value.metaType().id() == QMetaType::QByteArray) return value.toByteArray();
        return std::nullopt;
    }
    static QVariant encode(const QByteArray& value) { return QVariant(value); }
};

template <>
struct UserDefaultsTraits<QDateTime> {
    // Stored as ISO 8601 text with milliseconds.
    static std::optional<QDateTime> decode(const QVariant& value) {
        if (value.metaType().id() == QMetaType::QDateTime) return value.toDateTime();
        if (detail::isText(value)) {
            const QDateTime date = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
            if (date.isValid()) return date;
        }
        return std::nullopt;
    }
    static QVariant encode(const QDateTime& value) { return value.toString(Qt::ISODateWithMs); }
};

// An absent optional removes the entry.
template <typename U>
struct UserDefaultsTraits<std::optional<U>> {
    static std::optional<std::optional<U>> decode(const QVariant& value) {
        if (auto decoded = UserDefaultsTraits<U>::decode(value)) return std::optional<U>(std::move(*decoded));
        return std::nullopt;
    }
    static QVariant encode(const std::optional<U>& value) {
        if (!value) return QVariant();
        return UserDefaultsTraits<U>::encode(*value);
    }
};

// One typed setting: a key, an optional realm, a default and the store (the
// standard store, looked up at each access, when none is given). Reading
// answers the default when the entry is missing or not of the type.
template <typename T, typename Traits = UserDefaultsTraits<T>>
class UserDefaultsValue {
public:
    using Value = T;

    UserDefaultsValue(UserDefaultsKey key, T defaultValue, UserDefaults* storage = nullptr, Traits traits = Traits())
        : m_key(std::move(key)),
          m_defaultValue(std::move(defaultValue)),
          m_storage(storage),
          m_traits(std::move(traits)) {}
    UserDefaultsValue(UserDefaultsKey key, std::optional<UserDefaultsRealm> realm, T defaultValue,
                      UserDefaults* storage = nullptr, Traits traits = Traits())
        : m_key(std::move(key)),
          m_realm(std::move(realm)),
          m_defaultValue(std::move(defaultValue)),
          m_storage(storage),
          m_traits(std::move(traits)) {}

    const UserDefaultsKey& key() const { return m_key; }
    const std::optional<UserDefaultsRealm>& realm() const { return m_realm; }
    const T& defaultValue() const { return m_defaultValue; }
    UserDefaults& storage() const { return m_storage ? *m_storage : UserDefaults::standard(); }
    QString compositeKey() const { return vantrel::compositeKey(m_realm, m_key); }

    T value() const {
        const QVariant stored = storage().value(compositeKey());
        if (!stored.isValid()) return m_defaultValue;
        if (auto decoded = m_traits.decode(stored)) return std::move(*decoded);
        return m_defaultValue;
    }

    void setValue(const T& value) const {
        const QVariant encoded = m_traits.encode(value);
        if (encoded.isValid())
            storage().setValue(compositeKey(), encoded);
        else
            storage().remove(compositeKey());
    }

    // Removes the entry, so that reading answers the default.
    void reset() const { storage().remove(compositeKey()); }
    bool hasStoredValue() const { return storage().contains(compositeKey()); }

private:
    UserDefaultsKey m_key;
    std::optional<UserDefaultsRealm> m_realm;
    T m_defaultValue;
    UserDefaults* m_storage;
    Traits m_traits;
};

// Specialise for an enumeration stored by its raw text value:
//   template <> struct RawRepresentation<Mode> {
//       static QString toRaw(Mode mode);
//       static std::optional<Mode> fromRaw(const QString& raw);
//   };
template <typename E>
struct RawRepresentation;

// Reads and writes a value as its raw text; text that names no value reads as absent.
template <typename E>
struct RawValueTraits {
    std::function<QString(const E&)> toRaw;
    std::function<std::optional<E>(const QString&)> fromRaw;

    RawValueTraits()
        : toRaw([](const E& value) { return RawRepresentation<E>::toRaw(value); }),
          fromRaw([](const QString& raw) { return RawRepresentation<E>::fromRaw(raw); }) {}
    RawValueTraits(std::function<QString(const E&)> to, std::function<std::optional<E>(const QString&)> from)
        : toRaw(std::move(to)), fromRaw(std::move(from)) {}

    std::optional<E> decode(const QVariant& value) const {
        if (!detail::isText(value)) return std::nullopt;
        return fromRaw(value.toString());
    }
    QVariant encode(const E& value) const { return toRaw(value); }
};

// A setting holding an enumeration, stored by its raw text value. Either
// specialise RawRepresentation<E> or pass the two conversions.
template <typename E>
class UserDefaultsRawRepresentable : public UserDefaultsValue<E, RawValueTraits<E>> {
    using Base = UserDefaultsValue<E, RawValueTraits<E>>;

public:
    using ToRaw = std::function<QString(const E&)>;
    using FromRaw = std::function<std::optional<E>(const QString&)>;

    UserDefaultsRawRepresentable(UserDefaultsKey key, E defaultValue, UserDefaults* storage = nullptr)
        : Base(std::move(key), std::move(defaultValue), storage) {}
    UserDefaultsRawRepresentable(UserDefaultsKey key, std::optional<UserDefaultsRealm> realm, E defaultValue,
                                 UserDefaults* storage = nullptr)
        : Base(std::move(key), std::move(realm), std::move(defaultValue), storage) {}
    UserDefaultsRawRepresentable(UserDefaultsKey key, std::optional<UserDefaultsRealm> realm, E defaultValue,
                                 ToRaw toRaw, FromRaw fromRaw, UserDefaults* storage = nullptr)
        : Base(std::move(key), std::move(realm), std::move(defaultValue), storage,
               RawValueTraits<E>(std::move(toRaw), std::move(fromRaw))) {}
};

namespace detail {
// Compact JSON text of any JSON value, including a bare string or number.
QString compactJsonText(const QJsonValue& value);
// The JSON value of the text; nullopt when it is not JSON.
std::optional<QJsonValue> parseJsonText(const QString& text);
}  // namespace detail

// Reads and writes a value as compact JSON text. T provides
// `QJsonValue toJson() const` and `static std::optional<T> fromJson(const QJsonValue&)`.
template <typename T>
struct JsonValueTraits {
    static std::optional<T> decode(const QVariant& value) {
        if (!detail::isText(value)) return std::nullopt;
        auto json = detail::parseJsonText(value.toString());
        if (!json) return std::nullopt;
        return T::fromJson(*json);
    }
    static QVariant encode(const T& value) { return detail::compactJsonText(value.toJson()); }
};

// A setting holding a value stored as JSON text; text that does not decode
// reads as the default.
template <typename T>
class CodableUserDefault : public UserDefaultsValue<T, JsonValueTraits<T>> {
    using Base = UserDefaultsValue<T, JsonValueTraits<T>>;

public:
    CodableUserDefault(UserDefaultsKey key, T defaultValue, UserDefaults* storage = nullptr)
        : Base(std::move(key), std::move(defaultValue), storage) {}
    CodableUserDefault(UserDefaultsKey key, std::optional<UserDefaultsRealm> realm, T defaultValue,
                       UserDefaults* storage = nullptr)
        : Base(std::move(key), std::move(realm), std::move(defaultValue), storage) {}
};

}  // namespace vantrel
