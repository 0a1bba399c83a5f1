#include "kit/Paths.h"
#include "kit/Settings.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

enum class WindowMode { compact, expanded };

struct Placement {
    int width = 0;
    QString screen;

    QJsonValue toJson() const {
        return QJsonObject{{QStringLiteral("width"), width}, {QStringLiteral("screen"), screen}};
    }
    static std::optional<Placement> fromJson(const QJsonValue& json) {
        const QJsonObject object = json.toObject();
        if (!object.value(QStringLiteral("width")).isDouble() || !object.value(QStringLiteral("screen")).isString())
            return std::nullopt;
        return Placement{object.value(QStringLiteral("width")).toInt(),
                         object.value(QStringLiteral("screen")).toString()};
    }
    bool operator==(const Placement&) const = default;
};

}  // namespace

template <>
struct vantrel::RawRepresentation<WindowMode> {
    static QString toRaw(WindowMode mode) {
        return mode == WindowMode::compact ? QStringLiteral("compact") : QStringLiteral("expanded");
    }
    static std::optional<WindowMode> fromRaw(const QString& raw) {
        if (raw == QLatin1String("compact")) return WindowMode::compact;
        if (raw == QLatin1String("expanded")) return WindowMode::expanded;
        return std::nullopt;
    }
};

namespace vantrel {
namespace {

class SettingsTest : public ::testing::Test {
protected:
    QString path(const QString& name = QStringLiteral("settings.conf")) const { return m_dir.filePath(name); }

    // A store that reads the file afresh: a copy of the file under a new name,
    // so nothing comes from a cache of the original.
    std::unique_ptr<UserDefaults> reloaded() {
        store.sync();
        const QString copy = path(QStringLiteral("reloaded-%1.conf").arg(++m_reloads));
        EXPECT_TRUE(QFile::copy(store.path(), copy));
        return std::make_unique<UserDefaults>(copy);
    }

    QTemporaryDir m_dir;
    UserDefaults store{path()};
    int m_reloads = 0;
};

TEST_F(SettingsTest, CompositeKeyIsRealmUnderscoreKey) {
    EXPECT_EQ(compositeKey(UserDefaultsRealm("clipboardHistory"), UserDefaultsKey("maxItems")),
              QStringLiteral("clipboardHistory_maxItems"));
    EXPECT_EQ(compositeKey(std::nullopt, UserDefaultsKey("popToRootTimeout")), QStringLiteral("popToRootTimeout"));

    const UserDefaultsValue<int> inRealm("maxItems", UserDefaultsRealm("clipboardHistory"), 100, &store);
    inRealm.setValue(250);
    EXPECT_EQ(store.value(QStringLiteral("clipboardHistory_maxItems")).toInt(), 250);
    EXPECT_FALSE(store.contains(QStringLiteral("maxItems")));

    const UserDefaultsValue<int> plain("popToRootTimeout", 90, &store);
    plain.setValue(30);
    EXPECT_EQ(store.value(QStringLiteral("popToRootTimeout")).toInt(), 30);
}

TEST_F(SettingsTest, MissingValuesReadAsTheDefault) {
    EXPECT_EQ(UserDefaultsValue<int>("popToRootTimeout", 90, &store).value(), 90);
    EXPECT_EQ(UserDefaultsValue<bool>("boostRankingByPreviousSearches", false, &store).value(), false);
    EXPECT_EQ(UserDefaultsValue<QString>("vantrelGlobalHotkey", QStringLiteral("Option-49"), &store).value(),
              QStringLiteral("Option-49"));
    EXPECT_FALSE(UserDefaultsValue<int>("popToRootTimeout", 90, &store).hasStoredValue());
}

TEST_F(SettingsTest, ValuesOfAnotherTypeReadAsTheDefault) {
    store.setValue(QStringLiteral("count"), QStringLiteral("abc"));
    EXPECT_EQ(UserDefaultsValue<int>("count", 7, &store).value(), 7);
    EXPECT_EQ(UserDefaultsValue<qint64>("count", 7, &store).value(), 7);
    EXPECT_EQ(UserDefaultsValue<double>("count", 1.5, &store).value(), 1.5);
    EXPECT_EQ(UserDefaultsValue<bool>("count", true, &store).value(), true);
    EXPECT_EQ(UserDefaultsValue<QByteArray>("count", QByteArray("x"), &store).value(), QByteArray("x"));

    store.setValue(QStringLiteral("number"), 42);
    EXPECT_EQ(UserDefaultsValue<QString>("number", QStringLiteral("none"), &store).value(), QStringLiteral("none"));
    EXPECT_EQ(UserDefaultsValue<bool>("number", false, &store).value(), false);

    store.setValue(QStringLiteral("partial"), QStringLiteral("5 apples"));
    EXPECT_EQ(UserDefaultsValue<int>("partial", -1, &store).value(), -1);

    store.setValue(QStringLiteral("huge"), QStringLiteral("9999999999"));
    EXPECT_EQ(UserDefaultsValue<int>("huge", -1, &store).value(), -1);
    EXPECT_EQ(UserDefaultsValue<qint64>("huge", -1, &store).value(), Q_INT64_C(9999999999));
}

TEST_F(SettingsTest, TextThatSpellsAValueReadsAsThatValue) {
    store.setValue(QStringLiteral("count"), QStringLiteral("5"));
    store.setValue(QStringLiteral("enabled"), QStringLiteral("true"));
    store.setValue(QStringLiteral("ratio"), QStringLiteral("0.25"));
    EXPECT_EQ(UserDefaultsValue<int>("count", 0, &store).value(), 5);
    EXPECT_EQ(UserDefaultsValue<bool>("enabled", false, &store).value(), true);
    EXPECT_EQ(UserDefaultsValue<double>("ratio", 0.0, &store).value(), 0.25);
}

TEST_F(SettingsTest, AHandWrittenFileReadsAsTypedValues) {
    const QString file = path(QStringLiteral("handwritten.conf"));
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write("[General]\npopToRootTimeout=5\nfindAppsViaSpotlightKey=true\nscale=1.5\nname=Vantrel\n");
    out.close();

    UserDefaults fromDisk(file);
    EXPECT_EQ(UserDefaultsValue<int>("popToRootTimeout", 90, &fromDisk).value(), 5);
    EXPECT_EQ(UserDefaultsValue<qint64>("popToRootTimeout", 90, &fromDisk).value(), 5);
    EXPECT_EQ(UserDefaultsValue<bool>("findAppsViaSpotlightKey", false, &fromDisk).value(), true);
    EXPECT_EQ(UserDefaultsValue<double>("scale", 1.0, &fromDisk).value(), 1.5);
    EXPECT_EQ(UserDefaultsValue<QString>("name", QString(), &fromDisk).value(), QStringLiteral("Vantrel"));
}

TEST_F(SettingsTest, EveryTypeSurvivesARoundTripThroughTheFile) {
    UserDefaultsValue<int>("int", 0, &store).setValue(-12);
    UserDefaultsValue<qint64>("int64", 0, &store).setValue(Q_INT64_C(1) << 40);
    UserDefaultsValue<bool>("bool", true, &store).setValue(false);
    UserDefaultsValue<double>("double", 0.0, &store).setValue(0.125);
    UserDefaultsValue<QString>("string", QString(), &store).setValue(QStringLiteral("a, b = \"c\""));
    UserDefaultsValue<QStringList>("list", {}, &store).setValue({QStringLiteral("one"), QStringLiteral("two")});
    UserDefaultsValue<QStringList>("single", {}, &store).setValue({QStringLiteral("alone")});
    UserDefaultsValue<QStringList>("empty", {QStringLiteral("default")}, &store).setValue({});
    UserDefaultsValue<QByteArray>("bytes", {}, &store).setValue(QByteArray("\x00\x01\xff", 3));
    const QDateTime when = QDateTime::fromString(QStringLiteral("2024-03-01T10:20:30.456Z"), Qt::ISODateWithMs);
    UserDefaultsValue<QDateTime>("date", {}, &store).setValue(when);

    auto disk = reloaded();
    EXPECT_EQ(UserDefaultsValue<int>("int", 0, disk.get()).value(), -12);
    EXPECT_EQ(UserDefaultsValue<qint64>("int64", 0, disk.get()).value(), Q_INT64_C(1) << 40);
    EXPECT_EQ(UserDefaultsValue<bool>("bool", true, disk.get()).value(), false);
    EXPECT_EQ(UserDefaultsValue<double>("double", 0.0, disk.get()).value(), 0.125);
    EXPECT_EQ(UserDefaultsValue<QString>("string", QString(), disk.get()).value(), QStringLiteral("a, b = \"c\""));
    EXPECT_EQ(UserDefaultsValue<QStringList>("list", {}, disk.get()).value(),
              QStringList({QStringLiteral("one"), QStringLiteral("two")}));
    EXPECT_EQ(UserDefaultsValue<QStringList>("single", {}, disk.get()).value(), QStringList{QStringLiteral("alone")});
    EXPECT_EQ(UserDefaultsValue<QStringList>("empty", {QStringLiteral("default")}, disk.get()).value(), QStringList());
    EXPECT_EQ(UserDefaultsValue<QByteArray>("bytes", {}, disk.get()).value(), QByteArray("\x00\x01\xff", 3));
    EXPECT_EQ(UserDefaultsValue<QDateTime>("date", {}, disk.get()).value(), when);
}

TEST_F(SettingsTest, ValuesPersistForANewStoreOnTheSameFile) {
    {
        UserDefaults first(path(QStringLiteral("shared.conf")));
        UserDefaultsValue<int>("popToRootTimeout", 90, &first).setValue(45);
        UserDefaultsValue<QString>("hotkey", UserDefaultsRealm("launcher"), QString(), &first)
            .setValue(QStringLiteral("Control-49"));
        first.sync();
    }
    UserDefaults second(path(QStringLiteral("shared.conf")));
    EXPECT_EQ(UserDefaultsValue<int>("popToRootTimeout", 90, &second).value(), 45);
    EXPECT_EQ(UserDefaultsValue<QString>("hotkey", UserDefaultsRealm("launcher"), QString(), &second).value(),
              QStringLiteral("Control-49"));
}

TEST_F(SettingsTest, WritingAnAbsentOptionalRemovesTheEntry) {
    store.setValue(QStringLiteral("unrelated"), 1);
    const UserDefaultsValue<std::optional<int>> limit("limit", std::nullopt, &store);
    EXPECT_EQ(limit.value(), std::nullopt);
    limit.setValue(3);
    EXPECT_EQ(limit.value(), 3);
    EXPECT_TRUE(store.contains(QStringLiteral("limit")));
    limit.setValue(std::nullopt);
    EXPECT_FALSE(store.contains(QStringLiteral("limit")));
    EXPECT_EQ(limit.value(), std::nullopt);

    const UserDefaultsValue<std::optional<QString>> named("name", QStringLiteral("fallback"), &store);
    named.setValue(QStringLiteral("set"));
    EXPECT_EQ(named.value(), QStringLiteral("set"));
    named.setValue(std::nullopt);
    EXPECT_EQ(named.value(), QStringLiteral("fallback"));
    EXPECT_EQ(reloaded()->contains(QStringLiteral("name")), false);
}

TEST_F(SettingsTest, EnumerationsAreStoredByTheirRawValue) {
    const UserDefaultsRawRepresentable<WindowMode> mode("windowMode", WindowMode::compact, &store);
    EXPECT_EQ(mode.value(), WindowMode::compact);
    mode.setValue(WindowMode::expanded);
    EXPECT_EQ(store.value(QStringLiteral("windowMode")).toString(), QStringLiteral("expanded"));
    EXPECT_EQ(mode.value(), WindowMode::expanded);
    EXPECT_EQ(UserDefaultsRawRepresentable<WindowMode>("windowMode", WindowMode::compact, reloaded().get()).value(),
              WindowMode::expanded);

    store.setValue(QStringLiteral("windowMode"), QStringLiteral("floating"));
    EXPECT_EQ(mode.value(), WindowMode::compact);
}

TEST_F(SettingsTest, EnumerationsCanBringTheirOwnConversions) {
    const UserDefaultsRawRepresentable<int> level(
        "level", UserDefaultsRealm("logger"), 1, [](const int& value) { return QStringLiteral("L%1").arg(value); },
        [](const QString& raw) -> std::optional<int> {
            if (!raw.startsWith(QLatin1Char('L'))) return std::nullopt;
            bool ok = false;
            const int value = raw.mid(1).toInt(&ok);
            return ok ? std::optional<int>(value) : std::nullopt;
        },
        &store);
    level.setValue(3);
    EXPECT_EQ(store.value(QStringLiteral("logger_level")).toString(), QStringLiteral("L3"));
    EXPECT_EQ(level.value(), 3);
}

TEST_F(SettingsTest, CodableValuesAreStoredAsCompactJson) {
    const CodableUserDefault<Placement> placement("placement", Placement{640, QStringLiteral("primary")}, &store);
    EXPECT_EQ(placement.value(), (Placement{640, QStringLiteral("primary")}));
    placement.setValue(Placement{800, QStringLiteral("HDMI-1")});
    EXPECT_EQ(store.value(QStringLiteral("placement")).toString(),
              QStringLiteral("{\"screen\":\"HDMI-1\",\"width\":800}"));
    EXPECT_EQ(placement.value(), (Placement{800, QStringLiteral("HDMI-1")}));
    EXPECT_EQ(CodableUserDefault<Placement>("placement", Placement{}, reloaded().get()).value(),
              (Placement{800, QStringLiteral("HDMI-1")}));
}

TEST_F(SettingsTest, UndecodableJsonReadsAsTheDefault) {
    const CodableUserDefault<Placement> placement("placement", Placement{1, QStringLiteral("default")}, &store);
    store.setValue(QStringLiteral("placement"), QStringLiteral("{not json"));
    EXPECT_EQ(placement.value(), (Placement{1, QStringLiteral("default")}));
    store.setValue(QStringLiteral("placement"), QStringLiteral("{\"width\":\"wide\"}"));
    EXPECT_EQ(placement.value(), (Placement{1, QStringLiteral("default")}));
    store.setValue(QStringLiteral("placement"), 12);
    EXPECT_EQ(placement.value(), (Placement{1, QStringLiteral("default")}));
}

TEST(SettingsStandardStoreTest, SettingsWithoutAStoreUseTheStandardOne) {
    test::ScopedXdgHome home;
    const UserDefaultsValue<int> timeout("popToRootTimeout", 90);
    timeout.setValue(15);
    EXPECT_EQ(UserDefaults::standard().value(QStringLiteral("popToRootTimeout")).toInt(), 15);
    EXPECT_EQ(UserDefaults::standard().path(), Paths::settingsFile());
    EXPECT_TRUE(Paths::settingsFile().startsWith(home.root()));
    timeout.reset();
    EXPECT_EQ(timeout.value(), 90);
}

}  // namespace
}  // namespace vantrel
