// The "app", "fs" and "net" methods as a command's script calls them: the
// real host running JavaScriptCore, the launcher's API over its socket, real
// files and a real HTTP server on 127.0.0.1.
#include "extensions/client/VantrelAPI.h"
#include "kit/UserDefaults.h"

#include "ClientTestSupport.h"
#include "support/QtPrinters.h"
#include "support/TestHttpServer.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace vantrel;
using namespace vantrel::test;

namespace {

// A command whose body may use `call(namespace, method, args)`, which logs
// nothing and answers {value}, {} for nothing, or {error}, and `log(...)`.
QString commandScript(const QString& body) {
    return QStringLiteral(
               "const api = require('vantrel-commands');\n"
               "async function call(ns, method, args) {\n"
               "  try { const value = await api.call(ns, method, args); return value === null ? {} : { value: value }; }\n"
               "  catch (e) { return { error: e.message }; }\n"
               "}\n"
               "function log() { console.log(Array.prototype.slice.call(arguments).map(v => typeof v === 'string' ? v : JSON.stringify(v)).join(' ')); }\n"
               "module.exports = async function () {\n%1\n};\n")
        .arg(body);
}

// The lines the command logged, in order.
QStringList logged(const RecordingCommandPresenter& presenter) {
    QStringList lines;
    for (const QString& event : presenter.events)
        if (event.startsWith(QLatin1String("log info: "))) lines << event.mid(10);
    return lines;
}

class CommandAPITest : public ::testing::Test {
protected:
    ScopedXdgHome home;
    QTemporaryDir dir;
    LauncherSide launcher;
    std::shared_ptr<RecordingCommandPresenter> presenter = std::make_shared<RecordingCommandPresenter>();

    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    // Runs the body as a command to its end; the command's log lines.
    QStringList run(const QString& name, const QString& body) {
        presenter = std::make_shared<RecordingCommandPresenter>();
        const auto result = launcher.run(writeDevelopmentCommand(name, commandScript(body).replace(QStringLiteral("$DIR"), dir.path())), presenter);
        if (!result) return {QStringLiteral("<did not finish>")};
        if (result->isFailure()) return {QStringLiteral("<failed> ") + result->error().errorDescription()};
        return logged(*presenter);
    }
};

// MARK: Files

TEST_F(CommandAPITest, filesAreWrittenReadCopiedRenamedAndRemoved) {
    const QStringList lines = run(QStringLiteral("files"), QStringLiteral(R"(
        log(await call('fs', 'writeTextFile', { path: '$DIR/a/b/c/notes.txt', data: 'héllo' }));
        log(await call('fs', 'writeTextFile', { path: '$DIR/a/b/c/notes.txt', data: ' wörld', options: { append: true } }));
        log(await call('fs', 'readTextFile', { path: '$DIR/a/b/c/notes.txt' }));
        const info = (await call('fs', 'stat', { path: '$DIR/a/b/c/notes.txt' })).value;
        log(info.fileType, info.size, info.isFile, info.isDirectory, info.isSymlink, typeof info.modificationDate);
        log(await call('fs', 'exists', { path: '$DIR/a/b' }), await call('fs', 'exists', { path: '$DIR/nothing' }));
        log(await call('fs', 'copy', { fromPath: '$DIR/a/b/c/notes.txt', toPath: '$DIR/copy.txt' }));
        log(await call('fs', 'writeTextFile', { path: '$DIR/copy.txt', data: 'changed' }));
        log(await call('fs', 'copy', { fromPath: '$DIR/a/b/c/notes.txt', toPath: '$DIR/copy.txt' }));
        log(await call('fs', 'copy', { fromPath: '$DIR/a/b/c/notes.txt', toPath: '$DIR/copy.txt', options: { overwrite: true } }));
        log(await call('fs', 'readTextFile', { path: '$DIR/copy.txt' }));
        log(await call('fs', 'copy', { fromPath: '$DIR/a', toPath: '$DIR/tree' }));
        log(await call('fs', 'readTextFile', { path: '$DIR/tree/b/c/notes.txt' }));
        log(await call('fs', 'rename', { oldPath: '$DIR/copy.txt', newPath: '$DIR/moved.txt' }));
        log(await call('fs', 'rename', { oldPath: '$DIR/moved.txt', newPath: '$DIR/a/b/c/notes.txt' }));
        log(await call('fs', 'makeDirectory', { path: '$DIR/x/y/z' }));
        log(await call('fs', 'makeDirectory', { path: '$DIR/x/y/z' }));
        log(await call('fs', 'readDirectory', { path: '$DIR' }));
        log(await call('fs', 'remove', { path: '$DIR/tree' }));
        log(await call('fs', 'remove', { path: '$DIR/tree' }));
        log(await call('fs', 'readDirectory', { path: '$DIR' }));
    )"));
    const QString d = dir.path();
    EXPECT_EQ(lines, (QStringList{
                         QStringLiteral("{}"),
                         QStringLiteral("{}"),
                         QStringLiteral("{\"value\":\"héllo wörld\"}"),
                         QStringLiteral("File 13 true false false string"),
                         QStringLiteral("{\"value\":true} {\"value\":false}"),
                         QStringLiteral("{}"),
                         QStringLiteral("{}"),
                         QStringLiteral("{\"error\":\"Item already exists and overwrite option is disabled at path: %1/copy.txt\"}").arg(d),
                         QStringLiteral("{}"),
                         QStringLiteral("{\"value\":\"héllo wörld\"}"),
                         QStringLiteral("{}"),
                         QStringLiteral("{\"value\":\"héllo wörld\"}"),
                         QStringLiteral("{}"),
                         QStringLiteral("{\"error\":\"Cannot rename item at path: %1/a/b/c/notes.txt: File exists\"}").arg(d),
                         QStringLiteral("{}"),
                         QStringLiteral("{}"),
                         QStringLiteral("{\"value\":[\"a\",\"moved.txt\",\"tree\",\"x\"]}"),
                         QStringLiteral("{}"),
                         QStringLiteral("{\"error\":\"File doesn't exist at path: %1/tree\"}").arg(d),
                         QStringLiteral("{\"value\":[\"a\",\"moved.txt\",\"x\"]}"),
                     }));
    EXPECT_EQ(readTestFile(path(QStringLiteral("a/b/c/notes.txt"))), QByteArray("héllo wörld"));
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("x/y/z"))).isDir());
}

TEST_F(CommandAPITest, symbolicLinksAreReportedAsLinksAndNeverFollowedWhenRemoved) {
    writeTestFile(path(QStringLiteral("target.txt")), "kept");
    ASSERT_EQ(::symlink(qPrintable(path(QStringLiteral("target.txt"))), qPrintable(path(QStringLiteral("link")))), 0);
    ASSERT_EQ(::symlink(qPrintable(path(QStringLiteral("gone.txt"))), qPrintable(path(QStringLiteral("dangling")))), 0);
    const QStringList lines = run(QStringLiteral("links"), QStringLiteral(R"(
        const info = (await call('fs', 'stat', { path: '$DIR/link' })).value;
        log(info.fileType, info.isFile, info.isSymlink);
        log(await call('fs', 'readTextFile', { path: '$DIR/link' }));
        log(await call('fs', 'exists', { path: '$DIR/dangling' }));
        log(await call('fs', 'readTextFile', { path: '$DIR/dangling' }));
        log(await call('fs', 'readDirectory', { path: '$DIR' }));
        log(await call('fs', 'copy', { fromPath: '$DIR/link', toPath: '$DIR/link-copy' }));
        log((await call('fs', 'stat', { path: '$DIR/link-copy' })).value.fileType);
        log(await call('fs', 'writeTextFile', { path: '$DIR/link', data: 'through the link' }));
        log(await call('fs', 'remove', { path: '$DIR/link' }));
        log(await call('fs', 'exists', { path: '$DIR/target.txt' }));
    )"));
    const QString d = dir.path();
    EXPECT_EQ(lines, (QStringList{
                         QStringLiteral("Symlink false true"),
                         QStringLiteral("{\"value\":\"kept\"}"),
                         QStringLiteral("{\"value\":true}"),
                         QStringLiteral("{\"error\":\"File doesn't exist at path: %1/dangling\"}").arg(d),
                         QStringLiteral("{\"value\":[\"dangling\",\"link\",\"target.txt\"]}"),
                         QStringLiteral("{}"),
                         QStringLiteral("Symlink"),
                         QStringLiteral("{}"),
                         QStringLiteral("{}"),
                         QStringLiteral("{\"value\":true}"),
                     }));
    EXPECT_EQ(readTestFile(path(QStringLiteral("target.txt"))), QByteArray("through the link"));
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("link-copy"))).isSymLink());
}

TEST_F(CommandAPITest, dotDotIsResolvedByTheFileSystemAfterALink) {
    QDir().mkpath(path(QStringLiteral("other/sub")));
    QDir().mkpath(path(QStringLiteral("here")));
    ASSERT_EQ(::symlink(qPrintable(path(QStringLiteral("other/sub"))), qPrintable(path(QStringLiteral("here/link")))), 0);
    const QStringList lines = run(QStringLiteral("dotdot"), QStringLiteral(R"(
        log(await call('fs', 'writeTextFile', { path: '$DIR/here/link/../up.txt', data: 'x' }));
        log(await call('fs', 'readTextFile', { path: '$DIR/here/link/../up.txt' }));
        log(await call('fs', 'writeTextFile', { path: '$DIR/here/new/../plain.txt', data: 'y' }));
    )"));
    EXPECT_EQ(lines, (QStringList{QStringLiteral("{}"), QStringLiteral("{\"value\":\"x\"}"), QStringLiteral("{}")}));
    EXPECT_TRUE(QFileInfo::exists(path(QStringLiteral("other/up.txt")))) << "the link's target's parent";
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("here/up.txt"))));
    EXPECT_EQ(readTestFile(path(QStringLiteral("here/plain.txt"))), QByteArray("y")) << "a missing parent is made, then left by ..";
}

TEST_F(CommandAPITest, aWriteReplacesTheFileWholeOrNotAtAll) {
    const QString notes = writeTestFile(path(QStringLiteral("notes.txt")), "old contents");
    // A second name of the old file: an in-place write would change it too.
    ASSERT_EQ(::link(qPrintable(notes), qPrintable(path(QStringLiteral("old-name")))), 0);
    writeTestFile(path(QStringLiteral("plain")), "a file, not a folder");
    const QStringList lines = run(QStringLiteral("atomic"), QStringLiteral(R"(
        log(await call('fs', 'writeTextFile', { path: '$DIR/notes.txt', data: 'new contents' }));
        log(await call('fs', 'writeTextFile', { path: '$DIR/plain/inside.txt', data: 'x' }));
        log(await call('fs', 'writeTextFile', { path: '/proc/vantrel-not-here.txt', data: 'x' }));
        log(await call('fs', 'writeTextFile', { path: '$DIR', data: 'x' }));
    )"));
    EXPECT_EQ(lines, (QStringList{
                         QStringLiteral("{}"),
                         QStringLiteral("{\"error\":\"Cannot create intermediate directories for path: %1/plain/inside.txt\"}").arg(dir.path()),
                         QStringLiteral("{\"error\":\"Cannot create file at path: /proc/vantrel-not-here.txt\"}"),
                         QStringLiteral("{\"error\":\"Cannot open file for writing at path: %1: Is a directory\"}").arg(dir.path()),
                     }));
    EXPECT_EQ(readTestFile(notes), QByteArray("new contents"));
    EXPECT_EQ(readTestFile(path(QStringLiteral("old-name"))), QByteArray("old contents")) << "a new file took the name";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("notes.txt"), QStringLiteral("old-name"), QStringLiteral("plain")}))
        << "no temporary file is left behind";
}

TEST_F(CommandAPITest, badFileArgumentsAndUnreadableFilesAnswerTheirMessages) {
    writeTestFile(path(QStringLiteral("binary.bin")), QByteArray("\xff\xfe\x00 not text", 12));
    ASSERT_EQ(::mkfifo(qPrintable(path(QStringLiteral("pipe"))), 0600), 0);
    const QStringList lines = run(QStringLiteral("badfiles"), QStringLiteral(R"(
        log(await call('fs', 'readTextFile', {}));
        log(await call('fs', 'readTextFile', { path: 42 }));
        log(await call('fs', 'exists', { path: '' }));
        log(await call('fs', 'stat', { path: null }));
        log(await call('fs', 'remove', {}));
        log(await call('fs', 'makeDirectory', { path: [] }));
        log(await call('fs', 'readDirectory', {}));
        log(await call('fs', 'writeTextFile', { data: 'x' }));
        log(await call('fs', 'writeTextFile', { path: '$DIR/n.txt', data: 5 }));
        log(await call('fs', 'writeTextFile', { path: '$DIR/n.txt' }));
        log(await call('fs', 'copy', { toPath: '$DIR/x' }));
        log(await call('fs', 'copy', { fromPath: '$DIR/binary.bin' }));
        log(await call('fs', 'rename', { newPath: '$DIR/x' }));
        log(await call('fs', 'rename', { oldPath: '$DIR/binary.bin', newPath: {} }));
        log(await call('fs', 'readTextFile', { path: '$DIR/missing.txt' }));
        log(await call('fs', 'readTextFile', { path: '$DIR/binary.bin' }));
        log(await call('fs', 'stat', { path: '$DIR/missing.txt' }));
        log(await call('fs', 'stat', { path: '$DIR/pipe' }));
        log(await call('fs', 'copy', { fromPath: '$DIR/missing.txt', toPath: '$DIR/x' }));
        log(await call('fs', 'readDirectory', { path: '$DIR/binary.bin' }));
        log(await call('fs', 'makeDirectory', { path: '$DIR/binary.bin' }));
    )"));
    const QString d = dir.path();
    EXPECT_EQ(lines, (QStringList{
                         QStringLiteral("{\"error\":\"Missing or invalid path\"}"),
                         QStringLiteral("{\"error\":\"Missing or invalid path\"}"),
                         QStringLiteral("{\"error\":\"Missing or invalid path\"}"),
                         QStringLiteral("{\"error\":\"Missing or invalid path\"}"),
                         QStringLiteral("{\"error\":\"Missing or invalid path\"}"),
                         QStringLiteral("{\"error\":\"Missing or invalid path\"}"),
                         QStringLiteral("{\"error\":\"Missing or invalid path\"}"),
                         QStringLiteral("{\"error\":\"Missing or invalid path\"}"),
                         QStringLiteral("{\"error\":\"Cannot encode data\"}"),
                         QStringLiteral("{\"error\":\"Cannot encode data\"}"),
                         QStringLiteral("{\"error\":\"Missing or invalid fromPath\"}"),
                         QStringLiteral("{\"error\":\"Missing or invalid toPath\"}"),
                         QStringLiteral("{\"error\":\"Missing or invalid oldPath\"}"),
                         QStringLiteral("{\"error\":\"Missing or invalid newPath\"}"),
                         QStringLiteral("{\"error\":\"File doesn't exist at path: %1/missing.txt\"}").arg(d),
                         QStringLiteral("{\"error\":\"Cannot decode file at path: %1/binary.bin\"}").arg(d),
                         QStringLiteral("{\"error\":\"File doesn't exist at path: %1/missing.txt\"}").arg(d),
                         QStringLiteral("{\"error\":\"Unknown file type\"}"),
                         QStringLiteral("{\"error\":\"File doesn't exist at path: %1/missing.txt\"}").arg(d),
                         QStringLiteral("{\"error\":\"Cannot read directory at path: %1/binary.bin: Not a directory\"}").arg(d),
                         QStringLiteral("{\"error\":\"Cannot create directory at path: %1/binary.bin: File exists\"}").arg(d),
                     }));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("n.txt"))));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("x"))));
}

// MARK: Local storage

TEST_F(CommandAPITest, localStorageKeepsOneJsonObjectPerExtension) {
    const QStringList lines = run(QStringLiteral("storage"), QStringLiteral(R"(
        log(await call('app', 'allLocalStorageItems', {}));
        log(await call('app', 'setLocalStorageItem', { key: 'count', value: 3 }));
        log(await call('app', 'setLocalStorageItem', { key: 'user', value: { name: 'Ada', tags: ['x'] } }));
        log(await call('app', 'getLocalStorageItem', { key: 'user' }));
        log(await call('app', 'getLocalStorageItem', { key: 'nothing' }));
        log(await call('app', 'removeLocalStorageItem', { key: 'count' }));
        log(await call('app', 'allLocalStorageItems', {}));
        log(await call('app', 'getLocalStorageItem', {}));
        log(await call('app', 'setLocalStorageItem', { key: 'x' }));
        log(await call('app', 'setLocalStorageItem', { value: 1 }));
        log(await call('app', 'removeLocalStorageItem', { key: 7 }));
    )"));
    EXPECT_EQ(lines, (QStringList{
                         QStringLiteral("{\"value\":{}}"),
                         QStringLiteral("{}"),
                         QStringLiteral("{}"),
                         QStringLiteral("{\"value\":{\"name\":\"Ada\",\"tags\":[\"x\"]}}"),
                         QStringLiteral("{}"),
                         QStringLiteral("{}"),
                         QStringLiteral("{\"value\":{\"user\":{\"name\":\"Ada\",\"tags\":[\"x\"]}}}"),
                         QStringLiteral("{\"error\":\"Missing key\"}"),
                         QStringLiteral("{\"error\":\"Missing key or value\"}"),
                         QStringLiteral("{\"error\":\"Missing key or value\"}"),
                         QStringLiteral("{\"error\":\"Missing key\"}"),
                     }));
    const QJsonDocument stored =
        QJsonDocument::fromJson(UserDefaults::standard().value(QStringLiteral("extension__extensions/storage")).toString().toUtf8());
    EXPECT_EQ(stored.object().value(QStringLiteral("user")).toObject().value(QStringLiteral("name")).toString(), QStringLiteral("Ada"));

    EXPECT_EQ(run(QStringLiteral("storage"), QStringLiteral("log(await call('app', 'clearLocalStorage', {}));")), QStringList{QStringLiteral("{}")});
    EXPECT_FALSE(UserDefaults::standard().contains(QStringLiteral("extension__extensions/storage")));
}

TEST_F(CommandAPITest, aDamagedStoreIsReportedNotReplaced) {
    UserDefaults::standard().setValue(QStringLiteral("extension__extensions/damaged"), QStringLiteral("[1, 2"));
    const QStringList lines = run(QStringLiteral("damaged"), QStringLiteral(R"(
        log(await call('app', 'allLocalStorageItems', {}));
        log(await call('app', 'getLocalStorageItem', { key: 'a' }));
        log(await call('app', 'setLocalStorageItem', { key: 'a', value: 1 }));
        log(await call('app', 'removeLocalStorageItem', { key: 'a' }));
    )"));
    EXPECT_EQ(lines, (QStringList{QStringLiteral("{\"error\":\"Invalid JSON\"}"), QStringLiteral("{\"error\":\"Failed getting item\"}"),
                                  QStringLiteral("{\"error\":\"Failed setting item\"}"), QStringLiteral("{\"error\":\"Failed removing item\"}")}));
    EXPECT_EQ(UserDefaults::standard().value(QStringLiteral("extension__extensions/damaged")).toString(), QStringLiteral("[1, 2"));
}

// MARK: Timers

TEST_F(CommandAPITest, timersFireOnceAndAClearedOneNever) {
    const QStringList lines = run(QStringLiteral("timers"), QStringLiteral(R"(
        const fired = [];
        let done;
        const finished = new Promise(resolve => { done = resolve; });
        const first = await api.call('app', 'setTimeout', { milliseconds: 20 }, (result) => { fired.push('first ' + result.value.type); });
        const second = await api.call('app', 'setTimeout', { milliseconds: 120 }, (result) => { fired.push('second ' + result.value.type); done(); });
        log(first !== second, typeof first);
        log(await call('app', 'clearTimeout', { id: first }));
        log(await call('app', 'clearTimeout', { id: 'unknown' }));
        await finished;
        log(fired);
        log(await call('app', 'setTimeout', {}));
        log(await call('app', 'setTimeout', { milliseconds: 'soon' }));
        log(await call('app', 'clearTimeout', {}));
        // Left running when the command ends: cancelled with it.
        await api.call('app', 'setTimeout', { milliseconds: 60000 }, () => {});
    )"));
    EXPECT_EQ(lines, (QStringList{QStringLiteral("true string"), QStringLiteral("{}"), QStringLiteral("{}"), QStringLiteral("[\"second timeout\"]"),
                                  QStringLiteral("{\"error\":\"Missing milliseconds value\"}"),
                                  QStringLiteral("{\"error\":\"Missing milliseconds value\"}"), QStringLiteral("{\"error\":\"Missing id value\"}")}));
    EXPECT_TRUE(launcher.api.runningCommands().isEmpty());
}

// MARK: Opening and the clipboard

TEST_F(CommandAPITest, openingAndTheClipboardCheckTheirArgumentsFirst) {
    const QStringList lines = run(QStringLiteral("opening"), QStringLiteral(R"(
        log(await call('app', 'open', {}));
        log(await call('app', 'open', { launch: 'https://example.com' }));
        log(await call('app', 'open', { launch: {} }));
        log(await call('app', 'open', { launch: { type: 'teleport' } }));
        log(await call('app', 'open', { launch: { type: 'url' } }));
        log(await call('app', 'open', { launch: { type: 'url', url: 'no scheme' } }));
        log(await call('app', 'open', { launch: { type: 'file', path: 'relative/file.txt' } }));
        log(await call('app', 'open', { launch: { type: 'file' } }));
        log(await call('app', 'open', { launch: { type: 'app', name: '' } }));
        log(await call('app', 'open', { launch: { type: 'app', name: 'Editor', arguments: [1] } }));
        log(await call('app', 'open', { launch: { type: 'finder', paths: [] } }));
        log(await call('app', 'open', { launch: { type: 'finder', paths: ['/tmp', 3] } }));
        log(await call('app', 'open', { launch: { type: 'url', url: 'https://example.com' } }));
        log(await call('app', 'setClipboardContents', {}));
        log(await call('app', 'setClipboardContents', { contents: 'text' }));
        log(await call('app', 'setClipboardContents', { contents: {} }));
        log(await call('app', 'setClipboardContents', { contents: { type: 'image' } }));
        log(await call('app', 'setClipboardContents', { contents: { type: 'text' } }));
        log(await call('app', 'setClipboardContents', { contents: { type: 'text', text: 5 } }));
        log(await call('app', 'setClipboardContents', { contents: { type: 'text', text: 'x' } }));
    )"));
    EXPECT_EQ(lines, (QStringList{
                         QStringLiteral("{\"error\":\"Missing launch info\"}"),
                         QStringLiteral("{\"error\":\"Invalid launch info\"}"),
                         QStringLiteral("{\"error\":\"Missing launch type\"}"),
                         QStringLiteral("{\"error\":\"Unsupported launch type: teleport\"}"),
                         QStringLiteral("{\"error\":\"Invalid URL\"}"),
                         QStringLiteral("{\"error\":\"Invalid URL\"}"),
                         QStringLiteral("{\"error\":\"Invalid path\"}"),
                         QStringLiteral("{\"error\":\"Invalid path\"}"),
                         QStringLiteral("{\"error\":\"Invalid name\"}"),
                         QStringLiteral("{\"error\":\"Invalid arguments\"}"),
                         QStringLiteral("{\"error\":\"Invalid paths\"}"),
                         QStringLiteral("{\"error\":\"Invalid paths\"}"),
                         // This launcher side has no desktop to open things on.
                         QStringLiteral("{\"error\":\"Not available here: opening needs the launcher's desktop\"}"),
                         QStringLiteral("{\"error\":\"Missing contents info\"}"),
                         QStringLiteral("{\"error\":\"Invalid contents info\"}"),
                         QStringLiteral("{\"error\":\"Missing contents type\"}"),
                         QStringLiteral("{\"error\":\"Unsupported contents type: image\"}"),
                         QStringLiteral("{\"error\":\"Invalid text contents\"}"),
                         QStringLiteral("{\"error\":\"Invalid text contents\"}"),
                         QStringLiteral("{\"error\":\"Not available here: the clipboard needs the launcher's desktop\"}"),
                     }));
}

// MARK: HTTP

class CommandHTTPTest : public CommandAPITest {
protected:
    TestHttpServer server;
    void SetUp() override { ASSERT_TRUE(server.listen()); }

    QStringList runRequests(const QString& name, QString body) {
        return run(name, body.replace(QStringLiteral("$SERVER"), server.url().toString()));
    }
};

// A request whose "dataTask" event the script waits for: {event} or {error}.
const QString kRequestHelper = QStringLiteral(R"(
        function request(req) {
          return new Promise((resolve) => {
            api.call('net', 'resumeHTTPRequest', { request: req }, (result) => {
              if (result.success) resolve({ type: result.value.type, response: result.value.data });
              else resolve({ eventError: result.error });
            }).catch((e) => resolve({ error: e.message }));
          });
        }
)");

TEST_F(CommandHTTPTest, aJsonBodyGoesOutAndTheResponseComesBackWhole) {
    server.on(QStringLiteral("/items"), [](const TestHttpServer::Request& request) {
        return TestHttpServer::Response{201, "{\"got\":" + request.body + "}", {{"Content-Type", "application/json"}, {"X-Trace", "abc"}}};
    });
    const QStringList lines = runRequests(QStringLiteral("httpjson"), kRequestHelper + QStringLiteral(R"(
        const answer = await request({ url: '$SERVER/items?x=1', method: 'POST', headers: { 'X-Token': 't1' },
                                       body: { type: 'json', data: { name: 'Ada', n: [1, 2] } } });
        log(answer.type, answer.response.status, answer.response.data, answer.response.size,
            answer.response.headers['X-Trace'] || answer.response.headers['x-trace'], answer.response.url);
        const missing = await request({ url: '$SERVER/nothing', method: 'GET' });
        log(missing.response.status, missing.response.data);
        const text = await request({ url: '$SERVER/items', method: 'PUT', body: { type: 'text', data: 'plain words' } });
        log(text.response.status, text.response.data);
    )"));
    const QString base = server.url().toString();
    EXPECT_EQ(lines, (QStringList{
                         // The body is the launcher's JSON text of the value (keys in order).
                         QStringLiteral("dataTask 201 {\"got\":{\"n\":[1,2],\"name\":\"Ada\"}} 32 abc %1/items?x=1").arg(base),
                         QStringLiteral("404 {\"message\":\"Not Found\"}"),
                         QStringLiteral("201 {\"got\":plain words}"),
                     }));
    const auto sent = server.requestsTo(QStringLiteral("/items"));
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].method, QByteArray("POST"));
    EXPECT_EQ(sent[0].header("content-type"), QByteArray("application/json"));
    EXPECT_EQ(sent[0].header("x-token"), QByteArray("t1"));
    EXPECT_EQ(QJsonDocument::fromJson(sent[0].body).object().value(QStringLiteral("name")).toString(), QStringLiteral("Ada"));
    EXPECT_EQ(sent[1].method, QByteArray("PUT"));
    EXPECT_EQ(sent[1].body, QByteArray("plain words"));
}

TEST_F(CommandHTTPTest, aClosedPortAnswersWithAnHTTPError) {
    TestHttpServer closed;
    ASSERT_TRUE(closed.listen());
    const QString url = closed.url(QStringLiteral("/x")).toString();
    closed.close();
    const QStringList lines = run(QStringLiteral("httpclosed"), kRequestHelper + QStringLiteral(R"(
        const answer = await request({ url: '%1', method: 'GET' });
        log(answer.eventError.startsWith('HTTP error: '), answer.response === undefined);
    )").arg(url));
    EXPECT_EQ(lines, QStringList{QStringLiteral("true true")});
}

TEST_F(CommandHTTPTest, aCancelledRequestIsAbortedAndNeverAnswers) {
    server.hold(QStringLiteral("/slow"));
    server.reply(QStringLiteral("/fast"), {200, "fast", {{"Content-Type", "text/plain"}}});
    server.on(QStringLiteral("/cancelled"), [this](const TestHttpServer::Request&) {
        // The script asks once it has cancelled: the held request must have been dropped.
        const bool aborted = waitUntil([&] { return server.connectedWaitingCount(QStringLiteral("/slow")) == 0; }, 10000);
        return TestHttpServer::Response{200, aborted ? "aborted" : "still connected", {{"Content-Type", "text/plain"}}};
    });
    const QStringList lines = runRequests(QStringLiteral("httpcancel"), kRequestHelper + QStringLiteral(R"(
        const events = [];
        const id = await api.call('net', 'resumeHTTPRequest', { request: { url: '$SERVER/slow', method: 'GET' } },
                                  (result) => events.push('late event'));
        log(typeof id);
        log(await call('net', 'cancelHTTPRequest', { id: id }));
        log(await call('net', 'cancelHTTPRequest', { id: id }));
        log((await request({ url: '$SERVER/cancelled', method: 'GET' })).response.data);
        log((await request({ url: '$SERVER/fast', method: 'GET' })).response.data);
        log(events);
    )"));
    EXPECT_EQ(lines, (QStringList{QStringLiteral("string"), QStringLiteral("{}"), QStringLiteral("{\"error\":\"Invalid request ID\"}"),
                                  QStringLiteral("aborted"), QStringLiteral("fast"), QStringLiteral("[]")}));
    server.release(QStringLiteral("/slow"));
}

TEST_F(CommandHTTPTest, aRequestLeftRunningEndsWithItsCommand) {
    server.hold(QStringLiteral("/slow"));
    // The command ends only once the held request has reached the server.
    server.on(QStringLiteral("/arrived"), [this](const TestHttpServer::Request&) {
        const bool arrived = waitUntil([&] { return server.connectedWaitingCount(QStringLiteral("/slow")) == 1; }, 10000);
        return TestHttpServer::Response{200, arrived ? "arrived" : "never arrived", {{"Content-Type", "text/plain"}}};
    });
    const QStringList lines = runRequests(QStringLiteral("httpleft"), kRequestHelper + QStringLiteral(R"(
        log(typeof await api.call('net', 'resumeHTTPRequest', { request: { url: '$SERVER/slow', method: 'GET' } }, () => {}));
        log((await request({ url: '$SERVER/arrived', method: 'GET' })).response.data);
    )"));
    EXPECT_EQ(lines, (QStringList{QStringLiteral("string"), QStringLiteral("arrived")}));
    EXPECT_TRUE(waitUntil([&] { return server.waitingCount(QStringLiteral("/slow")) == 1 && server.connectedWaitingCount(QStringLiteral("/slow")) == 0; }, 10000))
        << "the transfer was aborted with the command";
}

TEST_F(CommandHTTPTest, malformedRequestsAreRefused) {
    const QStringList lines = runRequests(QStringLiteral("httpbad"), kRequestHelper + QStringLiteral(R"(
        log(await request(undefined));
        log(await request('$SERVER/x'));
        log(await request({ method: 'GET' }));
        log(await request({ url: '$SERVER/x', method: 'FETCH' }));
        log(await request({ url: '$SERVER/x' }));
        log(await request({ url: 'not a url', method: 'GET' }));
        log(await request({ url: '$SERVER/x', method: 'GET', headers: { 'X-N': 5 } }));
        log(await request({ url: '$SERVER/x', method: 'POST', body: { type: 'xml', data: '<a/>' } }));
        log(await request({ url: '$SERVER/x', method: 'POST', body: { type: 'text', data: 5 } }));
        log(await request({ url: '$SERVER/x', method: 'POST', body: { type: 'json' } }));
        log(await call('net', 'cancelHTTPRequest', {}));
        log(await call('net', 'cancelHTTPRequest', { id: 'nope' }));
    )"));
    const QString invalid = QStringLiteral("{\"error\":\"Invalid HTTP request\"}");
    EXPECT_EQ(lines, (QStringList{invalid, invalid, invalid, invalid, invalid, invalid, invalid, invalid, invalid,
                                  QStringLiteral("{\"error\":\"Invalid JSON data\"}"), QStringLiteral("{\"error\":\"Invalid request ID\"}"),
                                  QStringLiteral("{\"error\":\"Invalid request ID\"}")}));
    EXPECT_TRUE(server.requests().empty());
}

}  // namespace

namespace {

// MARK: The API script's helpers, as authors call them

TEST_F(CommandHTTPTest, theAuthorsHelpersWrapTheMethods) {
    server.reply(QStringLiteral("/data"), {200, "{\"items\":[1,2,3]}", {{"Content-Type", "application/json"}}});
    server.hold(QStringLiteral("/slow"));
    const QStringList lines = runRequests(QStringLiteral("helpers"), QStringLiteral(R"(
        await api.fs.writeTextFile('$DIR/h/notes.txt', 'one');
        await api.fs.writeTextFile('$DIR/h/notes.txt', ' two', { append: true });
        const info = await api.fs.stat('$DIR/h/notes.txt');
        log(await api.fs.readTextFile('$DIR/h/notes.txt'), info.modificationDate instanceof Date, info.size);
        try { await api.fs.copy('$DIR/h/notes.txt', '$DIR/h/notes.txt'); } catch (e) { log(e.message.startsWith('Item already exists')); }
        await api.LocalStorage.setItem('k', [1, 'two']);
        log(await api.LocalStorage.getItem('k'), await api.LocalStorage.allItems());
        await api.LocalStorage.clear();
        const order = [];
        await new Promise((resolve) => {
          const dropped = setTimeout(() => order.push('dropped'), 10);
          clearTimeout(dropped);
          setTimeout((word) => { order.push(word); resolve(); }, 30, 'kept');
        });
        log(order);
        const response = await fetch('$SERVER/data?q=1', { headers: { 'X-A': 'b' } });
        log(response.status, response.ok, response.header('content-type'), (await response.json()).items.length);
        const slow = fetch('$SERVER/slow');
        await slow.cancel();
        try { await slow; } catch (e) { log(e.message); }
        try { await fetch('http://127.0.0.1:1/nothing'); } catch (e) { log(e.message.startsWith('HTTP error: ')); }
    )"));
    EXPECT_EQ(lines, (QStringList{QStringLiteral("one two true 7"), QStringLiteral("true"), QStringLiteral("[1,\"two\"] {\"k\":[1,\"two\"]}"),
                                  QStringLiteral("[\"kept\"]"), QStringLiteral("200 true application/json 3"),
                                  QStringLiteral("Request cancelled"), QStringLiteral("true")}));
    EXPECT_EQ(server.requestsTo(QStringLiteral("/data")).at(0).header("x-a"), QByteArray("b"));
    server.release(QStringLiteral("/slow"));
}

TEST_F(CommandAPITest, theViewBuilderMakesTheTreeAndPatchesOnlyWhatChanged) {
    const QStringList lines = run(QStringLiteral("builder"), QStringLiteral(R"(
        const { List, ActionPanel, Action, Form, buildRender, diff } = api;
        const view = (titles) => List({ navigationTitle: 'Fruits', onSearchTextChange: () => {} },
          List.Section({ title: 'All' }, titles.map((t) => List.Item({ id: t, title: t, keywords: ['k'],
            actions: ActionPanel(Action({ title: 'Pick', onAction: () => {} })) }))));
        const first = buildRender(view(['Apple', 'Banana'])).model;
        const list = first.body[0];
        log(first.kind, first.path, first.selectedView.value === list.nodeId, list.kind, list.path, list.onSearchTextChange);
        const item = list.sections[0].items[1];
        log(item.kind, item.nodeId, item.path, item.index, item.actions.sections[0].items[0].onAction);
        const second = buildRender(view(['Apple', 'Cherry'])).model;
        log(diff(first, second));
        const form = buildRender(Form({ onSubmit: () => {} }, Form.TextField({ id: 'name', title: 'Name' }),
          Form.Checkbox({ id: 'ok', label: 'Agree' }), Form.Dropdown({ id: 'c', value: 'r' }, Form.Dropdown.Item({ value: 'r', title: 'Red' })))).model.body[0];
        log(form.items.map((i) => i.kind + ':' + i.nodeId + ':' + i.path), form.items[1].checkboxTitle, form.items[2].menu, form.onSubmit);
        try { buildRender(List({}, Form.Separator())); } catch (e) { log(e.message); }
    )"));
    EXPECT_EQ(lines, (QStringList{
                         QStringLiteral("commandView  true listView /body/0 listView-0.onSearchTextChange"),
                         QStringLiteral("listViewItem Banana /body/0/sections/0/items/1 k Banana.actions.0.0.onAction"),
                         QStringLiteral("[{\"op\":\"replace\",\"path\":\"/body/0/sections/0/items/1/nodeId\",\"value\":\"Cherry\"},"
                                        "{\"op\":\"replace\",\"path\":\"/body/0/sections/0/items/1/title\",\"value\":\"Cherry\"},"
                                        "{\"op\":\"replace\",\"path\":\"/body/0/sections/0/items/1/actions/sections/0/items/0/onAction\","
                                        "\"value\":\"Cherry.actions.0.0.onAction\"}]"),
                         QStringLiteral("[\"formViewTextField:name:/body/0/items/0\",\"formViewCheckbox:ok:/body/0/items/1\","
                                        "\"formViewDropdown:c:/body/0/items/2\"] Agree c.menu formView-0.onSubmit"),
                         QStringLiteral("a List holds List.Section and List.Item"),
                     }));
}

}  // namespace
