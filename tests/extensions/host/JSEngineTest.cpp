// The engine on the real JavaScriptCore: host functions, calls both ways,
// results, exceptions with their translation, callbacks and ending scripts
// that never return.
#include "extensions/host/JSEngine.h"
#include "extensions/host/JSEngines.h"

#include "support/CapturingLogHandler.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QFile>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>

using vantrel::Result;
using vantrel::extensions::CommandScripts;
using vantrel::extensions::JSEngine;
using vantrel::extensions::JSEngines;
using vantrel::extensions::JSException;

namespace {

QString apiScript() {
    QFile file(QStringLiteral(VANTREL_SOURCE_DIR "/resources/api/index.js"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return QString::fromUtf8(file.readAll());
}

QString fixture(const QString& name) {
    QFile file(QStringLiteral(VANTREL_SOURCE_DIR "/tests/fixtures/extensions/sourcemaps/") + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return QString::fromUtf8(file.readAll());
}

// Calls global[object][function] on the js thread and waits for its answer.
Result<QJsonValue> callAndWait(JSEngine& engine, const QString& object, const QString& function, const QJsonArray& arguments = {}) {
    auto promise = std::make_shared<std::promise<Result<QJsonValue>>>();
    auto future = promise->get_future();
    engine.async([&engine, promise, object, function, arguments] {
        engine.call(object, function, arguments, [promise](Result<QJsonValue> result) { promise->set_value(std::move(result)); });
    });
    if (future.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        return vantrel::VantrelError(QStringLiteral("no answer"));
    }
    return future.get();
}

void evaluate(JSEngine& engine, const QString& script, const QString& url = QStringLiteral("file:///test.js")) {
    engine.sync([&] {
        engine.installHostFunctions();
        ASSERT_TRUE(engine.evaluate(script, url, false).isSuccess());
    });
}

struct Exceptions {
    std::mutex mutex;
    std::vector<JSException> list;
    void add(const JSException& exception) {
        std::lock_guard lock(mutex);
        list.push_back(exception);
    }
    std::size_t size() {
        std::lock_guard lock(mutex);
        return list.size();
    }
    JSException at(std::size_t index) {
        std::lock_guard lock(mutex);
        return list.at(index);
    }
};

}  // namespace

TEST(JSEngineHostFunctions, requireGivesTheApiObjectForItsNameAndUndefinedOtherwise) {
    auto engine = JSEngine::create(QStringLiteral("require"));
    evaluate(*engine, QStringLiteral(
        "var Vantrel = { marker: 42 };"
        "var T = { check: function (done) { done({ success: true, value: ["
        "  require('vantrel-commands').marker, typeof require('fs'), typeof require()] }); } };"));
    const auto result = callAndWait(*engine, QStringLiteral("T"), QStringLiteral("check"));
    ASSERT_TRUE(result.isSuccess()) << result.error().errorDescription().toStdString();
    EXPECT_EQ(result.value().toArray(), (QJsonArray{42, QStringLiteral("undefined"), QStringLiteral("undefined")}));
}

TEST(JSEngineHostFunctions, anApiCallIsAnsweredThroughItsCompletionAndItsPromise) {
    auto engine = JSEngine::create(QStringLiteral("api"));
    std::mutex mutex;
    std::vector<JSEngine::APICall> calls;
    engine->setAPIHandler([&](JSEngine::APICall call, auto reply) {
        {
            std::lock_guard lock(mutex);
            calls.push_back(call);
        }
        // Answered from another thread, as the host does.
        std::thread([reply, method = call.method] {
            if (method == QLatin1String("ping")) {
                reply(QJsonValue(QStringLiteral("pong")));
            } else {
                reply(vantrel::VantrelError(QStringLiteral("Unknown methodName: ") + method));
            }
        }).detach();
    });
    evaluate(*engine, apiScript(), QStringLiteral("file:///api/index.js"));
    evaluate(*engine, QStringLiteral(
        "var T = { run: function (done) {"
        "  var api = require('vantrel-commands');"
        "  Promise.all([api.debug.ping(), api.call('debug', 'nope', { a: [1, 'x'] }).catch(function (e) { return e.message; })])"
        "    .then(function (v) { done({ success: true, value: v }); });"
        "} };"));
    const auto result = callAndWait(*engine, QStringLiteral("T"), QStringLiteral("run"));
    ASSERT_TRUE(result.isSuccess()) << result.error().errorDescription().toStdString();
    EXPECT_EQ(result.value().toArray(), (QJsonArray{QStringLiteral("pong"), QStringLiteral("Unknown methodName: nope")}));
    std::lock_guard lock(mutex);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].nameSpace, QStringLiteral("debug"));
    EXPECT_EQ(calls[1].arguments, (QJsonObject{{QStringLiteral("a"), QJsonArray{1, QStringLiteral("x")}}}));
    EXPECT_FALSE(calls[0].callback.has_value());
}

TEST(JSEngineHostFunctions, withoutAnApiHandlerACallFailsWithInvalidVantrelApi) {
    auto engine = JSEngine::create(QStringLiteral("no handler"));
    evaluate(*engine, apiScript());
    evaluate(*engine, QStringLiteral(
        "var T = { run: function (done) { Vantrel.debug.ping().catch(function (e) { done({ success: true, value: e.message }); }); } };"));
    EXPECT_EQ(callAndWait(*engine, QStringLiteral("T"), QStringLiteral("run")).value(), QJsonValue(QStringLiteral("Invalid Vantrel API")));
}

TEST(JSEngineCalls, theResultObjectDecidesSuccessOrFailure) {
    auto engine = JSEngine::create(QStringLiteral("results"));
    evaluate(*engine, QStringLiteral(
        "var T = {"
        "  ok: function (done) { done({ success: true, value: { n: 1 } }); },"
        "  noValue: function (done) { done({ success: true }); },"
        "  failed: function (done) { done({ success: false, error: 'It broke' }); },"
        "  number: function (done) { done(5); },"
        "  noSuccess: function (done) { done({ value: 1 }); },"
        "  twice: function (done) { done({ success: true, value: 1 }); done({ success: true, value: 2 }); },"
        "  echo: function (a, b, done) { done({ success: true, value: [a, b] }); }"
        "};"));
    EXPECT_EQ(callAndWait(*engine, QStringLiteral("T"), QStringLiteral("ok")).value(), QJsonValue(QJsonObject{{QStringLiteral("n"), 1}}));
    EXPECT_TRUE(callAndWait(*engine, QStringLiteral("T"), QStringLiteral("noValue")).value().isUndefined());
    EXPECT_EQ(callAndWait(*engine, QStringLiteral("T"), QStringLiteral("failed")).error().errorDescription(), QStringLiteral("It broke"));
    EXPECT_EQ(callAndWait(*engine, QStringLiteral("T"), QStringLiteral("number")).error().errorDescription(),
              QStringLiteral("Invalid result object"));
    EXPECT_EQ(callAndWait(*engine, QStringLiteral("T"), QStringLiteral("noSuccess")).error().errorDescription(),
              QStringLiteral("Invalid result object"));
    EXPECT_EQ(callAndWait(*engine, QStringLiteral("T"), QStringLiteral("twice")).value(), QJsonValue(1));
    EXPECT_EQ(callAndWait(*engine, QStringLiteral("T"), QStringLiteral("echo"), {QStringLiteral("a"), QJsonObject{}}).value(),
              QJsonValue(QJsonArray{QStringLiteral("a"), QJsonObject{}}));
}

TEST(JSEngineExceptions, aMissingFunctionOrAThrowReachesTheHandlerAndNotTheCompletion) {
    auto engine = JSEngine::create(QStringLiteral("throws"));
    Exceptions exceptions;
    engine->setExceptionHandler([&](const JSException& e) { exceptions.add(e); });
    evaluate(*engine, QStringLiteral("var T = {\n  boom: function (done) {\n    throw new RangeError('Too far');\n  }\n};"));
    std::atomic_bool completed{false};
    engine->async([&] { engine->call(QStringLiteral("T"), QStringLiteral("boom"), {}, [&](auto) { completed = true; }); });
    engine->async([&] { engine->call(QStringLiteral("T"), QStringLiteral("absent"), {}, [&](auto) { completed = true; }); });
    engine->sync([] {});
    ASSERT_EQ(exceptions.size(), 2u);
    const JSException thrown = exceptions.at(0);
    EXPECT_EQ(thrown.name, QStringLiteral("RangeError"));
    EXPECT_EQ(thrown.message, QStringLiteral("Too far"));
    ASSERT_TRUE(thrown.location.has_value());
    EXPECT_EQ(thrown.location->source, QStringLiteral("file:///test.js"));
    EXPECT_EQ(thrown.location->line, 3);
    // JavaScriptCore places a constructor call's error at the end of the
    // callee, the opening parenthesis (columns counted from 0 here).
    EXPECT_EQ(thrown.location->column, 24);
    EXPECT_EQ(exceptions.at(1).message, QStringLiteral("T.absent is not a function"));
    EXPECT_FALSE(completed.load());
}

TEST(JSEngineExceptions, aThrownValueThatIsNoObjectIsLoggedAndNotReported) {
    vantrel::test::ScopedLogCapture logs;
    auto engine = JSEngine::create(QStringLiteral("string"));
    Exceptions exceptions;
    engine->setExceptionHandler([&](const JSException& e) { exceptions.add(e); });
    evaluate(*engine, QStringLiteral("var T = { boom: function () { throw 'just text'; } };"));
    engine->sync([&] { engine->call(QStringLiteral("T"), QStringLiteral("boom"), {}, [](auto) {}); });
    EXPECT_EQ(exceptions.size(), 0u);
    EXPECT_TRUE(logs->contains(QStringLiteral("Invalid JavaScript Exception: just text")));
    // The context stays usable.
    evaluate(*engine, QStringLiteral("var U = { ok: function (done) { done({ success: true, value: 'still here' }); } };"));
    EXPECT_EQ(callAndWait(*engine, QStringLiteral("U"), QStringLiteral("ok")).value(), QJsonValue(QStringLiteral("still here")));
}

TEST(JSEngineExceptions, anExceptionInAMappedScriptIsReportedAtItsTypeScriptLine) {
    // esbuild-bundle.js is src/command.ts bundled; with vars.mode "throw" it
    // throws the TypeError of check(): command.ts line 15, where the mapping
    // of `TypeError` (column 14) covers the place JavaScriptCore reports.
    JSEngines engines;
    Exceptions exceptions;
    std::promise<Result<bool>> loaded;
    const QJsonObject environment{{QStringLiteral("vars"), QJsonObject{{QStringLiteral("mode"), QStringLiteral("throw")}}}};
    engines.initJSEnvironment(QStringLiteral("demo__command"), QStringLiteral("command"), environment,
                              CommandScripts{apiScript(), QStringLiteral("file:///api/index.js"), fixture(QStringLiteral("esbuild-bundle.js")),
                                             QStringLiteral("file:///demo/command.js")},
                              [](auto, auto reply) { reply(QJsonValue()); }, [&](const JSException& e) { exceptions.add(e); },
                              [&](Result<bool> result) { loaded.set_value(std::move(result)); });
    auto future = loaded.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const auto result = future.get();
    ASSERT_TRUE(result.isFailure());
    EXPECT_EQ(result.error().errorDescription(), QStringLiteral("The table is empty"));
    ASSERT_EQ(exceptions.size(), 1u);
    const JSException exception = exceptions.at(0);
    EXPECT_EQ(exception.name, QStringLiteral("TypeError"));
    ASSERT_TRUE(exception.location.has_value());
    EXPECT_EQ(exception.location->source, QStringLiteral("../src/command.ts"));
    EXPECT_EQ(exception.location->line, 15);
    EXPECT_EQ(exception.location->column, 14);
    EXPECT_EQ(engines.count(), 0u) << "a failed command leaves no engine behind";
}

TEST(JSEngineEnvironment, aCommandThatFinishesCompletesTheLoadAndKeepsItsEngine) {
    JSEngines engines;
    std::promise<Result<bool>> loaded;
    engines.initJSEnvironment(QStringLiteral("demo__command"), QStringLiteral("command"), QJsonObject{},
                              CommandScripts{apiScript(), QStringLiteral("file:///api/index.js"), fixture(QStringLiteral("esbuild-bundle.js")),
                                             QStringLiteral("file:///demo/command.js")},
                              [](auto, auto reply) { reply(QJsonValue()); }, [](const JSException&) {},
                              [&](Result<bool> result) { loaded.set_value(std::move(result)); });
    auto future = loaded.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const auto result = future.get();
    EXPECT_TRUE(result.isSuccess()) << result.error().errorDescription().toStdString();
    EXPECT_NE(engines.engine(QStringLiteral("demo__command")), nullptr);
    engines.unload(QStringLiteral("demo__command"));
    EXPECT_EQ(engines.count(), 0u);
}

TEST(JSEngineEnvironment, aScriptWithoutACommandFunctionFailsTheLoad) {
    JSEngines engines;
    std::promise<Result<bool>> loaded;
    engines.initJSEnvironment(QStringLiteral("demo__nothing"), QStringLiteral("nothing"), QJsonObject{},
                              CommandScripts{apiScript(), QStringLiteral("file:///api/index.js"), QStringLiteral("var x = 1;"),
                                             QStringLiteral("file:///demo/nothing.js")},
                              [](auto, auto reply) { reply(QJsonValue()); }, [](const JSException&) {},
                              [&](Result<bool> result) { loaded.set_value(std::move(result)); });
    auto future = loaded.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(future.get().error().errorDescription(), QStringLiteral("The command script exports no function"));
}

TEST(JSEngineCallbacks, aStoredCallbackReceivesEventsAndAnswersWhenAsked) {
    auto engine = JSEngine::create(QStringLiteral("callbacks"));
    std::promise<JSEngine::CallbackHandle> registered;
    engine->setAPIHandler([&](JSEngine::APICall call, auto reply) {
        registered.set_value(*call.callback);
        reply(QJsonValue());
    });
    evaluate(*engine, QStringLiteral(
        "var seen = [];"
        "__VantrelAPI__('app', 'setTimeout', {}, function (r) {"
        "  if (!r.success) { seen.push('error:' + r.error); return; }"
        "  seen.push(r.value.type + ':' + JSON.stringify(r.value.data));"
        "  if (r.value.completion) r.value.completion({ success: true, value: seen.length });"
        "}, {}, function () {});"
        "var T = { seen: function (done) { done({ success: true, value: seen }); } };"));
    auto future = registered.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    const auto handle = future.get();
    std::promise<Result<QJsonValue>> first;
    std::promise<Result<QJsonValue>> second;
    std::promise<Result<QJsonValue>> third;
    engine->async([&] {
        engine->callback(handle, QStringLiteral("timeout"), QJsonValue(), std::nullopt, false, [&](auto r) { first.set_value(r); });
        engine->callback(handle, QStringLiteral("menu"), QJsonObject{{QStringLiteral("q"), 1}}, std::nullopt, true,
                         [&](auto r) { second.set_value(r); });
        engine->callback(handle, QStringLiteral("x"), QJsonValue(), QStringLiteral("HTTP error"), false, [&](auto r) { third.set_value(r); });
    });
    EXPECT_TRUE(first.get_future().get().value().isNull());
    EXPECT_EQ(second.get_future().get().value(), QJsonValue(2));
    EXPECT_TRUE(third.get_future().get().isSuccess());
    EXPECT_EQ(callAndWait(*engine, QStringLiteral("T"), QStringLiteral("seen")).value(),
              QJsonValue(QJsonArray{QStringLiteral("timeout:null"), QStringLiteral("menu:{\"q\":1}"), QStringLiteral("error:HTTP error")}));
    // Released, the handle answers nothing.
    std::promise<Result<QJsonValue>> after;
    engine->async([&] {
        engine->releaseCallback(handle);
        engine->callback(handle, QStringLiteral("timeout"), QJsonValue(), std::nullopt, false, [&](auto r) { after.set_value(r); });
    });
    EXPECT_TRUE(after.get_future().get().value().isNull());
}

TEST(JSEngineTermination, aScriptThatNeverReturnsEndsWhenTerminated) {
    auto engine = JSEngine::create(QStringLiteral("loop"));
    evaluate(*engine, QStringLiteral("var T = { spin: function () { for (;;) {} } };"));
    std::atomic_bool started{false};
    std::atomic_bool returned{false};
    engine->async([&] {
        started = true;
        engine->call(QStringLiteral("T"), QStringLiteral("spin"), {}, [](auto) {});
        returned = true;
    });
    ASSERT_TRUE(vantrel::test::waitUntil([&] { return started.load(); }));
    EXPECT_FALSE(returned.load());
    engine->terminate();
    EXPECT_TRUE(vantrel::test::waitUntil([&] { return returned.load(); }, 5000));
    engine.reset();  // the context ends cleanly afterwards
}
