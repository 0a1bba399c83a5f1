// The keychain over the desktop's Secret Service. These tests need a session bus
// with an unlocked keyring (scripts/test-session provides one and sets
// VANTREL_TEST_SECRET_SERVICE=1); without that variable they are skipped (and
// fail inside the session), with it a missing Secret Service is a failure.
#include "data/FileKeychainBackend.h"
#include "platform/freedesktop/KeychainFactory.h"
#include "platform/freedesktop/SecretServiceKeychainBackend.h"
#include "support/KeychainContract.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

namespace vantrel::test {
namespace {

using namespace keychain_messages;

bool secretServiceRequired() {
    return qgetenv("VANTREL_TEST_SECRET_SERVICE") == "1";
}

struct SecretServiceTraits {
    static void requireAvailable() {
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(secretServiceRequired(), "VANTREL_TEST_SECRET_SERVICE is not set");
        QString detail;
        if (!SecretServiceKeychainBackend::isAvailable(&detail))
            FAIL() << "no Secret Service: " << detail.toStdString();
    }
    std::shared_ptr<KeychainBackend> makeBackend() { return std::make_shared<SecretServiceKeychainBackend>(); }
};

#define REQUIRE_SECRET_SERVICE()                      \
    do {                                              \
        SecretServiceTraits::requireAvailable();      \
        if (IsSkipped() || HasFatalFailure()) return; \
    } while (false)

// What the Secret Service holds for one item, read with libsecret directly.
struct StoredItem {
    int count = 0;
    QString label;
    QString schema;
    QString contentType;
    QByteArray secret;
};

StoredItem findStoredItem(const QString& service, const QString& account) {
    StoredItem found;
    const QByteArray serviceUtf8 = service.toUtf8();
    const QByteArray accountUtf8 = account.toUtf8();
    GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(attributes, const_cast<char*>("service"), const_cast<char*>(serviceUtf8.constData()));
    g_hash_table_insert(attributes, const_cast<char*>("account"), const_cast<char*>(accountUtf8.constData()));
    GError* error = nullptr;
    GList* items = secret_service_search_sync(
        nullptr, nullptr, attributes,
        static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS), nullptr,
        &error);
    g_hash_table_unref(attributes);
    if (error) {
        ADD_FAILURE() << "search failed: " << error->message;
        g_clear_error(&error);
        return found;
    }
    found.count = static_cast<int>(g_list_length(items));
    if (items) {
        auto* item = static_cast<SecretItem*>(items->data);
        gchar* label = secret_item_get_label(item);
        found.label = QString::fromUtf8(label);
        g_free(label);
        gchar* schema = secret_item_get_schema_name(item);
        found.schema = QString::fromUtf8(schema);
        g_free(schema);
        if (SecretValue* value = secret_item_get_secret(item)) {
            found.contentType = QString::fromUtf8(secret_value_get_content_type(value));
            gsize length = 0;
            const gchar* bytes = secret_value_get(value, &length);
            found.secret = QByteArray(bytes, static_cast<qsizetype>(length));
            secret_value_unref(value);
        }
    }
    g_list_free_full(items, g_object_unref);
    return found;
}

}  // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(SecretService, KeychainContract, ::testing::Types<SecretServiceTraits>);

class SecretServiceKeychainTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (!m_service.isEmpty()) {
            try {
                Keychain(m_service, std::make_shared<SecretServiceKeychainBackend>()).deleteAllItems();
            } catch (const VantrelError&) {
            }
        }
    }
    Keychain makeKeychain() {
        m_service = uniqueKeychainService();
        return Keychain(m_service, std::make_shared<SecretServiceKeychainBackend>());
    }
    QString m_service;
};

TEST_F(SecretServiceKeychainTest, ItemsAreLabelledBinarySecretsOfTheVantrelSchema) {
    REQUIRE_SECRET_SERVICE();
    const Keychain keychain = makeKeychain();
    const QByteArray data("\x01\x00\x02 token", 9);
    keychain.saveItem(data, QStringLiteral("alice"));

    const StoredItem item = findStoredItem(keychain.service(), QStringLiteral("alice"));
    EXPECT_EQ(item.count, 1);
    EXPECT_EQ(item.label.toStdString(), ("Vantrel: " + keychain.service() + " alice").toStdString());
    EXPECT_EQ(item.schema.toStdString(), "org.vantrel.GenericPassword");
    // The item is stored as "application/octet-stream", but gnome-keyring does
    // not keep content types and answers "text/plain" for every secret.
    EXPECT_TRUE(item.contentType == QLatin1String("application/octet-stream") ||
                item.contentType == QLatin1String("text/plain"))
        << item.contentType.toStdString();
    EXPECT_EQ(hexOf(item.secret), hexOf(data));

    // Saving again replaces the item rather than adding a second one.
    keychain.saveItem("second", QStringLiteral("alice"));
    const StoredItem updated = findStoredItem(keychain.service(), QStringLiteral("alice"));
    EXPECT_EQ(updated.count, 1);
    EXPECT_EQ(updated.secret, QByteArray("second"));
}

TEST_F(SecretServiceKeychainTest, AnotherBackendInstanceSeesTheItems) {
    REQUIRE_SECRET_SERVICE();
    const Keychain writer = makeKeychain();
    const Keychain reader(writer.service(), std::make_shared<SecretServiceKeychainBackend>());
    writer.saveString(QStringLiteral("shared"), QStringLiteral("alice"));
    EXPECT_EQ(reader.readString(QStringLiteral("alice")).toStdString(), "shared");
    EXPECT_EQ(reader.backend()->name().toStdString(), "secret-service");
}

TEST(SecretServiceAvailabilityTest, AnswersInTheTestSession) {
    VANTREL_REQUIRE_DESKTOP_OR_SKIP(secretServiceRequired(), "VANTREL_TEST_SECRET_SERVICE is not set");
    QString detail;
    EXPECT_TRUE(SecretServiceKeychainBackend::isAvailable(&detail)) << detail.toStdString();
}

TEST(SecretServiceAvailabilityTest, WithoutASessionBusItSaysSoQuickly) {
    QTemporaryDir runtime;
    ScopedEnv noAddress("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
    ScopedEnv emptyRuntime("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    QElapsedTimer timer;
    timer.start();
    QString detail;
    EXPECT_FALSE(SecretServiceKeychainBackend::isAvailable(&detail));
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_TRUE(detail.contains(QStringLiteral("no D-Bus session bus"))) << detail.toStdString();
}

// MARK: - Choosing a backend

TEST(KeychainFactoryTest, TheFileBackendCanBeForced) {
    ScopedXdgHome home;
    ScopedEnv choice("VANTREL_KEYRING", QByteArray("file"));
    QString reason;
    const auto backend = makeKeychainBackend(&reason);
    ASSERT_TRUE(backend);
    EXPECT_EQ(backend->name().toStdString(), "file");
    const auto* file = dynamic_cast<FileKeychainBackend*>(backend.get());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->path().toStdString(), (home.root() + QStringLiteral("/data/vantrel/keyring")).toStdString());
    EXPECT_TRUE(reason.contains(QStringLiteral("VANTREL_KEYRING=file"))) << reason.toStdString();
}

TEST(KeychainFactoryTest, TheSecretServiceCanBeForced) {
    ScopedEnv choice("VANTREL_KEYRING", QByteArray("secret-service"));
    QString reason;
    const auto backend = makeKeychainBackend(&reason);
    ASSERT_TRUE(backend);
    EXPECT_EQ(backend->name().toStdString(), "secret-service");
    EXPECT_NE(dynamic_cast<SecretServiceKeychainBackend*>(backend.get()), nullptr);
    EXPECT_TRUE(reason.contains(QStringLiteral("VANTREL_KEYRING=secret-service"))) << reason.toStdString();

    if (!secretServiceRequired()) return;
    // In the session the forced backend really works.
    const Keychain keychain(uniqueKeychainService(), backend);
    keychain.saveString(QStringLiteral("forced"), QStringLiteral("alice"));
    EXPECT_EQ(keychain.readString(QStringLiteral("alice")).toStdString(), "forced");
    keychain.deleteAllItems();
}

TEST(KeychainFactoryTest, TheSecretServiceIsChosenWhenItAnswers) {
    VANTREL_REQUIRE_DESKTOP_OR_SKIP(secretServiceRequired(), "VANTREL_TEST_SECRET_SERVICE is not set");
    ScopedEnv choice("VANTREL_KEYRING", std::nullopt);
    QString reason;
    EXPECT_EQ(makeKeychainBackend(&reason)->name().toStdString(), "secret-service") << reason.toStdString();
}

TEST(KeychainFactoryTest, AnUnknownChoiceIsIgnored) {
    VANTREL_REQUIRE_DESKTOP_OR_SKIP(secretServiceRequired(), "VANTREL_TEST_SECRET_SERVICE is not set");
    ScopedEnv choice("VANTREL_KEYRING", QByteArray("kwallet-please"));
    EXPECT_EQ(makeKeychainBackend()->name().toStdString(), "secret-service");
}

TEST(KeychainFactoryTest, WithoutASecretServiceSecretsGoToTheFile) {
    ScopedXdgHome home;
    QTemporaryDir runtime;
    ScopedEnv choice("VANTREL_KEYRING", QByteArray("bogus"));
    ScopedEnv noAddress("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
    ScopedEnv emptyRuntime("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    QString reason;
    const auto backend = makeKeychainBackend(&reason);
    ASSERT_TRUE(backend);
    EXPECT_EQ(backend->name().toStdString(), "file");
    const QString path = home.root() + QStringLiteral("/data/vantrel/keyring");
    EXPECT_TRUE(reason.startsWith(QStringLiteral("No Secret Service answered; keeping secrets in ") + path))
        << reason.toStdString();

    // And the file works.
    const Keychain keychain(QStringLiteral("vantrel"), backend);
    keychain.saveString(QStringLiteral("kept"), QStringLiteral("alice"));
    EXPECT_EQ(keychain.readString(QStringLiteral("alice")).toStdString(), "kept");
}

TEST(KeychainFactoryTest, TheDefaultKeychainIsTheVantrelService) {
    ScopedXdgHome home;
    ScopedEnv choice("VANTREL_KEYRING", QByteArray("file"));
    const Keychain keychain = makeDefaultKeychain();
    EXPECT_EQ(keychain.service().toStdString(), "vantrel");
    EXPECT_EQ(keychain.backend()->name().toStdString(), "file");
}

}  // namespace vantrel::test
