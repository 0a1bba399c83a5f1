// Toasts, the HUD, and the list, detail and form views.
#include "support/ScreenshotTestSupport.h"
#include "support/TestEnvironment.h"
#include "ui/toolkit/DetailView.h"
#include "ui/toolkit/FormView.h"
#include "ui/toolkit/ListView.h"
#include "ui/toolkit/Theme.h"
#include "ui/toolkit/ToastView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

using namespace vantrel;
using vantrel::test::waitUntil;

namespace {

QKeyEvent key(int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    return QKeyEvent(QEvent::KeyPress, code, modifiers);
}

QString labelText(const QWidget& parent, const char* name) {
    const auto* label = parent.findChild<QLabel*>(QString::fromLatin1(name));
    return label && label->isVisibleTo(&parent) ? label->text() : QString();
}

}  // namespace

// --- Toasts and the HUD --------------------------------------------------------

// A toast in a bar of its own, shown.
class ToastTest : public ::testing::Test {
protected:
    void SetUp() override {
        bar.resize(600, 40);
        bar.show();
    }

    QWidget bar;
    ToastView* toast = new ToastView(&bar);
};

TEST_F(ToastTest, SuccessAndFailureHideThemselves) {
    toast->setAutoHideInterval(150);
    QSignalSpy dismissed(toast, &ToastView::dismissed);

    toast->present({Toast::Style::success, QStringLiteral("Copied output to clipboard"), {}});
    EXPECT_TRUE(toast->isShowingToast());
    EXPECT_TRUE(toast->isVisible());
    EXPECT_EQ(labelText(*toast, "toastTitle"), QStringLiteral("Copied output to clipboard"));
    EXPECT_TRUE(labelText(*toast, "toastMessage").isEmpty());
    EXPECT_FALSE(toast->hasCancelButton());
    ASSERT_TRUE(waitUntil([&] { return !toast->isShowingToast(); }, 3000));
    EXPECT_FALSE(toast->isVisible());
    EXPECT_EQ(dismissed.count(), 1);

    toast->present({Toast::Style::failure, QStringLiteral("Script failed to run"), QStringLiteral("exit 3")});
    EXPECT_EQ(labelText(*toast, "toastMessage"), QStringLiteral("exit 3"));
    ASSERT_TRUE(waitUntil([&] { return !toast->isShowingToast(); }, 3000));
    EXPECT_EQ(dismissed.count(), 2);
}

TEST_F(ToastTest, AnimatedToastSpinsUntilReplaced) {
    toast->setAutoHideInterval(100);
    int cancelled = 0;
    toast->present({Toast::Style::animated, QStringLiteral("Running script..."), {}}, [&] { ++cancelled; });
    EXPECT_TRUE(toast->isSpinning());
    EXPECT_TRUE(toast->hasCancelButton());
    // Stays past the auto-hide interval.
    QTest::qWait(300);
    EXPECT_TRUE(toast->isShowingToast());

    toast->cancel();
    EXPECT_EQ(cancelled, 1);
    EXPECT_FALSE(toast->hasCancelButton());
    toast->cancel();
    EXPECT_EQ(cancelled, 1);

    // Replacing the toast changes what it says and how it ends.
    toast->present({Toast::Style::success, QStringLiteral("Script finished running"), QStringLiteral("42")});
    EXPECT_FALSE(toast->isSpinning());
    EXPECT_EQ(toast->toast().title, QStringLiteral("Script finished running"));
    EXPECT_EQ(labelText(*toast, "toastTitle"), QStringLiteral("Script finished running"));
    EXPECT_EQ(labelText(*toast, "toastMessage"), QStringLiteral("42"));
    ASSERT_TRUE(waitUntil([&] { return !toast->isShowingToast(); }, 3000));
}

TEST_F(ToastTest, ReplacingRestartsTheTimer) {
    toast->setAutoHideInterval(400);
    toast->present({Toast::Style::success, QStringLiteral("First"), {}});
    QTest::qWait(250);
    toast->present({Toast::Style::success, QStringLiteral("Second"), {}});
    QTest::qWait(250);
    EXPECT_TRUE(toast->isShowingToast());
    EXPECT_EQ(toast->toast().title, QStringLiteral("Second"));
    toast->dismiss();
    EXPECT_FALSE(toast->isShowingToast());
}

TEST(HUDTest, ShowsOneLineThenGoes) {
    HUDWindow hud;
    hud.setDisplayInterval(200);
    hud.showText(QStringLiteral("Copied to Clipboard"),
                 IconSet{ImageResource::named(QStringLiteral("clipboard")), std::nullopt});
    EXPECT_EQ(hud.text(), QStringLiteral("Copied to Clipboard"));
    EXPECT_TRUE(hud.isVisible());
    EXPECT_TRUE(hud.windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_EQ(hud.windowType(), Qt::ToolTip);
    EXPECT_FALSE(hud.isActiveWindow());
    EXPECT_GE(hud.height(), 40);
    ASSERT_TRUE(waitUntil([&] { return !hud.isVisible(); }, 3000));

    hud.showText(QStringLiteral("Second line"));
    EXPECT_TRUE(hud.isVisible());
    EXPECT_EQ(hud.text(), QStringLiteral("Second line"));
    EXPECT_EQ(&HUDWindow::shared(), &HUDWindow::shared());

    // A long failure stays one line the width of a HUD, its end cut.
    hud.showText(QStringLiteral("Script failed to run: ") + QString(400, QLatin1Char('x')) +
                 QStringLiteral("\nsecond line"));
    EXPECT_TRUE(hud.text().startsWith(QStringLiteral("Script failed to run: xxx")));
    EXPECT_TRUE(hud.text().endsWith(QChar(0x2026)));
    EXPECT_FALSE(hud.text().contains(QLatin1Char('\n')));
    EXPECT_LE(hud.width(), 720);
}

// --- ListView ---------------------------------------------------------------------

namespace {

std::vector<ListView::Section> fruitSections(int* ran = nullptr) {
    const auto item = [ran](const char* id, const char* title, const char* subtitle, QStringList keywords = {}) {
        ListView::Item entry;
        entry.id = QString::fromLatin1(id);
        entry.title = QString::fromUtf8(title);
        entry.subtitle = QString::fromUtf8(subtitle);
        entry.icon = ImageResource::named(QStringLiteral("command"));
        entry.keywords = std::move(keywords);
        entry.accessories = {{QStringLiteral("fresh"), std::nullopt}};
        entry.actions = {
            MenuItem::make(QStringLiteral("open_") + entry.id, QStringLiteral("Open ") + entry.title, [ran] {
                if (ran) ++*ran;
                return CommandOutcome::done();
            })};
        return entry;
    };
    return {
        {QStringLiteral("Fruit"),
         {item("apple", "Green Apple", "Crunchy", {QStringLiteral("pomme")}), item("banana", "Banana", "Yellow"),
          item("cherry", "Cherry", "Small")}},
        {QStringLiteral("Vegetables"), {item("leek", "Leek", "Long"), item("creme", "Crème Brûlée Carrot", "Sweet")}},
    };
}

QStringList titles(const ListView& view) {
    QStringList result;
    for (const auto* item : view.visibleItems()) result << item->title;
    return result;
}

}  // namespace

TEST(ListViewTest, FiltersByWordPrefixesKeywordsAndAccents) {
    ListView view(QStringLiteral("Produce"));
    view.setSections(fruitSections());
    EXPECT_EQ(view.title(), QStringLiteral("Produce"));
    EXPECT_TRUE(view.usesSearchBar());
    EXPECT_EQ(titles(view).size(), 5);

    view.searchTextChanged(QStringLiteral("app"));
    EXPECT_EQ(titles(view), QStringList{QStringLiteral("Green Apple")});
    view.searchTextChanged(QStringLiteral("POMME"));
    EXPECT_EQ(titles(view), QStringList{QStringLiteral("Green Apple")});
    view.searchTextChanged(QStringLiteral("creme carr"));
    EXPECT_EQ(titles(view), QStringList{QStringLiteral("Crème Brûlée Carrot")});
    view.searchTextChanged(QStringLiteral("yel"));
    EXPECT_EQ(titles(view), QStringList{QStringLiteral("Banana")});
    view.searchTextChanged(QStringLiteral("an"));  // inside a title
    EXPECT_EQ(titles(view), QStringList{QStringLiteral("Banana")});
    EXPECT_FALSE(view.isShowingEmptyView());

    view.setEmptyText(QStringLiteral("No produce found"));
    view.searchTextChanged(QStringLiteral("zucchini"));
    EXPECT_TRUE(titles(view).isEmpty());
    EXPECT_TRUE(view.isShowingEmptyView());
    EXPECT_EQ(view.emptyText(), QStringLiteral("No produce found"));
    EXPECT_EQ(view.selectedItem(), nullptr);
    EXPECT_TRUE(view.actions().empty());

    view.searchTextChanged(QString());
    EXPECT_EQ(titles(view).size(), 5);
    EXPECT_FALSE(view.isShowingEmptyView());
}

TEST(ListViewTest, KeysMoveTheSelectionAcrossSections) {
    ListView view(QStringLiteral("Produce"));
    view.resize(500, 300);
    view.setSections(fruitSections());
    QSignalSpy activated(&view, &ListView::itemActivated);
    ASSERT_NE(view.selectedItem(), nullptr);
    EXPECT_EQ(view.selectedItem()->id, QStringLiteral("apple"));

    auto down = key(Qt::Key_Down);
    auto up = key(Qt::Key_Up);
    EXPECT_TRUE(view.handleKey(&down));
    EXPECT_TRUE(view.handleKey(&down));
    EXPECT_TRUE(view.handleKey(&down));
    EXPECT_EQ(view.selectedItem()->id, QStringLiteral("leek"));  // past the section title
    EXPECT_TRUE(view.handleKey(&down));
    EXPECT_TRUE(view.handleKey(&down));
    EXPECT_EQ(view.selectedItem()->id, QStringLiteral("creme"));  // stays on the last row
    EXPECT_TRUE(view.handleKey(&up));
    EXPECT_EQ(view.selectedItem()->id, QStringLiteral("leek"));
    auto ctrlP = key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_TRUE(view.handleKey(&ctrlP));
    EXPECT_EQ(view.selectedItem()->id, QStringLiteral("cherry"));

    ASSERT_EQ(view.actions().size(), 1u);
    EXPECT_EQ(view.actions().front().title, QStringLiteral("Open Cherry"));
    auto enter = key(Qt::Key_Return);
    EXPECT_TRUE(view.handleKey(&enter));
    ASSERT_EQ(activated.count(), 1);
    EXPECT_EQ(activated.front().front().toString(), QStringLiteral("cherry"));
    auto letter = key(Qt::Key_A);
    EXPECT_FALSE(view.handleKey(&letter));

    // Filtering selects the first match; new sections keep the selected row.
    view.searchTextChanged(QStringLiteral("lee"));
    EXPECT_EQ(view.selectedItem()->id, QStringLiteral("leek"));
    view.searchTextChanged(QString());
    EXPECT_TRUE(view.selectItem(QStringLiteral("banana")));
    view.setSections(fruitSections());
    EXPECT_EQ(view.selectedItem()->id, QStringLiteral("banana"));
    EXPECT_FALSE(view.selectItem(QStringLiteral("nothing")));
}

TEST(ListViewTest, OwnerFilteredListsShowEverythingAndReportTheQuery) {
    ListView view(QStringLiteral("Produce"));
    view.setFiltering(false);
    view.setSections(fruitSections());
    QSignalSpy query(&view, &ListView::queryChanged);
    view.searchTextChanged(QStringLiteral("zzz"));
    EXPECT_EQ(titles(view).size(), 5);
    ASSERT_EQ(query.count(), 1);
    EXPECT_EQ(query.front().front().toString(), QStringLiteral("zzz"));
    EXPECT_EQ(view.searchText(), QStringLiteral("zzz"));
}

TEST(ListViewTest, EmptyListShowsItsText) {
    ListView view(QStringLiteral("Nothing"));
    view.setEmptyText(QStringLiteral("No quicklinks yet"));
    EXPECT_TRUE(view.isShowingEmptyView());
    EXPECT_EQ(view.emptyText(), QStringLiteral("No quicklinks yet"));
    auto down = key(Qt::Key_Down);
    EXPECT_TRUE(view.handleKey(&down));
    EXPECT_EQ(view.selectedItem(), nullptr);
}

// --- DetailView -------------------------------------------------------------------

TEST(DetailViewTest, MarkdownBecomesStyledText) {
    DetailView view(QStringLiteral("Readme"));
    view.resize(700, 400);
    view.setMarkdown(
        QStringLiteral("# Title\n\nSome *text* with `inline` code.\n\n## Usage\n\n```sh\necho hello\n```\n\n"
                       "- one\n- two\n\n[link](https://example.org)\n"));
    QTextDocument* document = view.textBrowser()->document();
    EXPECT_FALSE(document->toPlainText().contains(QLatin1Char('#')));
    EXPECT_FALSE(document->toPlainText().contains(QStringLiteral("```")));

    QTextBlock title;
    QTextBlock usage;
    QTextBlock code;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block.text() == QStringLiteral("Title")) title = block;
        if (block.text() == QStringLiteral("Usage")) usage = block;
        if (block.text() == QStringLiteral("echo hello")) code = block;
    }
    ASSERT_TRUE(title.isValid());
    ASSERT_TRUE(usage.isValid());
    ASSERT_TRUE(code.isValid());
    EXPECT_EQ(title.blockFormat().headingLevel(), 1);
    EXPECT_EQ(usage.blockFormat().headingLevel(), 2);
    const QFont titleFont = title.begin().fragment().charFormat().font();
    const QFont usageFont = usage.begin().fragment().charFormat().font();
    EXPECT_GT(titleFont.pixelSize(), usageFont.pixelSize());
    EXPECT_GT(usageFont.pixelSize(), Theme::current().baseFont.pixelSize());
    EXPECT_GE(titleFont.weight(), QFont::DemiBold);
    EXPECT_TRUE(code.begin().fragment().charFormat().fontFixedPitch());
    EXPECT_EQ(code.blockFormat().background().color(), Theme::current().fieldBackground);

    const int inlineAt = document->toPlainText().indexOf(QStringLiteral("inline"));
    QTextCursor cursor(document);
    cursor.setPosition(inlineAt + 1);
    EXPECT_TRUE(cursor.charFormat().fontFixedPitch());
    const int linkAt = document->toPlainText().indexOf(QStringLiteral("link"));
    cursor.setPosition(linkAt + 1);
    EXPECT_TRUE(cursor.charFormat().isAnchor());
    EXPECT_EQ(cursor.charFormat().anchorHref(), QStringLiteral("https://example.org"));
}

TEST(DetailViewTest, MetadataPanelAndActions) {
    DetailView view(QStringLiteral("Script"));
    EXPECT_FALSE(view.isShowingMetadata());
    view.setMetadata(
        {{QStringLiteral("Mode"), QStringLiteral("Full Output")}, {QStringLiteral("Author"), QStringLiteral("Ada")}});
    EXPECT_TRUE(view.isShowingMetadata());
    const auto labels = view.findChildren<QLabel*>(QStringLiteral("metadataValue"));
    ASSERT_EQ(labels.size(), 2);
    EXPECT_EQ(labels.at(0)->text(), QStringLiteral("Full Output"));
    view.setMetadata({});
    EXPECT_FALSE(view.isShowingMetadata());

    QSignalSpy changed(&view, &LauncherView::actionsChanged);
    view.setActions({MenuItem{.title = QStringLiteral("Copy")}});
    EXPECT_EQ(changed.count(), 1);
    ASSERT_EQ(view.actions().size(), 1u);
    EXPECT_EQ(view.actions().front().title, QStringLiteral("Copy"));
    view.setMarkdown(QString());
    EXPECT_TRUE(view.textBrowser()->document()->toPlainText().isEmpty());
}

// --- FormView ---------------------------------------------------------------------

namespace {

std::vector<FormView::Field> quicklinkFields() {
    using Type = FormView::Field::Type;
    const auto webAddress = [](const QVariant& value) {
        return value.toString().startsWith(QStringLiteral("https://")) && value.toString().size() > 8
                   ? QString()
                   : QStringLiteral("Enter a web address");
    };
    return {
        {.id = QStringLiteral("name"), .title = QStringLiteral("Name"), .required = true},
        {.id = QStringLiteral("link"),
         .title = QStringLiteral("Link"),
         .defaultValue = QStringLiteral("https://"),
         .validate = webAddress},
        {.id = QStringLiteral("notes"), .title = QStringLiteral("Notes"), .type = Type::textArea},
        {.id = QStringLiteral("open"),
         .title = QStringLiteral("Open"),
         .type = Type::dropdown,
         .defaultValue = QStringLiteral("firefox"),
         .options = {{QStringLiteral("browser"), QStringLiteral("Default Browser")},
                     {QStringLiteral("firefox"), QStringLiteral("Firefox")}}},
        {.id = QStringLiteral("pinned"),
         .title = QStringLiteral("Pinned"),
         .type = Type::checkbox,
         .checkboxLabel = QStringLiteral("Show at the top")},
        {.id = QStringLiteral("icon"), .title = QStringLiteral("Icon"), .type = Type::filePicker},
    };
}

}  // namespace

TEST(FormViewTest, SubmittingChecksEveryFieldFirst) {
    FormView form(QStringLiteral("Create Quicklink"), quicklinkFields());
    form.resize(700, 450);
    std::optional<QVariantMap> submitted;
    form.setSubmitHandler([&](const QVariantMap& values) {
        submitted = values;
        return CommandOutcome::done(QStringLiteral("Created quicklink"));
    });

    const auto actions = form.actions();
    ASSERT_FALSE(actions.empty());
    EXPECT_EQ(actions.front().title, QStringLiteral("Submit"));
    ASSERT_EQ(actions.front().shortcuts.size(), 1u);
    EXPECT_EQ(actions.front().shortcuts.front().displayText(),
              KeyCombination({ModifierKeys::control, KeyEquivalent(U'\r')}).displayText());

    CommandOutcome outcome = actions.front().perform();
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::failed);
    EXPECT_FALSE(submitted);
    EXPECT_EQ(form.validationMessage(QStringLiteral("name")), QString::fromLatin1(FormView::requiredMessage));
    EXPECT_EQ(form.validationMessage(QStringLiteral("link")), QStringLiteral("Enter a web address"));
    EXPECT_TRUE(form.validationMessage(QStringLiteral("notes")).isEmpty());
    EXPECT_TRUE(form.control(QStringLiteral("name"))->property("invalid").toBool());

    // Correcting a field clears its message at once.
    static_cast<QLineEdit*>(form.control(QStringLiteral("name")))->setText(QStringLiteral("Docs"));
    EXPECT_TRUE(form.validationMessage(QStringLiteral("name")).isEmpty());
    EXPECT_FALSE(form.control(QStringLiteral("name"))->property("invalid").toBool());
    EXPECT_EQ(form.validationMessage(QStringLiteral("link")), QStringLiteral("Enter a web address"));

    form.setValue(QStringLiteral("link"), QStringLiteral("https://example.org/{query}"));
    static_cast<QPlainTextEdit*>(form.control(QStringLiteral("notes")))->setPlainText(QStringLiteral("two\nlines"));
    static_cast<QCheckBox*>(form.control(QStringLiteral("pinned")))->setChecked(true);
    form.setValue(QStringLiteral("icon"), QStringLiteral("/tmp/icon.png"));
    outcome = form.actions().front().perform();
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::done);
    EXPECT_EQ(outcome.hudText, QStringLiteral("Created quicklink"));
    ASSERT_TRUE(submitted);
    EXPECT_EQ(submitted->value(QStringLiteral("name")).toString(), QStringLiteral("Docs"));
    EXPECT_EQ(submitted->value(QStringLiteral("link")).toString(), QStringLiteral("https://example.org/{query}"));
    EXPECT_EQ(submitted->value(QStringLiteral("notes")).toString(), QStringLiteral("two\nlines"));
    EXPECT_EQ(submitted->value(QStringLiteral("open")).toString(), QStringLiteral("firefox"));
    EXPECT_EQ(submitted->value(QStringLiteral("pinned")).toBool(), true);
    EXPECT_EQ(submitted->value(QStringLiteral("icon")).toString(), QStringLiteral("/tmp/icon.png"));
}

TEST(FormViewTest, DefaultsCustomSubmitAndWhiteSpaceOnlyValues) {
    FormView form(QStringLiteral("Create Quicklink"), quicklinkFields());
    form.setSubmitTitle(QStringLiteral("Create Quicklink"));
    form.setExtraActions({MenuItem{.title = QStringLiteral("Discard")}});
    const auto actions = form.actions();
    ASSERT_EQ(actions.size(), 2u);
    EXPECT_EQ(actions.front().title, QStringLiteral("Create Quicklink"));
    EXPECT_EQ(actions.back().title, QStringLiteral("Discard"));

    const QVariantMap values = form.values();
    EXPECT_EQ(values.value(QStringLiteral("link")).toString(), QStringLiteral("https://"));
    EXPECT_EQ(values.value(QStringLiteral("open")).toString(), QStringLiteral("firefox"));
    EXPECT_EQ(values.value(QStringLiteral("pinned")).toBool(), false);
    EXPECT_EQ(static_cast<QComboBox*>(form.control(QStringLiteral("open")))->currentText(), QStringLiteral("Firefox"));

    form.setValue(QStringLiteral("name"), QStringLiteral("   "));
    form.setValue(QStringLiteral("link"), QStringLiteral("https://ok.example"));
    EXPECT_FALSE(form.validate());
    EXPECT_EQ(form.validationMessage(QStringLiteral("name")), QString::fromLatin1(FormView::requiredMessage));
    // Without a handler a valid form is simply done.
    form.setValue(QStringLiteral("name"), QStringLiteral("Docs"));
    EXPECT_EQ(form.submit().kind, CommandOutcome::Kind::done);
}

// --- Screenshots --------------------------------------------------------------------

namespace {

// The view on the window's colour, with a toast strip below.
QImage snapshot(LauncherView* view, const Toast& toast) {
    test::ThemedFrame frame(QSize(750, 420));
    view->setParent(&frame);
    frame.column()->addWidget(view, 1);
    auto* bar = new QWidget(&frame);
    bar->setFixedHeight(44);
    QPalette barPalette = bar->palette();
    barPalette.setColor(QPalette::Window, Theme::current().barBackground);
    bar->setPalette(barPalette);
    bar->setAutoFillBackground(true);
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(10, 7, 10, 7);
    auto* toastView = new ToastView(bar);
    toastView->setAutoHideInterval(60000);
    barLayout->addWidget(toastView);
    barLayout->addStretch(1);
    frame.column()->addWidget(bar);
    frame.show();
    view->viewDidAppear();
    toastView->present(toast);
    QCoreApplication::processEvents();
    QImage image = frame.grab().toImage();
    view->setParent(nullptr);
    return image;
}

}  // namespace

TEST(ToolkitScreenshots, ListDetailFormAndToasts) {
    test::forEachAppearance([](Theme::Appearance, const QString& suffix) {
        ListView list(QStringLiteral("Produce"));
        auto sections = fruitSections();
        const char* icons[] = {"command-clipboard-history-16", "calculator", "snippets", "command-quicklinks-16",
                               "windows"};
        int next = 0;
        for (auto& section : sections)
            for (auto& item : section.items) item.icon = ImageResource::named(QString::fromLatin1(icons[next++]));
        list.setSections(sections);
        auto down = key(Qt::Key_Down);
        list.handleKey(&down);
        test::saveScreenshot(snapshot(&list, {Toast::Style::success, QStringLiteral("Copied output to clipboard"), {}}),
                             QStringLiteral("toolkit-list-") + suffix);

        DetailView detail(QStringLiteral("Readme"));
        detail.setMarkdown(
            QStringLiteral("# Deploy to Staging\n\nRuns the **build**, uploads the assets and prints a "
                           "preview link. Use `--dry-run` to see the steps.\n\n## Usage\n\n```sh\n"
                           "./deploy.sh staging --dry-run\n```\n\n- Needs `rsync`\n- Takes about a minute\n\n"
                           "> Only one deploy runs at a time.\n"));
        detail.setMetadata({{QStringLiteral("Mode"), QStringLiteral("Full Output")},
                            {QStringLiteral("Package"), QStringLiteral("Deployment")},
                            {QStringLiteral("Author"), QStringLiteral("Ada Lovelace")}});
        test::saveScreenshot(snapshot(&detail, {Toast::Style::animated, QStringLiteral("Running script..."), {}}),
                             QStringLiteral("toolkit-detail-") + suffix);

        FormView form(QStringLiteral("Create Quicklink"), quicklinkFields());
        form.validate();
        test::saveScreenshot(snapshot(&form, {Toast::Style::failure, QStringLiteral("Script failed to run"),
                                              QStringLiteral("Process terminated with status 3")}),
                             QStringLiteral("toolkit-form-") + suffix);
    });

    HUDWindow hud;
    hud.showText(QStringLiteral("Copied to Clipboard"),
                 IconSet{ImageResource::named(QStringLiteral("clipboard")), std::nullopt});
    test::saveScreenshot(hud, QStringLiteral("toolkit-hud"));
}
