#pragma once

// The behaviour every keychain backend owes the Keychain wrapper, written once
// as a typed test suite. A test file instantiates it with a traits type:
//
//   struct Traits {
//       // Skips or fails the running test when the backend cannot be used here.
//       static void requireAvailable();
//       std::shared_ptr<vantrel::KeychainBackend> makeBackend();
//   };
//   INSTANTIATE_TYPED_TEST_SUITE_P(Name, KeychainContract, ::testing::Types<Traits>);

#include "data/Keychain.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QUuid>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace vantrel::test {

namespace keychain_messages {
inline constexpr const char* kCannotPresentDataAsString = "Cannot present data as a string.";
inline constexpr const char* kCannotPresentStringAsData = "Cannot present a string as data.";
inline constexpr const char* kCannotDecodeJSON = "Cannot decode a model from JSON.";
inline constexpr const char* kCannotFindItem = "Cannot find an item in the Keychain.";
inline constexpr const char* kCannotReadItem = "Cannot read an item from the Keychain.";
inline constexpr const char* kCannotParseData = "Cannot parse data from the Keychain.";
inline constexpr const char* kCannotCreateItem = "Cannot create a new item in the Keychain.";
inline constexpr const char* kCannotUpdateItem = "Cannot update an item in the Keychain.";
inline constexpr const char* kCannotDeleteItem = "Cannot delete an item from the Keychain.";
inline constexpr const char* kCannotDeleteAllItems = "Cannot delete all Vantrel items from the Keychain.";
inline constexpr const char* kUnsupportedValueType = "Unsupported value type";
}  // namespace keychain_messages

// The message of the VantrelError the call throws; "<no error>" when it returns.
inline std::string keychainErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const VantrelError& error) {
        return error.errorDescription().toStdString();
    }
    return "<no error>";
}

inline std::string hexOf(const QByteArray& data) {
    return data.toHex().toStdString();
}

inline QString uniqueKeychainService() {
    return QStringLiteral("vantrel-test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

template <typename Traits>
class KeychainContract : public ::testing::Test {
protected:
    void SetUp() override {
        Traits::requireAvailable();
        if (this->IsSkipped() || this->HasFatalFailure()) return;
        m_backend = m_traits.makeBackend();
        ASSERT_TRUE(m_backend);
        m_keychain = std::make_unique<Keychain>(uniqueKeychainService(), m_backend);
    }

    void TearDown() override {
        for (const auto& keychain : m_extra) clear(*keychain);
        if (m_keychain) clear(*m_keychain);
    }

    Keychain& keychain() { return *m_keychain; }

    // Another service over the same backend, cleaned up after the test.
    Keychain& otherService() {
        m_extra.push_back(std::make_unique<Keychain>(uniqueKeychainService(), m_backend));
        return *m_extra.back();
    }

private:
    static void clear(const Keychain& keychain) {
        try {
            keychain.deleteAllItems();
        } catch (const VantrelError&) {
        }
    }

    Traits m_traits;
    std::shared_ptr<KeychainBackend> m_backend;
    std::unique_ptr<Keychain> m_keychain;
    std::vector<std::unique_ptr<Keychain>> m_extra;
};

TYPED_TEST_SUITE_P(KeychainContract);

using namespace keychain_messages;

TYPED_TEST_P(KeychainContract, ReadingAMissingItemReportsNotFound) {
    const Keychain& keychain = this->keychain();
    EXPECT_EQ(keychainErrorOf([&] { keychain.readItem(QStringLiteral("nobody")); }), kCannotFindItem);
    EXPECT_EQ(keychainErrorOf([&] { keychain.readString(QStringLiteral("nobody")); }), kCannotFindItem);
    EXPECT_EQ(keychainErrorOf([&] { keychain.readObject(QStringLiteral("nobody")); }), kCannotFindItem);
    EXPECT_EQ(keychain.fetchValue(QStringLiteral("nobody")), std::nullopt);
}

TYPED_TEST_P(KeychainContract, CreatedItemsReadBack) {
    const Keychain& keychain = this->keychain();
    keychain.createItem("token-1", QStringLiteral("alice"));
    EXPECT_EQ(keychain.readItem(QStringLiteral("alice")), QByteArray("token-1"));
}

TYPED_TEST_P(KeychainContract, CreatingAnExistingItemFailsAndKeepsIt) {
    const Keychain& keychain = this->keychain();
    keychain.createItem("first", QStringLiteral("alice"));
    EXPECT_EQ(keychainErrorOf([&] { keychain.createItem("second", QStringLiteral("alice")); }), kCannotCreateItem);
    EXPECT_EQ(keychain.readItem(QStringLiteral("alice")), QByteArray("first"));
}

TYPED_TEST_P(KeychainContract, UpdatingAMissingItemFailsAndCreatesNothing) {
    const Keychain& keychain = this->keychain();
    EXPECT_EQ(keychainErrorOf([&] { keychain.updateItem("value", QStringLiteral("alice")); }), kCannotUpdateItem);
    EXPECT_EQ(keychainErrorOf([&] { keychain.readItem(QStringLiteral("alice")); }), kCannotFindItem);
}

TYPED_TEST_P(KeychainContract, UpdatingReplacesTheData) {
    const Keychain& keychain = this->keychain();
    keychain.createItem("old", QStringLiteral("alice"));
    keychain.updateItem("new", QStringLiteral("alice"));
    EXPECT_EQ(keychain.readItem(QStringLiteral("alice")), QByteArray("new"));
}

TYPED_TEST_P(KeychainContract, SavingCreatesThenUpdates) {
    const Keychain& keychain = this->keychain();
    keychain.saveItem("one", QStringLiteral("alice"));
    EXPECT_EQ(keychain.readItem(QStringLiteral("alice")), QByteArray("one"));
    keychain.saveItem("two", QStringLiteral("alice"));
    EXPECT_EQ(keychain.readItem(QStringLiteral("alice")), QByteArray("two"));
}

TYPED_TEST_P(KeychainContract, DeletingRemovesTheItemAndAMissingItemIsNoError) {
    const Keychain& keychain = this->keychain();
    keychain.saveItem("secret", QStringLiteral("alice"));
    keychain.saveItem("other", QStringLiteral("bob"));
    keychain.deleteItem(QStringLiteral("alice"));
    EXPECT_EQ(keychainErrorOf([&] { keychain.readItem(QStringLiteral("alice")); }), kCannotFindItem);
    EXPECT_EQ(keychain.readItem(QStringLiteral("bob")), QByteArray("other"));
    EXPECT_EQ(keychainErrorOf([&] { keychain.deleteItem(QStringLiteral("alice")); }), "<no error>");
    EXPECT_EQ(keychainErrorOf([&] { keychain.deleteItem(QStringLiteral("never-there")); }), "<no error>");
}

TYPED_TEST_P(KeychainContract, DeletingAllItemsTouchesOnlyItsService) {
    const Keychain& keychain = this->keychain();
    const Keychain& neighbour = this->otherService();
    keychain.saveItem("a", QStringLiteral("alice"));
    keychain.saveItem("b", QStringLiteral("bob"));
    neighbour.saveItem("n", QStringLiteral("alice"));

    keychain.deleteAllItems();
    EXPECT_EQ(keychainErrorOf([&] { keychain.readItem(QStringLiteral("alice")); }), kCannotFindItem);
    EXPECT_EQ(keychainErrorOf([&] { keychain.readItem(QStringLiteral("bob")); }), kCannotFindItem);
    EXPECT_EQ(neighbour.readItem(QStringLiteral("alice")), QByteArray("n"));

    // Nothing left to delete is still a success.
    EXPECT_EQ(keychainErrorOf([&] { keychain.deleteAllItems(); }), "<no error>");
}

TYPED_TEST_P(KeychainContract, ServicesAreIsolated) {
    const Keychain& keychain = this->keychain();
    const Keychain& neighbour = this->otherService();
    keychain.saveItem("mine", QStringLiteral("alice"));
    EXPECT_EQ(keychainErrorOf([&] { neighbour.readItem(QStringLiteral("alice")); }), kCannotFindItem);
    neighbour.createItem("theirs", QStringLiteral("alice"));
    EXPECT_EQ(keychain.readItem(QStringLiteral("alice")), QByteArray("mine"));
    EXPECT_EQ(neighbour.readItem(QStringLiteral("alice")), QByteArray("theirs"));
    neighbour.deleteItem(QStringLiteral("alice"));
    EXPECT_EQ(keychain.readItem(QStringLiteral("alice")), QByteArray("mine"));
}

TYPED_TEST_P(KeychainContract, BinaryDataRoundTripsExactly) {
    const Keychain& keychain = this->keychain();
    QByteArray data;
    for (int round = 0; round < 3; ++round)
        for (int byte = 0; byte < 256; ++byte) data.append(static_cast<char>(byte));
    data.append(QByteArray(16, '\0'));
    data.prepend('\0');
    keychain.saveItem(data, QStringLiteral("binary"));
    const QByteArray back = keychain.readItem(QStringLiteral("binary"));
    EXPECT_EQ(back.size(), data.size());
    EXPECT_EQ(hexOf(back), hexOf(data));
    EXPECT_EQ(keychain.fetchValue(QStringLiteral("binary")).value_or(QByteArray()).size(), data.size());
}

TYPED_TEST_P(KeychainContract, UnusualAccountNamesAreKeptApart) {
    const Keychain& keychain = this->keychain();
    const QStringList accounts = {QStringLiteral("user@example.com"), QStringLiteral("with space"),
                                  QStringLiteral("slash/and\\back"), QStringLiteral("ünïcødé 🔑"),
                                  QStringLiteral("\"quoted\": {json}")};
    for (const QString& account : accounts) keychain.saveString(QStringLiteral("value of ") + account, account);
    for (const QString& account : accounts)
        EXPECT_EQ(keychain.readString(account).toStdString(), (QStringLiteral("value of ") + account).toStdString());
}

TYPED_TEST_P(KeychainContract, StringsRoundTrip) {
    const Keychain& keychain = this->keychain();
    const QString text = QStringLiteral("pässwörd – 🔐 ok");
    keychain.saveString(text, QStringLiteral("alice"));
    EXPECT_EQ(keychain.readString(QStringLiteral("alice")).toStdString(), text.toStdString());
    EXPECT_EQ(hexOf(keychain.readItem(QStringLiteral("alice"))), hexOf(text.toUtf8()));
    keychain.saveString(QStringLiteral("changed"), QStringLiteral("alice"));
    EXPECT_EQ(keychain.readString(QStringLiteral("alice")).toStdString(), "changed");
}

TYPED_TEST_P(KeychainContract, DataThatIsNotUtf8IsNotAString) {
    const Keychain& keychain = this->keychain();
    keychain.saveItem(QByteArray("\xff\xfe\x00 abc", 7), QStringLiteral("latin"));
    EXPECT_EQ(keychainErrorOf([&] { keychain.readString(QStringLiteral("latin")); }), kCannotPresentDataAsString);
    // A multi-byte sequence cut short at the end.
    keychain.saveItem(QByteArray("euro \xe2\x82"), QStringLiteral("truncated"));
    EXPECT_EQ(keychainErrorOf([&] { keychain.readString(QStringLiteral("truncated")); }), kCannotPresentDataAsString);
    // Overlong encoding of '/'.
    keychain.saveItem(QByteArray("\xc0\xaf"), QStringLiteral("overlong"));
    EXPECT_EQ(keychainErrorOf([&] { keychain.readString(QStringLiteral("overlong")); }), kCannotPresentDataAsString);
}

TYPED_TEST_P(KeychainContract, StringsWithUnpairedSurrogatesCannotBeSaved) {
    const Keychain& keychain = this->keychain();
    const QString broken = QStringLiteral("abc") + QChar(0xD800) + QStringLiteral("def");
    EXPECT_EQ(keychainErrorOf([&] { keychain.saveString(broken, QStringLiteral("alice")); }),
              kCannotPresentStringAsData);
    EXPECT_EQ(keychainErrorOf([&] { keychain.readItem(QStringLiteral("alice")); }), kCannotFindItem);
}

TYPED_TEST_P(KeychainContract, ObjectsRoundTripAsJson) {
    const Keychain& keychain = this->keychain();
    const QJsonObject session{
        {QStringLiteral("credentials"),
         QJsonObject{{QStringLiteral("access_token"), QStringLiteral("abc")}, {QStringLiteral("expires_in"), 3600}}},
        {QStringLiteral("version"), QStringLiteral("1")},
        {QStringLiteral("scopes"), QJsonArray{QStringLiteral("repo"), QStringLiteral("user")}}};
    keychain.saveObject(QJsonDocument(session), QStringLiteral("session"));
    EXPECT_EQ(keychain.readObject(QStringLiteral("session")).object(), session);
    // Stored as JSON text.
    EXPECT_EQ(QJsonDocument::fromJson(keychain.readItem(QStringLiteral("session"))).object(), session);
}

TYPED_TEST_P(KeychainContract, DataThatIsNotJsonIsNotAnObject) {
    const Keychain& keychain = this->keychain();
    keychain.saveString(QStringLiteral("{\"access_token\": "), QStringLiteral("cut"));
    EXPECT_EQ(keychainErrorOf([&] { keychain.readObject(QStringLiteral("cut")); }), kCannotDecodeJSON);
    keychain.saveString(QStringLiteral("plain text"), QStringLiteral("text"));
    EXPECT_EQ(keychainErrorOf([&] { keychain.readObject(QStringLiteral("text")); }), kCannotDecodeJSON);
}

TYPED_TEST_P(KeychainContract, AnEmptyItemHoldsNoData) {
    const Keychain& keychain = this->keychain();
    keychain.createItem(QByteArray(), QStringLiteral("empty"));
    EXPECT_EQ(keychainErrorOf([&] { keychain.readItem(QStringLiteral("empty")); }), kCannotParseData);
    EXPECT_EQ(keychainErrorOf([&] { keychain.readString(QStringLiteral("empty")); }), kCannotParseData);
    EXPECT_EQ(keychainErrorOf([&] { keychain.readObject(QStringLiteral("empty")); }), kCannotParseData);
    // As key-value storage an empty value is a value.
    const auto value = keychain.fetchValue(QStringLiteral("empty"));
    ASSERT_TRUE(value.has_value());
    EXPECT_TRUE(value->isEmpty());
}

TYPED_TEST_P(KeychainContract, KeyValueStorageTakesStringsAndDataOnly) {
    const Keychain& keychain = this->keychain();
    keychain.storeValue(QVariant(QStringLiteral("text ✓")), QStringLiteral("string-key"));
    keychain.storeValue(QVariant(QByteArray("\x00\x01\x02", 3)), QStringLiteral("data-key"));
    EXPECT_EQ(hexOf(keychain.fetchValue(QStringLiteral("string-key")).value_or("missing")),
              hexOf(QStringLiteral("text ✓").toUtf8()));
    EXPECT_EQ(hexOf(keychain.fetchValue(QStringLiteral("data-key")).value_or("missing")),
              hexOf(QByteArray("\x00\x01\x02", 3)));

    // Storing again replaces.
    keychain.storeValue(QVariant(QStringLiteral("second")), QStringLiteral("string-key"));
    EXPECT_EQ(keychain.fetchValue(QStringLiteral("string-key")).value_or("missing"), QByteArray("second"));

    EXPECT_EQ(keychainErrorOf([&] { keychain.storeValue(QVariant(42), QStringLiteral("int-key")); }),
              kUnsupportedValueType);
    EXPECT_EQ(keychainErrorOf([&] { keychain.storeValue(QVariant(3.5), QStringLiteral("int-key")); }),
              kUnsupportedValueType);
    EXPECT_EQ(keychainErrorOf([&] { keychain.storeValue(QVariant(), QStringLiteral("int-key")); }),
              kUnsupportedValueType);
    EXPECT_EQ(keychain.fetchValue(QStringLiteral("int-key")), std::nullopt);
    EXPECT_EQ(keychain.fetchValue(QStringLiteral("never-stored")), std::nullopt);
}

REGISTER_TYPED_TEST_SUITE_P(KeychainContract, ReadingAMissingItemReportsNotFound, CreatedItemsReadBack,
                            CreatingAnExistingItemFailsAndKeepsIt, UpdatingAMissingItemFailsAndCreatesNothing,
                            UpdatingReplacesTheData, SavingCreatesThenUpdates,
                            DeletingRemovesTheItemAndAMissingItemIsNoError, DeletingAllItemsTouchesOnlyItsService,
                            ServicesAreIsolated, BinaryDataRoundTripsExactly, UnusualAccountNamesAreKeptApart,
                            StringsRoundTrip, DataThatIsNotUtf8IsNotAString, StringsWithUnpairedSurrogatesCannotBeSaved,
                            ObjectsRoundTripAsJson, DataThatIsNotJsonIsNotAnObject, AnEmptyItemHoldsNoData,
                            KeyValueStorageTakesStringsAndDataOnly);

}  // namespace vantrel::test
