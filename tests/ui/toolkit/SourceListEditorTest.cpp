// The page that keeps a list of places to read: what it hands its store, what
// it refuses and says, and what it shows of the store.
#include "ui/toolkit/SourceListEditor.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace vantrel {
namespace {

// A store that keeps the list in memory: only places starting with "/" are
// taken, and a place is taken once.
struct ListStore {
    QStringList sources;
    bool useDesktop = false;
    int desktopWrites = 0;

    SourceListEditor::Store store() {
        SourceListEditor::Store store;
        store.load = [this] { return SourceListEditor::State{sources, useDesktop}; };
        store.normalize = [](const QString& text, QString* problem) -> std::optional<QString> {
            const QString trimmed = text.trimmed();
            if (!trimmed.startsWith(QLatin1Char('/'))) {
                *problem = QStringLiteral("\"%1\" is not a full path.").arg(trimmed);
                return std::nullopt;
            }
            return trimmed;
        };
        store.add = [this](const QString& source) {
            if (!sources.contains(source)) sources.append(source);
        };
        store.remove = [this](const QString& source) { return sources.removeAll(source) > 0; };
        store.setUseDesktop = [this](bool on) {
            useDesktop = on;
            ++desktopWrites;
        };
        return store;
    }
};

SourceListEditor::Texts texts(bool folders) {
    SourceListEditor::Texts texts;
    texts.pageName = QStringLiteral("header_places");
    texts.intro = QStringLiteral("Places to read.");
    texts.listName = QStringLiteral("places");
    texts.fieldName = QStringLiteral("newPlace");
    texts.placeholder = QStringLiteral("A full path");
    texts.fileDialogTitle = QStringLiteral("Choose a place");
    texts.fileFilter = QStringLiteral("All files (*)");
    if (folders) texts.folderDialogTitle = QStringLiteral("Choose a folder");
    texts.desktopLabel = QStringLiteral("Also read the desktop's places");
    texts.desktopName = QStringLiteral("useDesktopPlaces");
    return texts;
}

QStringList rows(const QListWidget& list) {
    QStringList rows;
    for (int i = 0; i < list.count(); ++i) rows << list.item(i)->text();
    return rows;
}

QStringList buttonTexts(const QWidget& page) {
    QStringList texts;
    for (const QPushButton* button : page.findChildren<QPushButton*>()) texts << button->text();
    return texts;
}

QPushButton* button(const QWidget& page, const QString& text) {
    for (QPushButton* button : page.findChildren<QPushButton*>()) {
        if (button->text() == text) return button;
    }
    return nullptr;
}

TEST(SourceListEditor, ShowsWhatTheStoreHoldsAndNamesItsParts) {
    ListStore places{{QStringLiteral("/a.ics"), QStringLiteral("/b.ics")}, true};
    SourceListEditor page(texts(false), places.store());
    EXPECT_EQ(page.objectName(), QStringLiteral("header_places"));
    EXPECT_EQ(page.sourceList()->objectName(), QStringLiteral("places"));
    EXPECT_EQ(page.newSource()->objectName(), QStringLiteral("newPlace"));
    EXPECT_EQ(page.newSource()->placeholderText(), QStringLiteral("A full path"));
    EXPECT_EQ(page.desktopSwitch()->objectName(), QStringLiteral("useDesktopPlaces"));
    EXPECT_EQ(rows(*page.sourceList()), (QStringList{QStringLiteral("/a.ics"), QStringLiteral("/b.ics")}));
    EXPECT_TRUE(page.desktopSwitch()->isChecked());
    // Showing the stored switch writes nothing back.
    EXPECT_EQ(places.desktopWrites, 0);
    EXPECT_TRUE(page.message()->text().isEmpty());
}

TEST(SourceListEditor, OffersFoldersOnlyWhenTheyCount) {
    ListStore places;
    const SourceListEditor files(texts(false), places.store());
    EXPECT_EQ(buttonTexts(files), (QStringList{QStringLiteral("Choose File…"), QStringLiteral("Add"), QStringLiteral("Remove")}));
    const SourceListEditor folders(texts(true), places.store());
    EXPECT_EQ(buttonTexts(folders), (QStringList{QStringLiteral("Choose File…"), QStringLiteral("Choose Folder…"),
                                                 QStringLiteral("Add"), QStringLiteral("Remove")}));
}

TEST(SourceListEditor, AddsFromTheFieldByButtonAndByReturn) {
    ListStore places;
    SourceListEditor page(texts(true), places.store());
    page.show();
    page.newSource()->setText(QStringLiteral("/home/ada/one.vcf"));
    QTest::mouseClick(button(page, QStringLiteral("Add")), Qt::LeftButton);
    EXPECT_EQ(places.sources, QStringList{QStringLiteral("/home/ada/one.vcf")});
    EXPECT_TRUE(page.newSource()->text().isEmpty());

    page.newSource()->setText(QStringLiteral("  /home/ada/two  "));
    QTest::keyClick(page.newSource(), Qt::Key_Return);
    EXPECT_EQ(places.sources, (QStringList{QStringLiteral("/home/ada/one.vcf"), QStringLiteral("/home/ada/two")}));
    EXPECT_EQ(rows(*page.sourceList()), places.sources);
}

TEST(SourceListEditor, RefusedTextStaysInTheFieldWithTheReason) {
    ListStore places{{QStringLiteral("/kept")}};
    SourceListEditor page(texts(false), places.store());
    page.newSource()->setText(QStringLiteral("relative/place"));
    EXPECT_FALSE(page.addFromField());
    EXPECT_EQ(page.message()->text(), QStringLiteral("\"relative/place\" is not a full path."));
    EXPECT_EQ(page.newSource()->text(), QStringLiteral("relative/place"));
    EXPECT_EQ(places.sources, QStringList{QStringLiteral("/kept")});

    page.newSource()->clear();
    EXPECT_FALSE(page.addFromField());
    EXPECT_EQ(page.message()->text(), QStringLiteral("\"\" is not a full path."));

    // The next place taken clears the reason.
    page.newSource()->setText(QStringLiteral("/taken"));
    EXPECT_TRUE(page.addFromField());
    EXPECT_TRUE(page.message()->text().isEmpty());
}

TEST(SourceListEditor, RemovesTheSelectedRowOnly) {
    ListStore places{{QStringLiteral("/a"), QStringLiteral("/b"), QStringLiteral("/c")}};
    SourceListEditor page(texts(false), places.store());
    page.sourceList()->setCurrentRow(-1);
    EXPECT_FALSE(page.removeSelected());
    EXPECT_EQ(places.sources.size(), 3);

    page.sourceList()->setCurrentRow(1);
    EXPECT_TRUE(page.removeSelected());
    EXPECT_EQ(places.sources, (QStringList{QStringLiteral("/a"), QStringLiteral("/c")}));
    EXPECT_EQ(rows(*page.sourceList()), places.sources);

    // A row the store no longer holds (changed elsewhere) is not removed, and
    // the list shows the store again.
    page.sourceList()->setCurrentRow(0);
    places.sources = {QStringLiteral("/c")};
    EXPECT_FALSE(page.removeSelected());
    EXPECT_EQ(rows(*page.sourceList()), QStringList{QStringLiteral("/c")});
}

TEST(SourceListEditor, TheDesktopSwitchIsStoredAtOnce) {
    ListStore places;
    SourceListEditor page(texts(false), places.store());
    EXPECT_FALSE(page.desktopSwitch()->isChecked());
    page.desktopSwitch()->setChecked(true);
    EXPECT_TRUE(places.useDesktop);
    page.desktopSwitch()->setChecked(false);
    EXPECT_FALSE(places.useDesktop);
    EXPECT_EQ(places.desktopWrites, 2);
}

}  // namespace
}  // namespace vantrel
