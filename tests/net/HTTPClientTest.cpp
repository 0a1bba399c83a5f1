#include "net/HTTPClient.h"
#include "net/MultipartFormData.h"
#include "NetTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

QJsonObject jsonOf(const QByteArray& body) { return QJsonDocument::fromJson(body).object(); }

// MARK: Parameter encodings

TEST(HTTPRequestEncoding, QueryStringParametersBecomeQueryItemsAndArraysRepeatTheName) {
    HTTPRequest request(QUrl("http://127.0.0.1/search?fixed=1"), HTTPMethod::get, {},
                        QJsonObject{{"q", "a b&c"}, {"page", 2}, {"draft", false}, {"label", QJsonArray{"x", "y"}}});
    const auto encoded = encodeHTTPRequest(request);
    ASSERT_TRUE(encoded.isSuccess());
    const QUrlQuery query(encoded.value().url);
    EXPECT_EQ(query.queryItemValue("fixed"), "1");
    EXPECT_EQ(query.queryItemValue("q", QUrl::FullyDecoded), "a b&c");
    EXPECT_EQ(query.queryItemValue("page"), "2");
    EXPECT_EQ(query.queryItemValue("draft"), "false");
    EXPECT_EQ(query.allQueryItemValues("label"), QStringList({"x", "y"}));
    EXPECT_TRUE(encoded.value().body.isEmpty());
}

TEST(HTTPRequestEncoding, NestedObjectsCannotGoIntoAQueryString) {
    HTTPRequest request(QUrl("http://127.0.0.1/"), HTTPMethod::get, {}, QJsonObject{{"filter", QJsonObject{{"a", 1}}}});
    const auto encoded = encodeHTTPRequest(request);
    ASSERT_TRUE(encoded.isFailure());
    EXPECT_EQ(encoded.error().errorDescription(), R"(Invalid API parameters: {"filter":{"a":1}})");
}

TEST(HTTPRequestEncoding, JsonBodyCarriesTheParametersAndItsContentType) {
    HTTPRequest request(QUrl("http://127.0.0.1/graphql"), HTTPMethod::postGraphQL, {},
                        QJsonObject{{"query", "{ viewer { login } }"}, {"variables", QJsonObject{{"n", 3}}}},
                        HTTPParameterEncoding::jsonHTTPBody());
    const auto encoded = encodeHTTPRequest(request);
    ASSERT_TRUE(encoded.isSuccess());
    EXPECT_EQ(encoded.value().verb, "POST");
    EXPECT_EQ(jsonOf(encoded.value().body).value("variables").toObject().value("n").toInt(), 3);
    EXPECT_EQ(HTTPRequest(QUrl(), HTTPMethod::get, encoded.value().headers).header("content-type"),
              QByteArray("application/json"));
}

TEST(HTTPRequestEncoding, MultipartParametersWithNestedValuesAreRefused) {
    HTTPRequest request(QUrl("http://127.0.0.1/upload"), HTTPMethod::post, {}, QJsonObject{{"meta", QJsonArray{QJsonObject{}}}},
                        HTTPParameterEncoding::multipartFormData(std::make_shared<MultipartFormData>()));
    const auto encoded = encodeHTTPRequest(request);
    ASSERT_TRUE(encoded.isFailure());
    EXPECT_TRUE(encoded.error().errorDescription().startsWith("Invalid multipart/form-data parameters: "));
}

TEST(MultipartFormDataBody, BoundaryIsRandomAndShapedAsTheFormatSays) {
    const QRegularExpression shape("^vantrel\\.boundary\\.[0-9a-f]{16}$");
    MultipartFormData first;
    MultipartFormData second;
    EXPECT_TRUE(shape.match(first.boundary()).hasMatch()) << first.boundary().toStdString();
    EXPECT_NE(first.boundary(), second.boundary());
    EXPECT_EQ(first.contentType(), "multipart/form-data; boundary=" + first.boundary().toUtf8());
}

TEST(MultipartFormDataBody, ATextAndAFilePartAreFramedByTheBoundary) {
    QTemporaryDir dir;
    const QString path = writeTestFile(dir.filePath("notes.txt"), QByteArray(5000, 'n'));
    MultipartFormData form(QStringLiteral("vantrel.boundary.0000000100000002"));
    form.append(QByteArray("hello"), "greeting");
    form.append(QUrl::fromLocalFile(path), "file");
    form.streamBufferSize = 7;  // many small chunks
    const QString out = dir.filePath("body");
    form.writeEncodedData(out);
    const QByteArray body = readTestFile(out);
    const QByteArray boundary = "vantrel.boundary.0000000100000002";
    EXPECT_TRUE(body.startsWith("--" + boundary + "\r\n"));
    EXPECT_TRUE(body.endsWith("--" + boundary + "--"));
    EXPECT_TRUE(body.contains("Content-Disposition: form-data; name=\"greeting\"\r\n\r\nhello\r\n--" + boundary));
    EXPECT_TRUE(body.contains("Content-Disposition: form-data; name=\"file\"; filename=\"notes.txt\"\r\n"
                              "Content-Type: text/plain\r\n\r\n" + QByteArray(5000, 'n') + "\r\n--" + boundary + "--"));
    EXPECT_EQ(body.size(), form.contentLength());
    EXPECT_EQ(body, form.encode());
}

TEST(MultipartFormDataBody, AFileWithoutAKnownTypeIsOctetStream) {
    MultipartFormData form(QStringLiteral("b"));
    form.append(QByteArray("\x01\x02"), "blob", QStringLiteral("blob.bin"));
    EXPECT_TRUE(form.encode().contains("filename=\"blob.bin\"\r\nContent-Type: application/octet-stream\r\n"));
}

TEST(MultipartFormDataBody, AppendFailuresAreKeptAndTheFirstOneWins) {
    QTemporaryDir dir;
    MultipartFormData form;
    form.append(QUrl("https://example.invalid/file.txt"), "remote");
    form.append(QUrl::fromLocalFile(dir.filePath("missing.txt")), "missing");
    ASSERT_TRUE(form.bodyPartError().has_value());
    EXPECT_EQ(form.bodyPartError()->errorDescription(),
              "Mulipart encoding failed, reason: The URL provided is not a file URL: https://example.invalid/file.txt");
    EXPECT_THROW(form.writeEncodedData(dir.filePath("out")), VantrelError);
    EXPECT_FALSE(QFile::exists(dir.filePath("out")));
}

TEST(MultipartFormDataBody, MissingFilesAndFoldersAreNamedInTheFailure) {
    QTemporaryDir dir;
    MultipartFormData missing;
    missing.append(QUrl::fromLocalFile(dir.filePath("gone.txt")), "file");
    EXPECT_TRUE(missing.bodyPartError()->errorDescription().contains("The URL provided is not reachable: "));
    MultipartFormData folder;
    folder.append(QUrl::fromLocalFile(dir.path()), "file");
    EXPECT_TRUE(folder.bodyPartError()->errorDescription().contains("The URL provided is a directory: "));
}

TEST(MultipartFormDataBody, AnExistingOutputFileIsNotOverwritten) {
    QTemporaryDir dir;
    const QString out = writeTestFile(dir.filePath("taken"), "keep");
    MultipartFormData form;
    form.append(QByteArray("x"), "x");
    try {
        form.writeEncodedData(out);
        FAIL() << "wrote over an existing file";
    } catch (const VantrelError& error) {
        EXPECT_TRUE(error.errorDescription().contains("A file already exists at the provided URL: "));
    }
    EXPECT_EQ(readTestFile(out), "keep");
}

// MARK: Requests against a local server

using HTTPClientRequests = NetTest;

TEST_F(HTTPClientRequests, AGetAnswersTheBodyAndTheTraceSeesIt) {
    server.reply("/user", {200, R"({"login":"ada"})"});
    std::vector<QString> traced;
    client->setTrace([&](const HTTPRequest& request, const std::optional<HTTPResponseInfo>& response,
                         const std::optional<HTTPError>& error) {
        traced.push_back(request.url.path() + " " + QString::number(response ? response->statusCode : -1) +
                         (error ? " error" : ""));
    });
    const auto answer = runOnce(HTTPRequest(server.url("/user"), HTTPMethod::get, {HTTPHeader::authorization("t0k")}));
    ASSERT_TRUE(answer.isNetwork());
    EXPECT_EQ(jsonOf(*answer.value).value("login").toString(), "ada");
    EXPECT_EQ(server.requestsTo("/user").at(0).header("Authorization"), "Bearer t0k");
    EXPECT_EQ(traced, std::vector<QString>{"/user 200"});
}

TEST_F(HTTPClientRequests, JsonAndFormBodiesArriveAsSent) {
    server.reply("/items", {201, R"({"id":7})"});
    const auto created = runOnce(HTTPRequest(server.url("/items"), HTTPMethod::post, {}, QJsonObject{{"title", "Fix it"}},
                                             HTTPParameterEncoding::jsonHTTPBody()));
    ASSERT_TRUE(created.isNetwork());
    EXPECT_EQ(created.response.statusCode, 201);
    const auto sent = server.requestsTo("/items").at(0);
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.header("content-type"), "application/json");
    EXPECT_EQ(jsonOf(sent.body).value("title").toString(), "Fix it");

    server.reply("/form", {200, "{}"});
    runOnce(HTTPRequest(server.url("/form"), HTTPMethod::patch, {}, QJsonObject{{"a", "x y"}, {"b", "1+1"}},
                        HTTPParameterEncoding::formURLEncoded()));
    const auto form = server.requestsTo("/form").at(0);
    EXPECT_EQ(form.method, "PATCH");
    EXPECT_EQ(form.form().queryItemValue("a", QUrl::FullyDecoded), "x y");
    EXPECT_EQ(form.form().queryItemValue("b", QUrl::FullyDecoded), "1+1");
}

TEST_F(HTTPClientRequests, NoContentIsASuccessWithAnEmptyBody) {
    server.reply("/star", {204, {}, {}});
    const auto answer = runOnce(HTTPRequest(server.url("/star"), HTTPMethod::put));
    ASSERT_TRUE(answer.isNetwork());
    EXPECT_EQ(answer.response.statusCode, 204);
    const auto decoded = HTTPClient::decodeResponse<QJsonDocument>(answer, decodeJSONDocument);
    ASSERT_TRUE(decoded.isNetwork());
    EXPECT_TRUE(decoded.value->isNull());
}

TEST_F(HTTPClientRequests, UnauthorizedIsItsOwnKindWithTheServersMessage) {
    server.reply("/user", {401, R"({"message":"Bad credentials"})"});
    const auto answer = runOnce(HTTPRequest(server.url("/user")));
    ASSERT_TRUE(answer.isFailure());
    EXPECT_EQ(answer.error->kind, HTTPError::Kind::unauthorized);
    EXPECT_TRUE(answer.error->isUnauthorized());
    EXPECT_EQ(answer.error->message, "Request failed with status 401: Bad credentials");
}

TEST_F(HTTPClientRequests, AServerErrorWithAnHtmlPageNeverShowsTheHtml) {
    server.reply("/boom", {500, "<html><body><h1>Internal Server Error</h1></body></html>", {{"Content-Type", "text/html"}}});
    const auto answer = runOnce(HTTPRequest(server.url("/boom")));
    ASSERT_TRUE(answer.isFailure());
    EXPECT_EQ(answer.error->kind, HTTPError::Kind::status);
    EXPECT_EQ(answer.error->statusCode, 500);
    EXPECT_EQ(answer.error->message, "Request failed with status 500");
    EXPECT_TRUE(answer.error->body.contains("<h1>"));
}

TEST_F(HTTPClientRequests, JsonCutShortFailsToDecode) {
    server.reply("/list", {200, R"({"items":[{"id":1},{"id")"});
    const auto answer = HTTPClient::decodeResponse<QJsonDocument>(runOnce(HTTPRequest(server.url("/list"))),
                                                                  decodeJSONDocument);
    ASSERT_TRUE(answer.isFailure());
    EXPECT_EQ(answer.error->kind, HTTPError::Kind::decoding);
    EXPECT_TRUE(answer.error->message.startsWith("Cannot decode JSON: "));
}

TEST_F(HTTPClientRequests, ABodyShorterThanItsLengthIsAFailure) {
    TestHttpServer::Response cut{200, R"({"items":[1,2,3,4,5,6,7,8,9,10]})"};
    cut.truncated = true;
    server.reply("/list", cut);
    const auto answer = runOnce(HTTPRequest(server.url("/list")));
    ASSERT_TRUE(answer.isFailure());
    EXPECT_EQ(answer.error->kind, HTTPError::Kind::transport);
}

TEST_F(HTTPClientRequests, ARefusedConnectionSaysSo) {
    QTcpServer reserved;
    ASSERT_TRUE(reserved.listen(QHostAddress::LocalHost, 0));
    const quint16 port = reserved.serverPort();
    reserved.close();  // nothing listens there any more
    const auto answer = runOnce(HTTPRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port))));
    ASSERT_TRUE(answer.isFailure());
    EXPECT_EQ(answer.error->kind, HTTPError::Kind::transport);
    EXPECT_EQ(answer.error->message, "Could not connect to the server: '127.0.0.1' refused the connection");
}

TEST_F(HTTPClientRequests, AnUnknownHostSaysItCannotBeFound) {
    const auto answer = runOnce(HTTPRequest(QUrl("http://api.vantrel-test.invalid/user")));
    ASSERT_TRUE(answer.isFailure());
    EXPECT_EQ(answer.error->kind, HTTPError::Kind::transport);
    EXPECT_EQ(answer.error->message, "Could not find the server: 'api.vantrel-test.invalid'");
}

TEST_F(HTTPClientRequests, ASelfSignedCertificateIsRefused) {
    // A real TLS server: openssl's own, with a certificate made just now.
    QTemporaryDir dir;
    QProcess make;
    make.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1",
                           "-keyout", dir.filePath("key.pem"), "-out", dir.filePath("cert.pem")});
    ASSERT_TRUE(make.waitForFinished(60000));
    ASSERT_EQ(make.exitCode(), 0) << make.readAllStandardError().toStdString();
    QTcpServer reserved;
    ASSERT_TRUE(reserved.listen(QHostAddress::LocalHost, 0));
    const quint16 port = reserved.serverPort();
    reserved.close();
    QProcess tls;
    tls.start("openssl", {"s_server", "-quiet", "-www", "-accept", QString::number(port), "-cert", dir.filePath("cert.pem"),
                          "-key", dir.filePath("key.pem")});
    ASSERT_TRUE(tls.waitForStarted());
    ASSERT_TRUE(waitUntil([&] {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        return probe.waitForConnected(200);
    }, 20000));
    const auto answer = runOnce(HTTPRequest(QUrl(QStringLiteral("https://127.0.0.1:%1/").arg(port))));
    tls.kill();
    tls.waitForFinished();
    ASSERT_TRUE(answer.isFailure());
    EXPECT_EQ(answer.error->kind, HTTPError::Kind::transport);
    EXPECT_TRUE(answer.error->message.startsWith("Could not make a secure connection to '127.0.0.1': "))
        << answer.error->message.toStdString();
}

TEST_F(HTTPClientRequests, TooManyRequestsIsSentAgainAfterTheServersWait) {
    int calls = 0;
    server.on("/busy", [&](const TestHttpServer::Request&) {
        ++calls;
        if (calls == 1) return TestHttpServer::Response{429, R"({"message":"slow down"})", {{"Retry-After", "1"}}};
        return TestHttpServer::Response{200, R"({"ok":true})"};
    });
    const auto answer = runOnce(HTTPRequest(server.url("/busy")));
    ASSERT_TRUE(answer.isNetwork());
    EXPECT_EQ(server.count("/busy"), 2);
}

TEST_F(HTTPClientRequests, AForbiddenRateLimitWithAResetTooFarAwayFailsWithTheWait) {
    client->setMaximumRateLimitWaitSeconds(30);
    const QByteArray reset = QByteArray::number(QDateTime::currentSecsSinceEpoch() + 3600);
    server.reply("/repos", {403, R"({"message":"API rate limit exceeded"})",
                            {{"X-RateLimit-Remaining", "0"}, {"X-RateLimit-Reset", reset}}});
    const auto answer = runOnce(HTTPRequest(server.url("/repos")));
    ASSERT_TRUE(answer.isFailure());
    EXPECT_EQ(answer.error->kind, HTTPError::Kind::rateLimited);
    ASSERT_TRUE(answer.error->retryAfterSeconds.has_value());
    EXPECT_GT(*answer.error->retryAfterSeconds, 3500);
    EXPECT_TRUE(answer.error->message.startsWith("Rate limit reached: try again in "));
    EXPECT_EQ(server.count("/repos"), 1);
}

TEST_F(HTTPClientRequests, AForbiddenWithoutRateHeadersIsAnOrdinaryFailure) {
    server.reply("/secret", {403, R"({"message":"Must have admin rights"})"});
    const auto answer = runOnce(HTTPRequest(server.url("/secret")));
    ASSERT_TRUE(answer.isFailure());
    EXPECT_EQ(answer.error->kind, HTTPError::Kind::status);
    EXPECT_EQ(answer.error->message, "Request failed with status 403: Must have admin rights");
}

TEST_F(HTTPClientRequests, ACancelledTaskAnswersCancelledOnce) {
    server.reply("/slow", {200, "{}"});
    server.hold("/slow");
    std::vector<HTTPResponse<QByteArray>> answers;
    auto task = client->performRequest(HTTPRequest(server.url("/slow")), CachingPolicy::noCache(),
                                       [&](const HTTPResponse<QByteArray>& response) { answers.push_back(response); });
    ASSERT_TRUE(waitUntil([&] { return server.waitingCount("/slow") == 1; }));
    task.cancel();
    ASSERT_TRUE(waitUntil([&] { return !answers.empty(); }));
    server.release("/slow");
    EXPECT_TRUE(answers.at(0).isCancelled());
    EXPECT_TRUE(task.isFinished());
    QCoreApplication::processEvents();
    EXPECT_EQ(answers.size(), 1u);
}

TEST_F(HTTPClientRequests, AnUploadStreamsTheFileFromDiskAndLeavesNoTemporaryBody) {
    QTemporaryDir dir;
    QByteArray contents;
    for (int i = 0; i < 20000; ++i) contents += QByteArray::number(i) + ',';
    const QString path = writeTestFile(dir.filePath("data.csv"), contents);
    auto form = std::make_shared<MultipartFormData>();
    form->append(QUrl::fromLocalFile(path), "attachment");
    server.reply("/upload", {200, R"({"stored":true})"});
    const QStringList before = QDir::temp().entryList({"vantrel-upload-*"});
    bool done = false;
    HTTPResponse<QByteArray> answer;
    client->upload(HTTPRequest(server.url("/upload"), HTTPMethod::post, {}, QJsonObject{{"note", "weekly"}}), form,
                   [&](const HTTPResponse<QByteArray>& response) {
                       answer = response;
                       done = true;
                   });
    ASSERT_TRUE(waitUntil([&] { return done; }, 30000));
    ASSERT_TRUE(answer.isNetwork());
    const auto sent = server.requestsTo("/upload").at(0);
    EXPECT_EQ(sent.header("content-type"), form->contentType());
    EXPECT_TRUE(sent.body.contains("filename=\"data.csv\""));
    EXPECT_TRUE(sent.body.contains(contents));
    EXPECT_TRUE(sent.body.contains("name=\"note\"\r\n\r\nweekly"));
    EXPECT_EQ(QDir::temp().entryList({"vantrel-upload-*"}), before);
}

TEST(MultipartFormDataBody, AFileThatVanishedBeforeTheBodyIsWrittenIsNamed) {
    QTemporaryDir dir;
    const QString path = writeTestFile(dir.filePath("gone-soon.txt"), "x");
    MultipartFormData form;
    form.append(QUrl::fromLocalFile(path), "file");
    ASSERT_FALSE(form.bodyPartError().has_value());
    QFile::remove(path);
    try {
        form.writeEncodedData(dir.filePath("out"));
        FAIL() << "wrote a body without its file";
    } catch (const VantrelError& error) {
        EXPECT_EQ(error.errorDescription(), "Mulipart encoding failed, reason: Failed to create an InputStream for the "
                                            "provided URL: " + QUrl::fromLocalFile(path).toString());
    }
}

TEST_F(HTTPClientRequests, AnUploadWhoseBodyCannotBeWrittenFailsBeforeSending) {
    QTemporaryDir dir;
    // A temporary "folder" that is a file: nothing can be created in it.
    ScopedEnv tmp("TMPDIR", writeTestFile(dir.filePath("not-a-folder"), "x").toUtf8());
    auto form = std::make_shared<MultipartFormData>();
    form->append(QByteArray("x"), "x");
    server.reply("/upload", {200, "{}"});
    std::optional<HTTPResponse<QByteArray>> answer;
    client->upload(HTTPRequest(server.url("/upload")), form,
                   [&](const HTTPResponse<QByteArray>& response) { answer = response; });
    ASSERT_TRUE(waitUntil([&] { return answer.has_value(); }));
    ASSERT_TRUE(answer->isFailure());
    EXPECT_EQ(answer->error->message, "Cannot create HTTPUpload");
    EXPECT_EQ(server.count("/upload"), 0);
}

TEST_F(HTTPClientRequests, ADownloadTakesItsNameFromContentDispositionAndKeepsExistingFiles) {
    QTemporaryDir dir;
    server.reply("/files/42", {200, "PDFDATA", {{"Content-Type", "application/pdf"},
                                                {"Content-Disposition", "attachment; filename=\"report.pdf\""}}});
    std::optional<Result<HTTPClient::DownloadedFile>> result;
    client->download(HTTPRequest(server.url("/files/42")), HTTPClient::SaveLocation::at(QUrl::fromLocalFile(dir.filePath("a.pdf"))),
                     false, [&](const Result<HTTPClient::DownloadedFile>& downloaded) { result = downloaded; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    ASSERT_TRUE(result->isSuccess()) << result->error().errorDescription().toStdString();
    EXPECT_EQ(readTestFile(dir.filePath("a.pdf")), "PDFDATA");

    result.reset();
    client->download(HTTPRequest(server.url("/files/42")), HTTPClient::SaveLocation::at(QUrl::fromLocalFile(dir.filePath("a.pdf"))),
                     false, [&](const Result<HTTPClient::DownloadedFile>& downloaded) { result = downloaded; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    ASSERT_TRUE(result->isFailure());
    EXPECT_EQ(result->error().errorDescription(), "Cannot move downloaded file");

    ScopedEnv tmp("TMPDIR", dir.path().toUtf8());
    result.reset();
    client->download(HTTPRequest(server.url("/files/42")), HTTPClient::SaveLocation::temporaryDirectory(), true,
                     [&](const Result<HTTPClient::DownloadedFile>& downloaded) { result = downloaded; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    ASSERT_TRUE(result->isSuccess());
    EXPECT_EQ(result->value().fileName, "report.pdf");
}

TEST_F(HTTPClientRequests, ARequestWithoutAUsableURLFailsWithoutTouchingTheNetwork) {
    const auto answer = runOnce(HTTPRequest(QUrl("not a url")));
    ASSERT_TRUE(answer.isFailure());
    EXPECT_EQ(answer.error->message, "No URLRequest given");
}

}  // namespace
}  // namespace vantrel::test
