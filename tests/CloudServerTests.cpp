#include "CloudServerFixture.h"
#include "HandOverPage.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QThread>

TEST_P(CloudServerTest, EndpointsAnswerWithTheirStatusesErrorBodiesAndSecurityHeaders)
{
    Reply r = request("GET", QStringLiteral("/api/version"));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.json.value(QStringLiteral("version")).toString(), QStringLiteral("0.1.0"));
    EXPECT_TRUE(r.json.contains(QStringLiteral("downloadUrl")));
    EXPECT_EQ(r.headers.value("x-content-type-options"), "nosniff");
    EXPECT_EQ(r.headers.value("referrer-policy"), "no-referrer");
    EXPECT_TRUE(r.headers.value("content-security-policy").startsWith("default-src 'none'"));
    r = request("GET", QStringLiteral("/nothing/here"));
    EXPECT_EQ(r.status, 404);
    EXPECT_FALSE(r.json.value(QStringLiteral("error")).toString().isEmpty());
    EXPECT_EQ(request("DELETE", QStringLiteral("/api/native/me")).status, 405);
    EXPECT_EQ(request("GET", QStringLiteral("/api/native/me")).status, 401);
    r = request("GET", QStringLiteral("/api/native/me"), {}, QStringLiteral("made-up"));
    EXPECT_EQ(r.status, 401);
    EXPECT_FALSE(r.json.value(QStringLiteral("error")).toString().isEmpty());

    const QString token = addUserWithToken(QStringLiteral("Ann@Example.com"), QStringLiteral("laptop"));
    ASSERT_EQ(token.size(), 43); // 32 bytes, base64url without padding
    r = request("GET", QStringLiteral("/api/native/me"), {}, token);
    ASSERT_EQ(r.status, 200);
    const QJsonObject user = r.json.value(QStringLiteral("user")).toObject();
    EXPECT_EQ(user.value(QStringLiteral("email")).toString(), QStringLiteral("ann@example.com"));
    EXPECT_TRUE(user.value(QStringLiteral("photoURL")).isNull());
    EXPECT_TRUE(user.value(QStringLiteral("displayName")).isNull());
    EXPECT_FALSE(user.value(QStringLiteral("uid")).toString().isEmpty());

    // A second device; signing one out leaves the other signed in.
    const Run other = cloud({QStringLiteral("token"), QStringLiteral("issue"), QStringLiteral("ann@example.com"),
                             QStringLiteral("--device"), QStringLiteral("desktop")});
    const QString second = other.out.trimmed();
    EXPECT_EQ(request("POST", QStringLiteral("/api/native/sign-out"), {}, token).status, 204);
    EXPECT_EQ(request("GET", QStringLiteral("/api/native/me"), {}, token).status, 401);
    EXPECT_EQ(request("GET", QStringLiteral("/api/native/me"), {}, second).status, 200);
    const Run revoked = cloud({QStringLiteral("token"), QStringLiteral("revoke"), QStringLiteral("ann@example.com"),
                               QStringLiteral("--all")});
    EXPECT_TRUE(revoked.out.contains(QStringLiteral("Revoked 1"))) << revoked.out.toStdString();
    EXPECT_EQ(request("GET", QStringLiteral("/api/native/me"), {}, second).status, 401);

    // Nothing in the database gives a token or a password back.
    const QByteArray stored = storedBytes();
    ASSERT_FALSE(stored.isEmpty());
    EXPECT_FALSE(stored.contains(token.toLatin1()));
    EXPECT_FALSE(stored.contains(second.toLatin1()));
    EXPECT_FALSE(stored.contains("a good password"));
}

TEST_P(CloudServerTest, UploadsAreCheckedThenStoredAsRevisionsWithTheirBytesOnce)
{
    const QString token = addUserWithToken(QStringLiteral("bo@example.com"), QStringLiteral("laptop"));
    const QByteArray macro = MacroJsonEncoder::encodeMacro(TestMacros::small()).value();
    const QString source = QStringLiteral("3F2504E0-4F89-41D3-9A0C-0305E82C3301");

    Reply r = request("POST", QStringLiteral("/api/backups"), body(payloadFor(macro, source)), token);
    ASSERT_EQ(r.status, 200) << QJsonDocument(r.json).toJson().toStdString();
    const QJsonObject backup = r.json.value(QStringLiteral("backup")).toObject();
    EXPECT_EQ(backup.value(QStringLiteral("sourceMacroId")).toString(), source);
    EXPECT_EQ(backup.value(QStringLiteral("size")).toInt(), macro.size());
    EXPECT_TRUE(backup.value(QStringLiteral("createdAt")).toString().endsWith(QLatin1Char('Z')));
    for (const char* key : {"id", "name", "actionCount", "durationSeconds", "sha256", "macroVersion", "updatedAt"})
        EXPECT_TRUE(backup.contains(QLatin1String(key))) << key;
    r = request("POST", QStringLiteral("/api/backups"), body(payloadFor(macro, source)), token);
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(r.json.value(QStringLiteral("backup")).toObject().value(QStringLiteral("id")), backup.value(QStringLiteral("id")));

    // Each problem is a 400 that says what is wrong.
    auto rejected = [&](QJsonObject payload, const char* expected) {
        const Reply bad = request("POST", QStringLiteral("/api/backups"), body(payload), token);
        EXPECT_EQ(bad.status, 400) << expected;
        EXPECT_TRUE(bad.json.value(QStringLiteral("error")).toString().contains(QLatin1String(expected)))
            << bad.json.value(QStringLiteral("error")).toString().toStdString();
    };
    QJsonObject p = payloadFor(macro, source);
    p[QStringLiteral("size")] = double(macro.size() + 1);
    rejected(p, "\"size\"");
    p = payloadFor(macro, source);
    p[QStringLiteral("sha256")] = QString(64, QLatin1Char('0'));
    rejected(p, "\"sha256\"");
    p = payloadFor(macro, source);
    p[QStringLiteral("data")] = QStringLiteral("not*base64");
    rejected(p, "Base64");
    rejected(payloadFor("{\"hello\":1}", source), "not a macro");
    Macro v2 = TestMacros::small();
    v2.version = 2;
    QJsonObject newer = payloadFor(MacroJsonEncoder::encodeMacro(v2).value(), source);
    newer[QStringLiteral("macroVersion")] = 2;
    rejected(newer, "version 2");
    EXPECT_EQ(request("POST", QStringLiteral("/api/backups"), "[1,2]", token).status, 400);
    EXPECT_EQ(request("POST", QStringLiteral("/api/backups"), body(payloadFor(macro, source))).status, 401);

    // The same bytes twice are one revision; other bytes of the same macro another one,
    // their bytes each stored once.
    Macro changed = TestMacros::small();
    changed.actions.push_back(MacroAction::delay(7, 1));
    QThread::sleep(1); // a later second: these bytes are then surely the newest
    ASSERT_EQ(request("POST", QStringLiteral("/api/backups"),
                      body(payloadFor(MacroJsonEncoder::encodeMacro(changed).value(), source)), token).status, 200);
    ASSERT_EQ(request("POST", QStringLiteral("/api/backups"),
                      body(payloadFor(MacroJsonEncoder::encodeMacro(changed).value(), source)), token).status, 200);
    {
        QSqlDatabase db = inspector();
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("SELECT (SELECT COUNT(*) FROM revisions), (SELECT COUNT(*) FROM blobs), "
                                          "(SELECT COUNT(*) FROM backups)")) && q.next());
        EXPECT_EQ(q.value(0).toInt(), 2);
        EXPECT_EQ(q.value(1).toInt(), 2);
        EXPECT_EQ(q.value(2).toInt(), 1);
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("inspect"));

    // Over the limit: 413.
    stopServer();
    startServer({QStringLiteral("--max-body"), QStringLiteral("1000")});
    Macro large = TestMacros::small();
    for (int i = 0; i < 200; ++i)
        large.actions.push_back(MacroAction::keyDown(i, 0, 0));
    r = request("POST", QStringLiteral("/api/backups"), body(payloadFor(MacroJsonEncoder::encodeMacro(large).value(), source)), token);
    EXPECT_EQ(r.status, 413);
    EXPECT_FALSE(r.json.value(QStringLiteral("error")).toString().isEmpty());
}

TEST_P(CloudServerTest, TheApplicationListsAMacrosRevisionsAndFetchesOneByItsToken)
{
    const QString token = addUserWithToken(QStringLiteral("rue@example.com"), QStringLiteral("desk"));
    const QString other = addUserWithToken(QStringLiteral("sol@example.com"), QStringLiteral("desk"));
    const QString source = QStringLiteral("3F2504E0-4F89-41D3-9A0C-0305E82C3301");
    Macro first = TestMacros::small();
    const QByteArray older = MacroJsonEncoder::encodeMacro(first).value();
    first.actions.push_back(MacroAction::delay(9, 1));
    const QByteArray newer = MacroJsonEncoder::encodeMacro(first).value();
    ASSERT_EQ(request("POST", QStringLiteral("/api/backups"), body(payloadFor(older, source)), token).status, 200);
    QThread::sleep(1); // revisions are ordered by their whole-second times
    ASSERT_EQ(request("POST", QStringLiteral("/api/backups"), body(payloadFor(newer, source)), token).status, 200);
    ASSERT_EQ(request("POST", QStringLiteral("/api/backups"), body(payloadFor(older, QStringLiteral("B"))), other).status, 200);

    Reply r = request("GET", QStringLiteral("/api/backups"), {}, token);
    ASSERT_EQ(r.status, 200);
    const QJsonArray listed = r.json.value(QStringLiteral("backups")).toArray();
    ASSERT_EQ(listed.size(), 1); // the other account's is not listed
    EXPECT_EQ(listed[0].toObject().value(QStringLiteral("sourceMacroId")).toString(), source);
    EXPECT_EQ(listed[0].toObject().value(QStringLiteral("revisions")).toInt(), 2);

    r = request("GET", QStringLiteral("/api/macros/%1/revisions").arg(source), {}, token);
    ASSERT_EQ(r.status, 200);
    const QJsonArray revisions = r.json.value(QStringLiteral("revisions")).toArray();
    ASSERT_EQ(revisions.size(), 2);
    EXPECT_EQ(revisions[0].toObject().value(QStringLiteral("size")).toInt(), newer.size()); // newest first
    const QString newest = revisions[0].toObject().value(QStringLiteral("id")).toString();
    EXPECT_EQ(request("GET", QStringLiteral("/api/macros/%1/revisions").arg(source), {}, other)
                  .json.value(QStringLiteral("revisions")).toArray().size(), 0);

    r = request("GET", QStringLiteral("/api/revisions/") + newest, {}, token);
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(QByteArray::fromBase64(r.json.value(QStringLiteral("data")).toString().toLatin1()), newer);
    EXPECT_EQ(r.json.value(QStringLiteral("revision")).toObject().value(QStringLiteral("sourceMacroId")).toString(), source);
    // Not the account's, not an id, no token, the wrong method.
    EXPECT_EQ(request("GET", QStringLiteral("/api/revisions/") + newest, {}, other).status, 404);
    EXPECT_EQ(request("GET", QStringLiteral("/api/revisions/..%2Fbackups"), {}, token).status, 404);
    EXPECT_EQ(request("GET", QStringLiteral("/api/revisions/") + newest).status, 401);
    EXPECT_EQ(request("DELETE", QStringLiteral("/api/revisions/") + newest, {}, token).status, 405);
    EXPECT_EQ(request("PUT", QStringLiteral("/api/backups"), {}, token).status, 405);
}

TEST_P(CloudServerTest, PlainHttpOffLoopbackIsRefusedAndSigtermEndsCleanly)
{
    const Run refused = cloud({QStringLiteral("serve"), QStringLiteral("--listen"), QStringLiteral("0.0.0.0:18999")});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("--behind-proxy"))) << refused.err.toStdString();
    EXPECT_EQ(cloud({QStringLiteral("serve"), QStringLiteral("--listen"), QStringLiteral("nonsense")}).code, 2);
    EXPECT_EQ(cloud({QStringLiteral("user"), QStringLiteral("add"), QStringLiteral("not-an-address")}, "a good password\n").code, 1);
    EXPECT_EQ(cloud({QStringLiteral("user"), QStringLiteral("add"), QStringLiteral("c@example.com")}, "short\n").code, 1);

    ::kill(pid_t(server.processId()), SIGTERM);
    ASSERT_TRUE(server.waitForFinished(20000));
    EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server.exitCode(), 0);
    // The access log names method, path and status, never a query or a token.
    const QString log = QString::fromLocal8Bit(server.readAllStandardError());
    EXPECT_TRUE(log.contains(QStringLiteral("GET /healthz 200"))) << log.toStdString();
}

TEST_P(CloudServerTest, TheBrowserSignInEndsInTheQuilloLinkWithAWorkingToken)
{
    // A sign-in link names its state; without one it is an error page, not a redirect.
    EXPECT_EQ(request("GET", QStringLiteral("/auth/native?device=PC")).status, 400);
    EXPECT_EQ(request("GET", QStringLiteral("/auth/native?state=") + QString(600, QLatin1Char('x'))).status, 400);

    Reply r = request("GET", QStringLiteral("/signup"));
    ASSERT_EQ(r.status, 200);
    // Without the form's CSRF token nothing happens.
    EXPECT_EQ(post(QStringLiteral("/signup"), {{"email", "eve@example.com"}, {"password", "a good password"}}).status, 403);
    r = post(QStringLiteral("/signup"), {{"email", "dee@example.com"}, {"password", "a good password"},
                                          {"name", "Dee"}, {"csrf", csrfOf(r.text)}});
    ASSERT_EQ(r.status, 302) << r.text.toStdString();
    EXPECT_TRUE(r.headers.value("set-cookie").contains("HttpOnly"));
    EXPECT_TRUE(r.headers.value("set-cookie").contains("SameSite=Lax"));

    const QString state = QStringLiteral("n+1 &=/%");
    const QString link = QStringLiteral("/auth/native?state=%1&device=%2")
                             .arg(QString::fromLatin1(QUrl::toPercentEncoding(state)),
                                  QString::fromLatin1(QUrl::toPercentEncoding(QStringLiteral("Dee's <PC>"))));
    r = request("GET", link);
    ASSERT_EQ(r.status, 200);
    EXPECT_TRUE(r.text.contains(QStringLiteral("Continue as dee@example.com"))) << r.text.toStdString();
    EXPECT_TRUE(r.text.contains(QStringLiteral("Dee&#39;s &lt;PC&gt;")) || r.text.contains(QStringLiteral("Dee's &lt;PC&gt;")));
    EXPECT_EQ(request("GET", link).headers.value("location"), QByteArray()); // a GET never issues a token
    r = post(QStringLiteral("/auth/native"), {{"state", state}, {"device", "Dee's PC"}, {"csrf", csrfOf(r.text)}});
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(r.headers.value("cache-control"), QByteArray("no-store"));
    const QUrl target(handOverLink(r.text));
    // The page's own button leads to the same link (its "%2B" and the like untouched).
    EXPECT_TRUE(r.text.contains(QStringLiteral("href=\"") + handOverLink(r.text).replace(QLatin1Char('&'), QStringLiteral("&amp;")) +
                                QStringLiteral("\">Open Quillo<")));
    EXPECT_EQ(target.scheme(), QStringLiteral("quillo"));
    EXPECT_EQ(target.host(), QStringLiteral("auth"));
    const QUrlQuery items(target);
    EXPECT_EQ(items.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded), state);
    const QString token = items.queryItemValue(QStringLiteral("token"));
    r = request("GET", QStringLiteral("/api/native/me"), {}, token);
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(r.json.value(QStringLiteral("user")).toObject().value(QStringLiteral("displayName")).toString(), QStringLiteral("Dee"));

    // The dashboard lists the backup with its name escaped, serves the macro file and
    // revokes the device.
    Macro hostile = TestMacros::small();
    hostile.metadata.name = QStringLiteral("<script>alert(1)</script>");
    const QByteArray macro = MacroJsonEncoder::encodeMacro(hostile).value();
    QJsonObject payload = payloadFor(macro, QStringLiteral("A"));
    payload[QStringLiteral("name")] = hostile.metadata.name;
    ASSERT_EQ(request("POST", QStringLiteral("/api/backups"), body(payload), token).status, 200);
    r = request("GET", QStringLiteral("/dashboard"));
    ASSERT_EQ(r.status, 200);
    EXPECT_FALSE(r.text.contains(QStringLiteral("<script>")));
    EXPECT_TRUE(r.text.contains(QStringLiteral("&lt;script&gt;alert(1)&lt;/script&gt;")));
    EXPECT_TRUE(r.text.contains(QStringLiteral("href=\"quillo://restore?revision="))); // "Restore in Quillo"
    // Words and dates as people write them; one "Sign out" (the devices are revoked).
    EXPECT_TRUE(r.text.contains(QStringLiteral("1 revision \u00b7")));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("\\d{1,2} [A-Z][a-z]{2} \\d{4}, \\d\\d:\\d\\d UTC")).match(r.text).hasMatch());
    EXPECT_EQ(r.text.count(QStringLiteral(">Sign out<")), 1);
    const auto download = QRegularExpression(QStringLiteral("href=\"(/dashboard/revision/[^\"]+/download)\"")).match(r.text);
    ASSERT_TRUE(download.hasMatch());
    Reply file = request("GET", download.captured(1));
    EXPECT_EQ(file.status, 200);
    EXPECT_EQ(file.text.toUtf8(), macro);
    EXPECT_TRUE(file.headers.value("content-disposition").contains(".quillo"));
    const QString csrf = csrfOf(r.text);
    r = post(QStringLiteral("/dashboard/device/revoke"), {{"device", "Dee's PC"}, {"csrf", csrf}});
    EXPECT_EQ(r.status, 302);
    EXPECT_EQ(request("GET", QStringLiteral("/api/native/me"), {}, token).status, 401);
    EXPECT_TRUE(request("GET", QStringLiteral("/dashboard")).text.contains(QStringLiteral("No devices signed in.")));
    // Deleting the only revision removes the backup and its bytes.
    QString deletePath = download.captured(1);
    deletePath.replace(QStringLiteral("/download"), QStringLiteral("/delete"));
    EXPECT_EQ(post(deletePath, {{"csrf", csrf}}).status, 302);
    EXPECT_FALSE(request("GET", QStringLiteral("/dashboard")).text.contains(QStringLiteral("alert(1)")));
    EXPECT_EQ(request("GET", download.captured(1)).status, 404);

    // Web sessions are stored as digests only.
    const QByteArray stored = storedBytes();
    for (const QNetworkCookie& c : network.cookieJar()->cookiesForUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port))))
        if (c.name() == "quillo_session")
            EXPECT_FALSE(stored.contains(c.value()));
}

TEST_P(CloudServerTest, TheCodeOnTheHandOverPageIsWorthOneTokenOnceWithinTenMinutes)
{
    Reply r = request("GET", QStringLiteral("/signup"));
    r = post(QStringLiteral("/signup"), {{"email", "cy@example.com"}, {"password", "a good password"},
                                          {"csrf", csrfOf(r.text)}});
    ASSERT_EQ(r.status, 302);
    auto handOver = [&] {
        const QString link = QStringLiteral("/auth/native?state=s1&device=Cy%27s%20laptop");
        const Reply asked = request("GET", link);
        return post(QStringLiteral("/auth/native"),
                    {{"state", "s1"}, {"device", "Cy's laptop"}, {"csrf", csrfOf(asked.text)}}).text;
    };
    auto exchange = [&](const QByteArray& bodyBytes) { return request("POST", QStringLiteral("/api/native/code"), bodyBytes); };
    auto codeBody = [](const QString& code) { return body(QJsonObject{{QStringLiteral("code"), code}}); };

    const QString page = handOver();
    const QString code = handOverCode(page);
    ASSERT_TRUE(QRegularExpression(QStringLiteral("^[2-9A-HJ-NP-Z]{4}-[2-9A-HJ-NP-Z]{4}$")).match(code).hasMatch()) << code.toStdString();
    EXPECT_TRUE(page.contains(QStringLiteral("quillo cloud sign-in --code ") + code));
    const QString linkToken = QUrlQuery(QUrl(handOverLink(page))).queryItemValue(QStringLiteral("token"));
    ASSERT_FALSE(linkToken.isEmpty());

    // Typed as people type it; the token it brings works and the link's is retired, so
    // the sign-in leaves one device.
    r = exchange(codeBody(QStringLiteral(" ") + code.toLower().replace(QLatin1Char('-'), QLatin1Char(' '))));
    ASSERT_EQ(r.status, 200) << r.text.toStdString();
    const QString token = r.json.value(QStringLiteral("token")).toString();
    EXPECT_EQ(request("GET", QStringLiteral("/api/native/me"), {}, token).status, 200);
    EXPECT_EQ(request("GET", QStringLiteral("/api/native/me"), {}, linkToken).status, 401);
    EXPECT_EQ(rowsIn(QStringLiteral("device_tokens WHERE revoked_at IS NULL")), 1);

    // Once only.
    r = exchange(codeBody(code));
    EXPECT_EQ(r.status, 400);
    EXPECT_TRUE(r.json.value(QStringLiteral("error")).toString().contains(QStringLiteral("work once, within 10 minutes")));

    // Only its digest is stored.
    QString plain = code;
    plain.remove(QLatin1Char('-'));
    const QByteArray stored = storedBytes();
    EXPECT_FALSE(stored.contains(code.toLatin1()));
    EXPECT_FALSE(stored.contains(plain.toLatin1()));
    EXPECT_TRUE(stored.contains(QCryptographicHash::hash(plain.toLatin1(), QCryptographicHash::Sha256).toHex()));

    // Past its ten minutes it is worth nothing, and the link's token stays as it was.
    const QString late = handOver();
    {
        QSqlDatabase db = inspector();
        QSqlQuery query(db);
        EXPECT_TRUE(query.exec(QStringLiteral("UPDATE sign_in_codes SET expires_at = '2026-01-01T00:00:00Z' "
                                              "WHERE used_at IS NULL")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("inspect"));
    EXPECT_EQ(exchange(codeBody(handOverCode(late))).status, 400);
    EXPECT_EQ(request("GET", QStringLiteral("/api/native/me"), {},
                      QUrlQuery(QUrl(handOverLink(late))).queryItemValue(QStringLiteral("token"))).status, 200);

    // Anything else is not a code; ten that were not valid from one address, and even a
    // good code waits.
    for (const QByteArray& bad : {QByteArray("{}"), QByteArray("not json"), codeBody(QString(5000, QLatin1Char('A'))),
                                  codeBody(QStringLiteral("AAAA-AAA1")), codeBody(QStringLiteral("AAAA-AAAA"))})
        EXPECT_EQ(exchange(bad).status, 400) << bad.left(40).toStdString();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(exchange(codeBody(QStringLiteral("BBBB-BBBB"))).status, 400);
    r = exchange(codeBody(handOverCode(handOver())));
    EXPECT_EQ(r.status, 429);
    EXPECT_FALSE(r.headers.value("retry-after").isEmpty());
}

TEST_P(CloudServerTest, TenFailedSignInsAreFollowedByA429)
{
    cloud({QStringLiteral("user"), QStringLiteral("add"), QStringLiteral("fay@example.com")}, "a good password\n");
    const QString csrf = csrfOf(request("GET", QStringLiteral("/login")).text);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(post(QStringLiteral("/login"), {{"email", "fay@example.com"}, {"password", "wrong"}, {"csrf", csrf}}).status, 401);
    const Reply r = post(QStringLiteral("/login"), {{"email", "fay@example.com"}, {"password", "a good password"}, {"csrf", csrf}});
    EXPECT_EQ(r.status, 429);
    EXPECT_TRUE(r.text.contains(QStringLiteral("Too many attempts")));
}

TEST_P(CloudServerTest, TwoInstancesOnOneDatabaseShareTokensRevocationsAndFailureCounts)
{
    const QString token = addUserWithToken(QStringLiteral("gil@example.com"), QStringLiteral("laptop"));
    const quint16 first = port;
    QProcess second;
    second.setProcessEnvironment(environment());
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 secondPort = probe.serverPort();
    probe.close();
    second.start(QStringLiteral(QUILLO_CLOUD_BINARY),
                 {QStringLiteral("serve"), QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(secondPort)});
    ASSERT_TRUE(second.waitForStarted());
    auto onSecond = [&](auto&& call) {
        port = secondPort;
        auto result = call();
        port = first;
        return result;
    };
    ASSERT_TRUE(waitUntil([&] { return onSecond([&] { return request("GET", QStringLiteral("/healthz")); }).status == 200; }, 10000));

    EXPECT_EQ(onSecond([&] { return request("GET", QStringLiteral("/api/native/me"), {}, token); }).status, 200);
    EXPECT_EQ(onSecond([&] { return request("POST", QStringLiteral("/api/native/sign-out"), {}, token); }).status, 204);
    EXPECT_EQ(request("GET", QStringLiteral("/api/native/me"), {}, token).status, 401);

    // Failures on either count for both.
    const QString csrf = csrfOf(request("GET", QStringLiteral("/login")).text);
    const QList<QPair<QString, QString>> wrong{{"email", "gil@example.com"}, {"password", "wrong"}, {"csrf", csrf}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(post(QStringLiteral("/login"), wrong).status, 401);
        EXPECT_EQ(onSecond([&] { return post(QStringLiteral("/login"), wrong); }).status, 401);
    }
    EXPECT_EQ(post(QStringLiteral("/login"), wrong).status, 429);
    EXPECT_EQ(onSecond([&] { return post(QStringLiteral("/login"), wrong); }).status, 429);

    ::kill(pid_t(second.processId()), SIGTERM);
    EXPECT_TRUE(second.waitForFinished(20000));
}

TEST_P(CloudServerTest, DirectTlsServesHttpsWithSecureCookies)
{
    const QString cert = dir.path() + QStringLiteral("/cert.pem"), key = dir.path() + QStringLiteral("/key.pem");
    ASSERT_EQ(QProcess::execute(QStringLiteral("openssl"),
                                {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                                 QStringLiteral("-nodes"), QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert,
                                 QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                                 QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1")}),
              0);
    stopServer();
    scheme = QStringLiteral("https");
    startServer({QStringLiteral("--tls-cert"), cert, QStringLiteral("--tls-key"), key});
    const Reply r = request("GET", QStringLiteral("/login"));
    EXPECT_EQ(r.status, 200);
    EXPECT_TRUE(r.headers.value("set-cookie").contains("Secure")) << r.headers.value("set-cookie").toStdString();
    EXPECT_EQ(cloud({QStringLiteral("serve"), QStringLiteral("--listen"), QStringLiteral("127.0.0.1:1"),
                     QStringLiteral("--tls-cert"), cert}).code, 1); // a certificate needs its key
}

TEST_P(CloudServerTest, ANewerSchemaIsRefusedAndARequestInFlightIsAnsweredBeforeSigtermEnds)
{
    // A sign-up hashes its password for a good part of a second: SIGTERM arrives while
    // it runs, and the answer still comes.
    const QString csrf = csrfOf(request("GET", QStringLiteral("/signup")).text);
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("email"), QStringLiteral("late@example.com"));
    form.addQueryItem(QStringLiteral("password"), QStringLiteral("a good password"));
    form.addQueryItem(QStringLiteral("csrf"), csrf);
    QNetworkRequest req(QUrl(QStringLiteral("http://127.0.0.1:%1/signup").arg(port)));
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    req.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    QNetworkReply* reply = network.post(req, form.toString(QUrl::FullyEncoded).toLatin1());
    QTimer::singleShot(60, [&] { ::kill(pid_t(server.processId()), SIGTERM); });
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 302) << reply->errorString().toStdString();
    reply->deleteLater();
    ASSERT_TRUE(server.waitForFinished(20000));
    EXPECT_EQ(server.exitCode(), 0);

    // A schema newer than this program knows: it refuses to start and says why.
    {
        QSqlDatabase db = inspector();
        QSqlQuery(db).exec(QStringLiteral("UPDATE schema_version SET version = 99"));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("inspect"));
    const Run refused = cloud({QStringLiteral("serve"), QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port)});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("newer than this quillo-cloud knows"))) << refused.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Databases, CloudServerTest, ::testing::Values("sqlite", "postgresql"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });
