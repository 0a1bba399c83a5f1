// The snippets' screens on the test session's display, over the real
// database and the real feature (with clipboard history beside it, as in the
// launcher): "Search Snippets" with its category filter, pinned section,
// detail pane and actions; the create, update and duplicate forms with their
// validation texts; the "Snippets" preferences page, which the running
// keyword monitor follows; and the snippets as root search records whose
// aliases are their keywords.
#include "support/AppTestSupport.h"
#include "support/RecordingPresenter.h"

#include "core/api/FeatureContext.h"
#include "core/rootsearch/LauncherSearch.h"
#include "data/SearchRepository.h"
#include "features/clipboard/ClipboardFeature.h"
#include "features/snippets/SnippetActions.h"
#include "features/snippets/SnippetAliasMonitor.h"
#include "features/snippets/SnippetsFeature.h"
#include "features/snippets/SnippetsService.h"
#include "features/snippets/SnippetsSource.h"
#include "features/snippets/ui/SnippetFormView.h"
#include "features/snippets/ui/SnippetsPreferencesPage.h"
#include "features/snippets/ui/SnippetsView.h"
#include "kit/UserDefaults.h"
#include "search/Search.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QTest>

namespace vantrel::test {
namespace {

class SnippetsViewsTest : public RegistryFixture {
protected:
    void SetUp() override {
        RegistryFixture::SetUp();
        defaults = std::make_unique<UserDefaults>(home.root() + QStringLiteral("/snippets.conf"));
        repository = std::make_shared<SearchRepository>(pool);
        launcher = std::make_unique<LauncherSearch>(repository, *registry);
        context = std::make_unique<FeatureContext>(FeatureContext::Services{*registry, *launcher, *defaults, center});
        context->setPresenter(&presenter);
        std::vector<std::unique_ptr<Feature>> features;
        features.push_back(std::make_unique<ClipboardFeature>());
        auto made = std::make_unique<SnippetsFeature>();
        feature = made.get();
        features.push_back(std::move(made));
        registerFeatures(*context, std::move(features));
    }

    void TearDown() override {
        page.reset();
        form.reset();
        view.reset();
        context.reset();
        launcher.reset();
    }

    SnippetsService& service() { return *feature->service(); }

    SnippetRecord add(const QString& name, const QString& text, const QString& keyword = {}) {
        return service().create(name, text, keyword.isEmpty() ? std::nullopt : std::optional<QString>(keyword));
    }

    void setting(QLatin1String key, const QVariant& value) {
        registry->setPackageConfiguration(PackageIdentifier("snippets"), [&](QVariantMap& payload, bool&) {
            payload.insert(QString(key), value);
        });
    }

    template <typename View>
    std::unique_ptr<View> show(const CommandOutcome& outcome) {
        QWidget* made = context->makeView(outcome);
        std::unique_ptr<View> shown(qobject_cast<View*>(made));
        if (!shown) {
            delete made;
            return nullptr;
        }
        shown->setPresenter(&presenter);
        shown->resize(800, 450);
        shown->show();
        shown->viewDidAppear();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(shown.get()));
        return shown;
    }

    void openList(const QString& query = {}) {
        const auto command = registry->command(CommandIdentifier("searchSnippets"));
        ASSERT_TRUE(command);
        const CommandOutcome outcome = command->run({QString(), {}, nullptr});
        ASSERT_EQ(outcome.kind, CommandOutcome::Kind::showView);
        CommandOutcome withQuery = outcome;
        withQuery.initialQuery = query;
        view = show<SnippetsView>(withQuery);
        ASSERT_TRUE(view) << "the feature made no snippets view";
    }

    QStringList titles() const {
        QStringList all;
        for (const ListView::Item* item : view->visibleItems()) all << item->title;
        return all;
    }

    QStringList actionIds() const {
        QStringList ids;
        for (const MenuItem& item : view->actions()) ids << item.id;
        return ids;
    }

    bool selectTitle(const QString& title) {
        for (const ListView::Item* item : view->visibleItems())
            if (item->title == title) return view->selectItem(item->id);
        return false;
    }

    CommandOutcome perform(const QString& id) {
        for (const MenuItem& item : view->actions())
            if (item.id == id) return item.perform();
        ADD_FAILURE() << "no action " << id.toStdString();
        return CommandOutcome::done();
    }

    // What another application reads from the clipboard (xclip, waited on
    // without blocking this process's event loop, which serves the clipboard).
    static QString clipboardText() {
        QProcess xclip;
        xclip.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-o")});
        if (!xclip.waitForStarted()) return QStringLiteral("<xclip did not start>");
        waitUntil([&] { return xclip.state() == QProcess::NotRunning; }, 10000);
        return QString::fromUtf8(xclip.readAllStandardOutput());
    }

    std::unique_ptr<UserDefaults> defaults;
    std::shared_ptr<SearchRepository> repository;
    std::unique_ptr<LauncherSearch> launcher;
    std::unique_ptr<FeatureContext> context;
    SnippetsFeature* feature = nullptr;
    RecordingPresenter presenter;
    std::unique_ptr<SnippetsView> view;
    std::unique_ptr<SnippetFormView> form;
    std::unique_ptr<SnippetsPreferencesPage> page;
};

// MARK: Search Snippets

TEST_F(SnippetsViewsTest, searchSnippetsListsPinnedFirstAndFiltersByTextAndCategory) {
    add(QStringLiteral("Signature"), QStringLiteral("Best regards, Ada"), QStringLiteral(";sig"));
    add(QStringLiteral("Address"), QStringLiteral("1 Main Street"), QStringLiteral(";addr"));
    const SnippetRecord brand = service().create(QStringLiteral("Brand Red"), QStringLiteral("#ff3344"), std::nullopt,
                                                 SnippetRecord::Category::color);
    service().setPinned(*brand.id, true);
    openList();
    EXPECT_EQ(view->title(), QStringLiteral("Search Snippets"));
    EXPECT_EQ(titles(), (QStringList{QStringLiteral("Brand Red"), QStringLiteral("Address"), QStringLiteral("Signature")}));
    // The keyword and words of the text find a snippet.
    view->searchTextChanged(QStringLiteral(";sig"));
    EXPECT_EQ(titles(), QStringList{QStringLiteral("Signature")});
    view->searchTextChanged(QStringLiteral("main street"));
    EXPECT_EQ(titles(), QStringList{QStringLiteral("Address")});
    view->searchTextChanged(QString());
    view->filterBox()->setCurrentIndex(view->filterBox()->findText(QStringLiteral("Color Snippets")));
    EXPECT_EQ(titles(), QStringList{QStringLiteral("Brand Red")});
    view->setCategoryFilter(SnippetsView::CategoryFilter::text);
    EXPECT_EQ(titles(), (QStringList{QStringLiteral("Address"), QStringLiteral("Signature")}));
    view->searchTextChanged(QStringLiteral("nothing like it"));
    EXPECT_TRUE(view->isShowingEmptyView());
    EXPECT_EQ(view->emptyText(), QStringLiteral("No Snippets"));
}

TEST_F(SnippetsViewsTest, theListOpensWithTheTextThatFoundTheCommandAndFollowsChanges) {
    add(QStringLiteral("Signature"), QStringLiteral("Best regards, Ada"), QStringLiteral(";sig"));
    openList(QStringLiteral("sig"));
    EXPECT_EQ(view->searchText(), QStringLiteral("sig"));
    EXPECT_EQ(titles(), QStringList{QStringLiteral("Signature")});
    view->searchTextChanged(QString());
    // A snippet added elsewhere (the command line through the running launcher) shows at once.
    add(QStringLiteral("Another"), QStringLiteral("text"));
    EXPECT_EQ(titles(), (QStringList{QStringLiteral("Another"), QStringLiteral("Signature")}));
}

TEST_F(SnippetsViewsTest, theDetailPaneShowsTheTextKeywordAndDates) {
    add(QStringLiteral("Signature"), QStringLiteral("Best regards,\nAda"), QStringLiteral(";sig"));
    service().create(QStringLiteral("Brand Red"), QStringLiteral("#ff3344"), std::nullopt, SnippetRecord::Category::color);
    openList();
    ASSERT_TRUE(selectTitle(QStringLiteral("Signature")));
    EXPECT_EQ(view->detailText(), QStringLiteral("Best regards,\nAda"));
    EXPECT_TRUE(view->detailInformation().contains(QStringLiteral("Keyword: ;sig"))) << view->detailInformation().toStdString();
    EXPECT_TRUE(view->detailInformation().contains(QStringLiteral("Last used: never")));
    ASSERT_TRUE(selectTitle(QStringLiteral("Brand Red")));
    EXPECT_TRUE(view->detailInformation().contains(QStringLiteral("Keyword: none")));
}

TEST_F(SnippetsViewsTest, theActionsPutPasteOrCopyFirstAsTheSettingSays) {
    add(QStringLiteral("Signature"), QStringLiteral("Best regards, Ada"), QStringLiteral(";sig"));
    openList();
    ASSERT_TRUE(selectTitle(QStringLiteral("Signature")));
    EXPECT_EQ(actionIds(), (QStringList{QStringLiteral("pasteSnippetItem"), QStringLiteral("copySnippetItem"),
                                        QStringLiteral("editSnippetItem"), QStringLiteral("duplicateSnippetItem"),
                                        QStringLiteral("unpinSnippetItem"), QStringLiteral("deleteSnippetItem"),
                                        QStringLiteral("deleteAllSnippetItems")}));
    EXPECT_EQ(view->actions().front().title, QStringLiteral("Paste to Active App"));
    setting(SnippetsService::pasteModeKey, QStringLiteral("copy"));
    EXPECT_EQ(view->actions().front().title, QStringLiteral("Copy to Clipboard"));
    // Every action but the primary has a shortcut.
    const std::vector<MenuItem> items = view->actions();
    for (size_t i = 1; i < items.size(); ++i) EXPECT_FALSE(items[i].shortcuts.empty()) << items[i].id.toStdString();
}

TEST_F(SnippetsViewsTest, copyPutsTheFilledInTextOnTheClipboardAndMarksTheSnippetUsed) {
    if (QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty()) GTEST_SKIP() << "xclip is not installed";
    context->startFeatures();
    add(QStringLiteral("Stamp"), QStringLiteral("id {uuid} at{cursor} end"));
    openList();
    ASSERT_TRUE(selectTitle(QStringLiteral("Stamp")));
    const CommandOutcome copied = perform(QStringLiteral("copySnippetItem"));
    EXPECT_EQ(copied.kind, CommandOutcome::Kind::done);
    const QString text = clipboardText();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^id [0-9a-f-]{36} at end$")).match(text).hasMatch()) << text.toStdString();
    const auto used = service().all().front();
    EXPECT_GT(used.accessedAt, used.createdAt);
}

TEST_F(SnippetsViewsTest, pinningMovesASnippetUpAndDeletingRemovesIt) {
    add(QStringLiteral("Alpha"), QStringLiteral("a"));
    add(QStringLiteral("Beta"), QStringLiteral("b"));
    openList();
    ASSERT_TRUE(selectTitle(QStringLiteral("Beta")));
    EXPECT_EQ(perform(QStringLiteral("unpinSnippetItem")).toastTitle, QStringLiteral("Pinned snippet"));
    EXPECT_EQ(titles(), (QStringList{QStringLiteral("Beta"), QStringLiteral("Alpha")}));
    ASSERT_TRUE(selectTitle(QStringLiteral("Beta")));
    ASSERT_EQ(view->actions()[4].title, QStringLiteral("Unpin Snippet"));
    perform(QStringLiteral("unpinSnippetItem"));
    EXPECT_EQ(titles(), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta")}));
    ASSERT_TRUE(selectTitle(QStringLiteral("Alpha")));
    EXPECT_EQ(perform(QStringLiteral("deleteSnippetItem")).toastTitle, QStringLiteral("Deleted snippet"));
    EXPECT_EQ(titles(), QStringList{QStringLiteral("Beta")});
}

TEST_F(SnippetsViewsTest, removeAllAsksFirstAndKeepsEverythingWhenDeclined) {
    add(QStringLiteral("Alpha"), QStringLiteral("a"));
    add(QStringLiteral("Beta"), QStringLiteral("b"));
    openList();
    ASSERT_TRUE(selectTitle(QStringLiteral("Alpha")));
    presenter.answer = false;
    perform(QStringLiteral("deleteAllSnippetItems"));
    ASSERT_EQ(presenter.alerts.size(), 1U);
    EXPECT_EQ(presenter.alerts.back().message,
              QStringLiteral("Are you sure you want to procced with removing all snippets?"));
    EXPECT_EQ(service().all().size(), 2U);
    presenter.answer = true;
    ASSERT_TRUE(selectTitle(QStringLiteral("Alpha")));
    perform(QStringLiteral("deleteAllSnippetItems"));
    EXPECT_TRUE(service().all().empty());
    ASSERT_FALSE(presenter.outcomes.empty());
    EXPECT_EQ(presenter.outcomes.back().toastTitle, QStringLiteral("Removed all snippets"));
    EXPECT_TRUE(view->isShowingEmptyView());
}

// MARK: The forms

TEST_F(SnippetsViewsTest, createSnippetChecksItsFieldsWithTheirTexts) {
    add(QStringLiteral("Signature"), QStringLiteral("Best regards, Ada"), QStringLiteral(";sig"));
    const auto command = registry->command(CommandIdentifier("createSnippet"));
    ASSERT_TRUE(command);
    form = show<SnippetFormView>(command->run({QString(), {}, nullptr}));
    ASSERT_TRUE(form);
    EXPECT_EQ(form->title(), QStringLiteral("Create Snippet"));
    EXPECT_EQ(qobject_cast<QPlainTextEdit*>(form->control(QStringLiteral("text")))->placeholderText(),
              QStringLiteral("Find your inner Shakespeare"));
    EXPECT_EQ(qobject_cast<QLineEdit*>(form->control(QStringLiteral("keyword")))->placeholderText(),
              QStringLiteral("Optional keyword"));
    EXPECT_EQ(form->submit().kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(form->validationMessage(QStringLiteral("name")), QStringLiteral("Please enter a name."));
    form->setValue(QStringLiteral("name"), QStringLiteral("Greeting"));
    form->setValue(QStringLiteral("text"), QStringLiteral("Hello {clipboard}"));
    form->setValue(QStringLiteral("keyword"), QString(21, QLatin1Char('k')));
    EXPECT_FALSE(form->validate());
    EXPECT_EQ(form->validationMessage(QStringLiteral("keyword")),
              QStringLiteral("Keyword is too long. The maximum length is 20 characters."));
    form->setValue(QStringLiteral("keyword"), QStringLiteral(";sig"));
    EXPECT_FALSE(form->validate());
    EXPECT_EQ(form->validationMessage(QStringLiteral("keyword")),
              QStringLiteral("Keyword is already in use. Please enter a unique keyword."));
    form->setValue(QStringLiteral("keyword"), QStringLiteral("two words"));
    EXPECT_FALSE(form->validate());
    form->setValue(QStringLiteral("keyword"), QStringLiteral(";hi"));
    const CommandOutcome created = form->submit();
    EXPECT_EQ(created.kind, CommandOutcome::Kind::done);
    ASSERT_TRUE(form->saved());
    EXPECT_EQ(form->saved()->text, QStringLiteral("Hello {clipboard}"));
    EXPECT_EQ(form->saved()->alias, QStringLiteral(";hi"));
    EXPECT_EQ(service().all().size(), 2U);
}

TEST_F(SnippetsViewsTest, theUpdateFormKeepsItsOwnKeywordAndTheDuplicateFormMakesANewSnippet) {
    const SnippetRecord signature = add(QStringLiteral("Signature"), QStringLiteral("Best regards, Ada"), QStringLiteral(";sig"));
    openList();
    ASSERT_TRUE(selectTitle(QStringLiteral("Signature")));
    form = show<SnippetFormView>(perform(QStringLiteral("editSnippetItem")));
    ASSERT_TRUE(form);
    EXPECT_EQ(form->mode(), SnippetFormView::Mode::update);
    EXPECT_EQ(form->values().value(QStringLiteral("keyword")).toString(), QStringLiteral(";sig"));
    form->setValue(QStringLiteral("text"), QStringLiteral("Kind regards, Ada"));
    EXPECT_EQ(form->submit().kind, CommandOutcome::Kind::done);
    EXPECT_EQ(service().record(*signature.id)->text, QStringLiteral("Kind regards, Ada"));
    EXPECT_EQ(service().all().size(), 1U);

    form = show<SnippetFormView>(perform(QStringLiteral("duplicateSnippetItem")));
    ASSERT_TRUE(form);
    EXPECT_EQ(form->mode(), SnippetFormView::Mode::duplicate);
    EXPECT_EQ(form->values().value(QStringLiteral("name")).toString(), QStringLiteral("Signature Copy"));
    EXPECT_TRUE(form->values().value(QStringLiteral("keyword")).toString().isEmpty());
    // Taking the original's keyword is refused.
    form->setValue(QStringLiteral("keyword"), QStringLiteral(";sig"));
    EXPECT_EQ(form->submit().kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(service().all().size(), 1U);
    form->setValue(QStringLiteral("keyword"), QStringLiteral(";sig2"));
    EXPECT_EQ(form->submit().kind, CommandOutcome::Kind::done);
    EXPECT_EQ(service().all().size(), 2U);
    EXPECT_EQ(service().record(*signature.id)->alias, QStringLiteral(";sig"));
}

TEST_F(SnippetsViewsTest, theFormsOfASnippetThatIsGoneAreNotMade) {
    EXPECT_EQ(context->makeView(CommandOutcome::showView(QString(SnippetActions::updateViewId), {}, {QStringLiteral("999")})),
              nullptr);
    EXPECT_EQ(context->makeView(CommandOutcome::showView(QString(SnippetActions::duplicateViewId), {}, {QStringLiteral("x")})),
              nullptr);
}

TEST_F(SnippetsViewsTest, aColourSnippetIsEditedAsAColour) {
    const SnippetRecord brand = service().create(QStringLiteral("Brand Red"), QStringLiteral("#ff3344"), std::nullopt,
                                                 SnippetRecord::Category::color);
    form = show<SnippetFormView>(
        CommandOutcome::showView(QString(SnippetActions::updateViewId), {}, {QString::number(*brand.id)}));
    ASSERT_TRUE(form);
    form->setValue(QStringLiteral("text"), QStringLiteral("not a colour"));
    EXPECT_FALSE(form->validate());
    EXPECT_EQ(form->validationMessage(QStringLiteral("text")), QStringLiteral("Please enter a valid color"));
    form->setValue(QStringLiteral("text"), QStringLiteral("#00aa00"));
    EXPECT_EQ(form->submit().kind, CommandOutcome::Kind::done);
    EXPECT_EQ(service().record(*brand.id)->text, QStringLiteral("#00aa00"));
}

// MARK: Preferences and the running monitor

TEST_F(SnippetsViewsTest, theMonitorFollowsThePreferencesPageAsItChanges) {
    context->startFeatures();
    SnippetAliasMonitor* monitor = feature->monitor();
    ASSERT_TRUE(monitor);
    ASSERT_TRUE(monitor->isStarted()) << feature->expansionProblem().toStdString();
    EXPECT_FALSE(monitor->triggerCharacter());
    EXPECT_EQ(monitor->injectionMode(), TextInjectEngine::Mode::automatic);
    const auto pages = context->preferencePages();
    const auto found = std::find_if(pages.begin(), pages.end(), [](const auto& entry) { return entry.title == "Snippets"; });
    ASSERT_NE(found, pages.end());
    page.reset(qobject_cast<SnippetsPreferencesPage*>(found->make()));
    ASSERT_TRUE(page);
    EXPECT_TRUE(page->problemText().isEmpty());
    EXPECT_TRUE(page->keywordsBox()->isChecked());

    page->triggerEdit()->setText(QStringLiteral(";"));
    EXPECT_EQ(monitor->triggerCharacter(), QChar(u';'));
    page->injectionBox()->setCurrentIndex(page->injectionBox()->findData(QStringLiteral("clipboard")));
    EXPECT_EQ(monitor->injectionMode(), TextInjectEngine::Mode::clipboard);
    page->injectionBox()->setCurrentIndex(page->injectionBox()->findData(QStringLiteral("keys")));
    EXPECT_EQ(monitor->injectionMode(), TextInjectEngine::Mode::keyEvent);
    page->keywordsBox()->setChecked(false);
    EXPECT_FALSE(monitor->isStarted());
    page->keywordsBox()->setChecked(true);
    EXPECT_TRUE(monitor->isStarted());
    page->triggerEdit()->clear();
    EXPECT_FALSE(monitor->triggerCharacter());

    // What was stored is what a new page shows.
    page.reset(qobject_cast<SnippetsPreferencesPage*>(found->make()));
    EXPECT_EQ(page->injectionBox()->currentData().toString(), QStringLiteral("keys"));
    EXPECT_TRUE(page->triggerEdit()->text().isEmpty());
}

TEST_F(SnippetsViewsTest, aStoredTriggerOrModeThatMakesNoSenseReadsAsTheDefault) {
    setting(SnippetsService::injectionModeKey, QStringLiteral("telepathy"));
    setting(SnippetsService::triggerCharacterKey, QStringLiteral("   "));
    context->startFeatures();
    ASSERT_TRUE(feature->monitor());
    EXPECT_EQ(feature->monitor()->injectionMode(), TextInjectEngine::Mode::automatic);
    EXPECT_FALSE(feature->monitor()->triggerCharacter());
    setting(SnippetsService::triggerCharacterKey, QStringLiteral(":;"));
    EXPECT_EQ(feature->monitor()->triggerCharacter(), QChar(u':'));
}

TEST_F(SnippetsViewsTest, withoutAKeyboardToWatchThePageAndTheFormSayWhy) {
    // An X server that is not there: the keyboard monitor cannot start.
    ScopedEnv display("DISPLAY", QByteArray(":9999"));
    context->startFeatures();
    ASSERT_TRUE(feature->monitor());
    EXPECT_FALSE(feature->monitor()->isStarted());
    EXPECT_TRUE(feature->expansionProblem().startsWith(
        QStringLiteral("Vantrel could not watch the keyboard in order to insert snippets: ")))
        << feature->expansionProblem().toStdString();
    const auto pages = context->preferencePages();
    for (const auto& entry : pages)
        if (entry.title == QLatin1String("Snippets")) page.reset(qobject_cast<SnippetsPreferencesPage*>(entry.make()));
    ASSERT_TRUE(page);
    EXPECT_EQ(page->problemText(), feature->expansionProblem());
    form = show<SnippetFormView>(CommandOutcome::showView(QStringLiteral("createSnippet")));
    ASSERT_TRUE(form);
    bool shown = false;
    for (const QLabel* label : form->findChildren<QLabel*>()) shown = shown || label->text() == feature->expansionProblem();
    EXPECT_TRUE(shown);
}

TEST_F(SnippetsViewsTest, inAWaylandSessionExpansionSaysItNeedsX11) {
    ScopedEnv wayland("WAYLAND_DISPLAY", QByteArray("wayland-0"));
    context->startFeatures();
    ASSERT_TRUE(feature->monitor());
    EXPECT_FALSE(feature->monitor()->isStarted());
    EXPECT_EQ(feature->expansionProblem(),
              QStringLiteral("Vantrel needs an X11 session in order to insert snippets. Keywords are not expanded in "
                             "this session."));
}

// MARK: Root search

TEST_F(SnippetsViewsTest, snippetsAreSearchRecordsWithTheirKeywordsAsAliases) {
    const SnippetRecord signature = add(QStringLiteral("Signature"), QStringLiteral("Best regards, Ada"), QStringLiteral(";sig"));
    add(QStringLiteral("Plain"), QStringLiteral("no keyword"));
    SnippetsSource* source = feature->source();
    ASSERT_TRUE(source);
    const std::vector<SearchRecord> records = loadRecords(*source);
    ASSERT_EQ(records.size(), 2U);
    const SearchRecord& first = records.front().name == QLatin1String("Signature") ? records.front() : records.back();
    EXPECT_EQ(first.key, SnippetsSource::key(*signature.id));
    EXPECT_EQ(first.type, SearchRecord::ContentType::snippet);
    EXPECT_EQ(first.alias, QStringLiteral(";sig"));
    repository->update(SearchRecord::Source::snippets, records, SearchUpdateStrategy::source());

    // A changed keyword becomes the stored record's alias.
    SnippetRecord changed = *service().record(*signature.id);
    changed.alias = QStringLiteral(";regards");
    service().update(changed);
    ASSERT_TRUE(waitUntil([&] {
        const auto stored = repository->record(SnippetsSource::key(*signature.id));
        return stored && stored->alias == QStringLiteral(";regards");
    }));
    // And a removed one leaves no alias behind.
    changed.alias.reset();
    service().update(changed);
    ASSERT_TRUE(waitUntil([&] {
        const auto stored = repository->record(SnippetsSource::key(*signature.id));
        return stored && !stored->alias;
    }));
    EXPECT_FALSE(SnippetsSource::idFromKey(QStringLiteral("snippet_")));
    EXPECT_FALSE(SnippetsSource::idFromKey(QStringLiteral("snippet_-3")));
    EXPECT_FALSE(SnippetsSource::idFromKey(QStringLiteral("quicklink_3")));
}

}  // namespace
}  // namespace vantrel::test
