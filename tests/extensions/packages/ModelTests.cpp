// The package model: identities, manifests (strict decoding, ordered writing),
// preferences as stored text, and the JSON forms that cross to the host.
#include "extensions/packages/ExtensionId.h"
#include "extensions/packages/ExtensionManifest.h"
#include "extensions/packages/ExtensionPackage.h"
#include "extensions/packages/ExtensionPaths.h"
#include "kit/VantrelError.h"
#include "support/CapturingLogHandler.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace vantrel;

namespace {

QByteArray minimalManifest() {
    return R"({"name":"hello","title":"Hello","description":"Says hello","icon":"icon.png",
               "commands":[{"name":"greet","title":"Greet","description":"Greets","mode":"default"}]})";
}

QString decodeFailure(const QByteArray& json) {
    try {
        ExtensionManifest::decode(json);
    } catch (const VantrelError& error) {
        return error.errorDescription();
    }
    return QStringLiteral("<decoded>");
}

}  // namespace

TEST(ExtensionIdTest, RawFormRoundTripsAndCommandIdsNameTheirFile) {
    const std::optional<ExtensionId> id = ExtensionId::parse(QStringLiteral("a.b__dev"));
    ASSERT_TRUE(id);
    EXPECT_EQ(id->name, QStringLiteral("a.b"));
    EXPECT_EQ(id->id, QStringLiteral("dev"));
    EXPECT_EQ(id->fileBaseName(), QStringLiteral("b"));
    EXPECT_TRUE(id->isDevelopment());
    EXPECT_EQ(id->packageId(), ExtensionId(QStringLiteral("a"), QStringLiteral("dev")));
    EXPECT_EQ(id->rawValue(), QStringLiteral("a.b__dev"));

    const ExtensionId package(QStringLiteral("weather"), QStringLiteral("5f0c"));
    const ExtensionId command = ExtensionId::command(package, QStringLiteral("forecast"));
    EXPECT_EQ(command.rawValue(), QStringLiteral("weather.forecast__5f0c"));
    EXPECT_EQ(command.fileBaseName(), QStringLiteral("forecast"));
    EXPECT_EQ(ExtensionId(QStringLiteral("plain"), QStringLiteral("x")).fileBaseName(), QStringLiteral("plain"));
    EXPECT_EQ(ExtensionId::fromJson(command.toJson()), command);
}

TEST(ExtensionIdTest, RejectsRawFormsWithoutExactlyTwoPartsAndLogsThem) {
    test::ScopedLogCapture log;
    for (const char* raw : {"name__id__x", "name", "", "a_b"}) {
        EXPECT_FALSE(ExtensionId::parse(QString::fromLatin1(raw))) << raw;
        EXPECT_TRUE(log->contains(QStringLiteral("Invalid package command id: ") + QString::fromLatin1(raw))) << raw;
    }
    EXPECT_FALSE(ExtensionId::fromJson(QJsonValue(42)));
}

TEST(ExtensionManifestTest, DecodesEveryKeyAndIgnoresUnknownOnes) {
    const QByteArray json = R"({
        "name": "hello", "title": "Hello", "description": "Says hello", "icon": "icon.png",
        "keywords": ["greeting", "wave"], "license": "MIT", "author": "someone", "$schema": 3,
        "commands": [{"name": "greet", "title": "Greet", "description": "Greets", "icon": "g.png",
                      "keywords": ["hi"], "mode": "view", "unknown": {},
                      "preferences": [{"name": "who", "type": "textfield", "required": true, "title": "Who",
                                       "description": "Whom to greet", "placeholder": "World", "default": "you"}]}],
        "preferences": [{"name": "token", "type": "password", "required": false, "title": "Token",
                         "description": "API token", "link": "https://example.org/token"}],
        "debug": {"reloadShortcut": {"modifiers": ["cmd", "shift"], "key": "r"}},
        "devDependencies": {"typescript": "^5"}
    })";
    const ExtensionManifest manifest = ExtensionManifest::decode(json);
    EXPECT_EQ(manifest.name, QStringLiteral("hello"));
    EXPECT_EQ(manifest.keywords, QStringList({QStringLiteral("greeting"), QStringLiteral("wave")}));
    EXPECT_EQ(manifest.license, QStringLiteral("MIT"));
    ASSERT_EQ(manifest.commands.size(), 1u);
    const ExtensionManifest::Command& command = manifest.commands[0];
    EXPECT_EQ(command.kind(), ExtensionCommandKind::view);
    EXPECT_EQ(command.icon, QStringLiteral("g.png"));
    ASSERT_TRUE(command.preferences);
    EXPECT_EQ(command.preferences->at(0).defaultValue, QStringLiteral("you"));
    EXPECT_EQ(command.preferences->at(0).placeholder, QStringLiteral("World"));
    EXPECT_TRUE(command.preferences->at(0).required);
    ASSERT_TRUE(manifest.preferences);
    EXPECT_EQ(manifest.preferences->at(0).type, ExtensionPreference::Kind::password);
    EXPECT_EQ(manifest.preferences->at(0).link, QStringLiteral("https://example.org/token"));
    ASSERT_TRUE(manifest.debug);
    EXPECT_EQ(manifest.debug->reloadShortcut.modifiers, QStringList({QStringLiteral("cmd"), QStringLiteral("shift")}));
    EXPECT_EQ(manifest.debug->reloadShortcut.key, QStringLiteral("r"));
    ASSERT_TRUE(manifest.devDependencies);
    EXPECT_EQ(manifest.devDependencies->value(QStringLiteral("typescript")), QStringLiteral("^5"));
    EXPECT_EQ(manifest.command(QStringLiteral("greet")), &manifest.commands[0]);
    EXPECT_EQ(manifest.command(QStringLiteral("nope")), nullptr);
}

TEST(ExtensionManifestTest, ModeIsKeptAsWrittenWithoutFurtherValidation) {
    QByteArray json = minimalManifest();
    json.replace("\"default\"", "\"menu-bar\"");
    const ExtensionManifest manifest = ExtensionManifest::decode(json);
    EXPECT_EQ(manifest.commands[0].mode, QStringLiteral("menu-bar"));
    EXPECT_FALSE(manifest.commands[0].kind());
}

TEST(ExtensionManifestTest, MissingOrWrongTypedKeysFailTheWholeManifest) {
    const struct {
        QByteArray json;
        const char* expected;
    } cases[] = {
        {"", "Could not decode manifest: "},
        {"{\"name\":", "Could not decode manifest: "},
        {"[1,2]", "Could not decode manifest: the top level is not an object"},
        {R"({"title":"T","description":"D","icon":"i","commands":[]})", "Could not decode manifest: Missing key 'name'"},
        {R"({"name":7,"title":"T","description":"D","icon":"i","commands":[]})",
         "Could not decode manifest: Key 'name' must be a string"},
        {R"({"name":"n","title":"T","description":"D","icon":"i"})", "Could not decode manifest: Missing key 'commands'"},
        {R"({"name":"n","title":"T","description":"D","icon":"i","commands":{}})",
         "Could not decode manifest: Key 'commands' must be an array"},
        {R"({"name":"n","title":"T","description":"D","icon":"i","commands":["x"]})",
         "Could not decode manifest: Key 'commands[0]' must be an object"},
        {R"({"name":"n","title":"T","description":"D","icon":"i","commands":[{"name":"c","title":"C","description":"d"}]})",
         "Could not decode manifest: Missing key 'commands[0].mode'"},
        {R"({"name":"n","title":"T","description":"D","icon":"i","keywords":"k","commands":[]})",
         "Could not decode manifest: Key 'keywords' must be an array"},
        {R"({"name":"n","title":"T","description":"D","icon":"i","keywords":[1],"commands":[]})",
         "Could not decode manifest: Key 'keywords[0]' must be a string"},
        {R"({"name":"n","title":"T","description":"D","icon":"i","commands":[],
             "preferences":[{"name":"p","type":"checkbox","required":true,"title":"P","description":"d"}]})",
         "Could not decode manifest: Key 'preferences[0].type' must be \"textfield\" or \"password\""},
        {R"({"name":"n","title":"T","description":"D","icon":"i","commands":[],
             "preferences":[{"name":"p","type":"password","required":"yes","title":"P","description":"d"}]})",
         "Could not decode manifest: Key 'preferences[0].required' must be a boolean"},
        {R"({"name":"n","title":"T","description":"D","icon":"i","commands":[],"debug":{}})",
         "Could not decode manifest: Missing key 'debug.reloadShortcut'"},
        {R"({"name":"n","title":"T","description":"D","icon":"i","commands":[],"devDependencies":{"a":1}})",
         "Could not decode manifest: Key 'devDependencies.a' must be a string"},
    };
    for (const auto& c : cases) {
        const QString failure = decodeFailure(c.json);
        EXPECT_TRUE(failure.startsWith(QString::fromUtf8(c.expected))) << c.json.constData() << " -> " << failure.toStdString();
    }
}

TEST(ExtensionManifestTest, WritesKeysInDeclarationOrderWithoutPositionPrefixes) {
    QByteArray json = R"({"devDependencies":{"@types/vantrel-commands":"file:/opt/api"},
        "debug":{"reloadShortcut":{"key":"r","modifiers":["ctrl"]}},
        "preferences":[{"value":"v","name":"p","type":"textfield","required":true,"title":"P","description":"d"}],
        "commands":[{"mode":"view","name":"list","title":"List","description":"Lists"}],
        "license":"MIT","keywords":["k"],"icon":"i.png","description":"D","title":"T","name":"n"})";
    const ExtensionManifest manifest = ExtensionManifest::decode(json);
    const QString written = QString::fromUtf8(manifest.encodeOrdered());
    EXPECT_FALSE(written.contains(QStringLiteral("__vtl__")));
    EXPECT_TRUE(written.contains(QStringLiteral("\"file:/opt/api\""))) << "slashes are not escaped";
    const auto positions = [&](std::initializer_list<const char*> keys) {
        std::vector<qsizetype> found;
        for (const char* key : keys) found.push_back(written.indexOf(QStringLiteral("\"%1\":").arg(QString::fromLatin1(key))));
        return found;
    };
    const auto top = positions({"name", "title", "description", "icon", "keywords", "license", "commands",
                                "preferences", "debug", "devDependencies"});
    for (size_t i = 0; i < top.size(); ++i) ASSERT_GE(top[i], 0) << i;
    EXPECT_TRUE(std::is_sorted(top.begin(), top.end())) << written.toStdString();
    // Inside a command: name before mode; inside a preference: name before value.
    const qsizetype commands = written.indexOf(QStringLiteral("\"commands\""));
    EXPECT_LT(written.indexOf(QStringLiteral("\"list\""), commands), written.indexOf(QStringLiteral("\"view\""), commands));
    EXPECT_LT(written.indexOf(QStringLiteral("\"modifiers\"")), written.indexOf(QStringLiteral("\"key\"")));
    EXPECT_EQ(ExtensionManifest::decode(written.toUtf8()), manifest);
}

TEST(ExtensionManifestTest, OrderedKeyText) {
    EXPECT_EQ((ExtensionManifest::Key{0, QStringLiteral("title"), QStringLiteral("__vtl__")}.stringValue()),
              QStringLiteral("__vtl__01title"));
    EXPECT_EQ((ExtensionManifest::Key{9, QStringLiteral("devDependencies"), QStringLiteral("__vtl__")}.stringValue()),
              QStringLiteral("__vtl__10devDependencies"));
    EXPECT_EQ((ExtensionManifest::Key{3, QStringLiteral("icon"), std::nullopt}.stringValue()), QStringLiteral("icon"));
}

TEST(ExtensionPreferenceTest, StoredTextRoundTripsAndBadTextYieldsNothing) {
    ExtensionPreference preference;
    preference.name = QStringLiteral("token");
    preference.type = ExtensionPreference::Kind::password;
    preference.required = true;
    preference.title = QStringLiteral("Token");
    preference.description = QStringLiteral("The token");
    preference.value = QStringLiteral("s3cret");
    const std::optional<QString> text = ExtensionPreference::jsonString({preference});
    ASSERT_TRUE(text);
    const auto decoded = ExtensionPreference::fromJSON(text->toUtf8());
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->size(), 1u);
    EXPECT_EQ(decoded->front(), preference);

    test::ScopedLogCapture log;
    EXPECT_FALSE(ExtensionPreference::fromJSON("{not json"));
    EXPECT_FALSE(ExtensionPreference::fromJSON(R"([{"name":"x"}])"));
    EXPECT_TRUE(log->contains(QStringLiteral("Could not decode extension preferences")));
    try {
        ExtensionPreference::fromJSON(QByteArray("[\"\xff\xfe\"]"));
        ADD_FAILURE() << "text that is not UTF-8 must throw";
    } catch (const VantrelError& error) {
        EXPECT_EQ(error.errorDescription(), QStringLiteral("Invalid extension preferences data"));
    }
}

TEST(ExtensionPackageTest, FolderFollowsTheIdAndJsonRoundTrips) {
    test::ScopedXdgHome home;
    const ExtensionPackage installed(ExtensionId(QStringLiteral("weather"), QStringLiteral("uuid-1")));
    EXPECT_EQ(installed.folder(), ExtensionPaths::extensionsDir() + QStringLiteral("/uuid-1"));
    const ExtensionPackage development(ExtensionId(QStringLiteral("weather"), QStringLiteral("dev")));
    EXPECT_EQ(development.folder(), ExtensionPaths::extensionsDir() + QStringLiteral("/weather"));
    EXPECT_FALSE(development.manifest);
    EXPECT_EQ(development.commandScriptPath(), development.folder() + QStringLiteral("/index.js"));

    ExtensionPackage package = development;
    package.manifest = ExtensionManifest::decode(minimalManifest());
    ExtensionLaunchCommand launch;
    launch.id = ExtensionId::command(package.id, QStringLiteral("greet"));
    launch.preferences = package.manifest->preferences.value_or(std::vector<ExtensionPreference>{});
    package.launchCommand = launch;
    EXPECT_EQ(package.commandScriptPath(), development.folder() + QStringLiteral("/greet.js"));

    const QJsonObject json = package.toJson();
    EXPECT_EQ(json.value(QStringLiteral("id")).toString(), QStringLiteral("weather__dev"));
    EXPECT_TRUE(json.value(QStringLiteral("url")).toString().startsWith(QStringLiteral("file:///")));
    EXPECT_EQ(json.value(QStringLiteral("launchCommand")).toObject().value(QStringLiteral("id")).toString(),
              QStringLiteral("weather.greet__dev"));
    EXPECT_EQ(ExtensionPackage::decode(package.encode()), package);
}

TEST(ExtensionPackageTest, MalformedPackageJsonIsRefused) {
    test::ScopedLogCapture log;
    for (const QByteArray& json : {QByteArray("nope"), QByteArray("[]"), QByteArray(R"({"url":"file:///x"})"),
                                  QByteArray(R"({"id":"no-separator","url":"file:///x"})"),
                                  QByteArray(R"({"id":"a__b","url":"https://example.org/"})"),
                                  QByteArray(R"({"id":"a__b","url":"file:///x","manifest":{"name":"a"}})"),
                                  QByteArray(R"({"id":"a__b","url":"file:///x","launchCommand":{"id":3}})")}) {
        EXPECT_THROW(ExtensionPackage::decode(json), VantrelError) << json.constData();
    }
}

TEST(CommandSourcesTest, JsonRoundTripsWithAndWithoutEnvironment) {
    CommandSources sources{QStringLiteral("api();"), QStringLiteral("main();"), QByteArray(R"({"a":1})")};
    EXPECT_EQ(CommandSources::fromJson(sources.toJson()), sources);
    sources.envData.reset();
    EXPECT_FALSE(sources.toJson().contains(QStringLiteral("envData")));
    EXPECT_EQ(CommandSources::fromJson(sources.toJson()), sources);
    EXPECT_THROW(CommandSources::fromJson(QJsonObject{{QStringLiteral("api"), 1}}), VantrelError);
    EXPECT_THROW(CommandSources::fromJson(QJsonObject{{QStringLiteral("api"), QStringLiteral("a")},
                                                      {QStringLiteral("entryPoint"), QStringLiteral("b")},
                                                      {QStringLiteral("envData"), QStringLiteral("%%%")}}),
                 VantrelError);
    const CommandSourceFile file{QUrl::fromLocalFile(QStringLiteral("/tmp/a.js")), false};
    EXPECT_EQ(CommandSourceFile::fromJson(file.toJson()), file);
}
