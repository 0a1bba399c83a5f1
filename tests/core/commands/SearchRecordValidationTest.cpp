#include "support/DatabaseTestSupport.h"

#include "core/commands/SearchRecordValidation.h"
#include "kit/VantrelError.h"

namespace vantrel::test {
namespace {

class SearchRecordValidationTest : public SearchRepositoryFixture {
protected:
    void SetUp() override {
        SearchRepositoryFixture::SetUp();
        repository->update(SearchRecord::Source::package,
                           {commandRecord("urlEncode", "Encode URL"), commandRecord("urlDecode", "Decode URL")},
                           SearchUpdateStrategy::source());
        validator = std::make_unique<SearchRecordValidator>(repository);
    }

    // The sentence a refused value is refused with; empty when it was taken.
    template <typename Update>
    static QString refusal(Update&& update) {
        try {
            update();
        } catch (const VantrelError& error) {
            return error.errorDescription();
        }
        return {};
    }
    QString aliasRefusal(const QString& key, const QString& alias) {
        return refusal([&] { validator->updateAlias(stored(key), alias); });
    }
    QString hotkeyRefusal(const QString& key, const std::optional<KeyCombination>& hotkey) {
        return refusal([&] { validator->updateHotkey(stored(key), hotkey); });
    }

    std::unique_ptr<SearchRecordValidator> validator;
};

// MARK: Aliases

TEST_F(SearchRecordValidationTest, AliasIsTrimmedAndStored) {
    EXPECT_EQ(validator->updateAlias(stored("urlEncode"), "  enc  ").alias, "enc");
    EXPECT_EQ(stored("urlEncode").alias, "enc");
    EXPECT_EQ(validator->updateAlias(stored("urlEncode"), "ÉtÉ42").alias, "ÉtÉ42");
    // Empty removes it.
    EXPECT_EQ(validator->updateAlias(stored("urlEncode"), "   ").alias, std::nullopt);
    EXPECT_EQ(stored("urlEncode").alias, std::nullopt);
}

TEST_F(SearchRecordValidationTest, AliasRulesRefuseWithTheirSentences) {
    EXPECT_EQ(aliasRefusal("urlEncode", "abcdefg"), "Alias cannot be longer than 6 characters");
    EXPECT_EQ(aliasRefusal("urlEncode", "a-b"),
              "Alias contains invalid characters, please use only numbers and letters");
    EXPECT_EQ(aliasRefusal("urlEncode", "a b"),
              "Alias contains invalid characters, please use only numbers and letters");
    EXPECT_EQ(aliasRefusal("urlEncode", "  abcdef  "), "");
    EXPECT_EQ(aliasRefusal("urlDecode", "abcdef"), "Alias is already in use");
    // Nothing was written for the refused values.
    EXPECT_EQ(stored("urlEncode").alias, "abcdef");
    EXPECT_EQ(stored("urlDecode").alias, std::nullopt);
    // Keeping one's own alias is not a clash.
    EXPECT_EQ(aliasRefusal("urlEncode", "abcdef"), "");
}

TEST_F(SearchRecordValidationTest, AliasOfAMissingRecordIsLoggedAsAFailedWrite) {
    SearchRecord ghost = commandRecord("ghost", "Ghost");
    EXPECT_THROW(validator->updateAlias(ghost, "gh"), VantrelError);
    EXPECT_TRUE(logs->contains("Failed to update alias in the database"));
}

// MARK: Hotkeys

TEST_F(SearchRecordValidationTest, HotkeyIsStoredInItsPersistentForm) {
    const KeyCombination altE{ModifierKeys::option, KeyEquivalent(U'e')};
    EXPECT_EQ(validator->updateHotkey(stored("urlEncode"), altE).hotkey, "Option-14");
    EXPECT_TRUE(logs->contains("Global Hotkey Set"));
    EXPECT_EQ(validator->updateHotkey(stored("urlEncode"), std::nullopt).hotkey, std::nullopt);
    EXPECT_TRUE(logs->contains("Global Hotkey Removed"));
}

TEST_F(SearchRecordValidationTest, HotkeyRulesRefuseWithTheirSentences) {
    EXPECT_EQ(hotkeyRefusal("urlEncode", KeyCombination{ModifierKeys(), KeyEquivalent(U'e')}),
              "At least one modifier should be included into a hotkey.");

    const KeyCombination ctrlShiftD{ModifierKeys::control | ModifierKeys::shift, KeyEquivalent(U'd')};
    EXPECT_EQ(hotkeyRefusal("urlDecode", ctrlShiftD), "");
    EXPECT_EQ(stored("urlDecode").hotkey, "Shift-Control-2");
    EXPECT_EQ(hotkeyRefusal("urlEncode", ctrlShiftD), "Hotkey is already in use");

    validator->setMenuItemShortcuts({{"Preferences…", KeyCombination{ModifierKeys::control, KeyEquivalent(U',')}}});
    EXPECT_EQ(hotkeyRefusal("urlEncode", KeyCombination{ModifierKeys::control, KeyEquivalent(U',')}),
              "This hotkey is already used by the menu item Preferences…");

    EXPECT_EQ(hotkeyRefusal("urlEncode", KeyCombination{ModifierKeys::option, KeyEquivalent(U'ß')}),
              "Failed to process the hotkey");
    EXPECT_TRUE(logs->contains("Couldn't convert hotkey to peristentString: Alt+SS"));
    EXPECT_EQ(stored("urlEncode").hotkey, std::nullopt);
}

}  // namespace
}  // namespace vantrel::test
