// quillo-cloud as an attacker on the network, a full disk or a read-only database finds it.
#include "CloudServerFixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QStandardPaths>
#include <QThread>
#include <sys/mount.h>
#include <sys/stat.h>

namespace {

class CloudHardeningTest : public CloudServerTest
{
protected:
    // The value of the session cookie the browser holds.
    QByteArray sessionCookie()
    {
        for (const QNetworkCookie& c : network.cookieJar()->cookiesForUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port))))
            if (c.name() == "quillo_session")
                return c.value();
        return {};
    }
    // The browser's cookies but its session, to put back after another browser's turn.
    QList<QNetworkCookie> cookiesButSession()
    {
        QList<QNetworkCookie> kept;
        for (const QNetworkCookie& c : network.cookieJar()->cookiesForUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port))))
            if (c.name() != "quillo_session")
                kept.append(c);
        return kept;
    }
    void useCookies(const QList<QNetworkCookie>& cookies)
    {
        auto* jar = new QNetworkCookieJar;
        for (const QNetworkCookie& c : cookies)
            jar->insertCookie(c);
        network.setCookieJar(jar);
    }
    // A macro whose file is about `bytes` long.
    static QByteArray macroOfAbout(qsizetype bytes)
    {
        Macro macro = TestMacros::small();
        const qsizetype perAction = MacroJsonEncoder::encodeMacro(macro).value().size() / qsizetype(macro.actions.size());
        for (qsizetype i = 0; i < bytes / perAction; ++i)
            macro.actions.push_back(MacroAction::keyDown(int(i % 100), 0, 0));
        return MacroJsonEncoder::encodeMacro(macro).value();
    }
    static int modeOf(const QString& path)
    {
        struct stat info {};
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 0777) : -1;
    }
    // A user with a password and a device token.
    QString addUser(const QString& email) { return addUserWithToken(email, QStringLiteral("laptop")); }
};

// A small file system of its own, to fill or make read-only; empty when this machine does
// not let the tests mount one.
class ScratchMount
{
public:
    explicit ScratchMount(const QString& path) : m_path(path)
    {
        QDir().mkpath(path);
        m_mounted = ::mount("tmpfs", path.toLocal8Bit().constData(), "tmpfs", 0, "size=2m,mode=0700") == 0;
    }
    ~ScratchMount()
    {
        if (m_mounted)
            ::umount2(m_path.toLocal8Bit().constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }
    bool makeReadOnly()
    {
        return ::mount("tmpfs", m_path.toLocal8Bit().constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=2m") == 0;
    }
    // Writes until no byte more fits.
    void fill()
    {
        QFile filler(m_path + QStringLiteral("/filler"));
        if (!filler.open(QIODevice::WriteOnly))
            return;
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }

private:
    QString m_path;
    bool m_mounted = false;
};

} // namespace

TEST_P(CloudHardeningTest, HostileNextValuesNeitherSplitTheResponseNorLeaveTheSite)
{
    addUser(QStringLiteral("ann@example.com"));
    ASSERT_EQ(signIn(QStringLiteral("ann@example.com"), QStringLiteral("a good password")).status, 302);
    const QByteArray cookie = "Cookie: quillo_session=" + sessionCookie() + "\r\n";
    const QList<QByteArray> hostile{
        "/%0d%0aSet-Cookie:%20quillo_session=VALUE;%20Path=/", "/%0aSet-Cookie:%20a=b", "/%09/127.0.0.1:18999/pwned",
        "//evil.example/", "/%5cevil.example", "/\\evil.example", "https://evil.example/", "javascript:alert(1)",
        "/%00x", "/caf%C3%A9",
    };
    for (const QByteArray& next : hostile) {
        const RawReply reply = raw("GET /login?next=" + next + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + cookie +
                                   "Connection: close\r\n\r\n");
        EXPECT_EQ(reply.statusLine(), "HTTP/1.1 302 Found") << next.constData();
        EXPECT_TRUE(reply.head().contains("\r\nLocation: /dashboard\r\n")) << reply.head().constData();
        EXPECT_FALSE(reply.head().toLower().contains("set-cookie")) << reply.head().constData();
    }
    // A plain same-site path is kept.
    EXPECT_TRUE(raw("GET /login?next=/auth/native%3Fstate%3Dx HTTP/1.1\r\nHost: 127.0.0.1\r\n" + cookie +
                    "Connection: close\r\n\r\n")
                    .head()
                    .contains("\r\nLocation: /auth/native?state=x\r\n"));
    // Signing in with a hostile next lands on the dashboard too.
    network.setCookieJar(new QNetworkCookieJar);
    const Reply r = signIn(QStringLiteral("ann@example.com"), QStringLiteral("a good password"),
                           QStringLiteral("/\r\nSet-Cookie: quillo_session=VALUE"));
    EXPECT_EQ(r.status, 302);
    EXPECT_EQ(r.headers.value("location"), "/dashboard");
    EXPECT_NE(sessionCookie(), "VALUE");
}

// Accepting connections, where the database plays no part: on SQLite only.
class CloudListenerTest : public CloudHardeningTest
{
};

TEST_P(CloudListenerTest, OutlivesABurstPastTheDescriptorLimitAndCutsSlowHeadersOff)
{
    const QString prlimit = QStandardPaths::findExecutable(QStringLiteral("prlimit"));
    ASSERT_FALSE(prlimit.isEmpty()) << "prlimit (util-linux) is needed";
    stopServer();
    launcher = QStringList{prlimit, QStringLiteral("--nofile=64:64")};
    startServer({});

    // Four times the descriptors the service has, held open at once, then all closed.
    std::vector<std::unique_ptr<QTcpSocket>> burst;
    for (int i = 0; i < 256; ++i) {
        burst.push_back(std::make_unique<QTcpSocket>());
        burst.back()->connectToHost(QHostAddress::LocalHost, port);
    }
    for (auto& socket : burst)
        socket->waitForConnected(2000);
    QThread::msleep(500);
    burst.clear();
    // Answered normally at once (a reconnect or two while the closes reach the service).
    EXPECT_TRUE(waitUntil([&] { return request("GET", QStringLiteral("/healthz")).status == 200; }, 3000));
    EXPECT_EQ(request("GET", QStringLiteral("/api/version")).status, 200);
    EXPECT_EQ(server.state(), QProcess::Running);

    // Headers sent a line a second: the connection ends after ten seconds, however busy
    // the client keeps it.
    QTcpSocket slow;
    slow.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(slow.waitForConnected(2000));
    slow.write("GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n");
    QElapsedTimer timer;
    timer.start();
    while (slow.state() == QAbstractSocket::ConnectedState && timer.elapsed() < 20000) {
        slow.write("X-Slow: 1\r\n");
        slow.waitForBytesWritten(1000);
        slow.waitForDisconnected(1000);
    }
    EXPECT_NE(slow.state(), QAbstractSocket::ConnectedState);
    EXPECT_LT(timer.elapsed(), 15000);
    EXPECT_TRUE(slow.readAll().isEmpty()); // no answer to a request never finished
}

TEST_P(CloudHardeningTest, OversizedFieldsAreRefusedBeforeAnythingIsHashedOrStored)
{
    const QString token = addUser(QStringLiteral("bo@example.com"));
    const int users = rowsIn(QStringLiteral("users"));
    const QString huge(60 * 1024, QLatin1Char('n'));
    const QString signupCsrf = csrfOf(request("GET", QStringLiteral("/signup")).text);
    auto signUp = [&](const QString& email, const QString& name, const QString& password) {
        return post(QStringLiteral("/signup"), {{"email", email}, {"name", name}, {"password", password}, {"csrf", signupCsrf}}).status;
    };
    EXPECT_EQ(signUp(QStringLiteral("cy@example.com"), QString(101, QLatin1Char('n')), QStringLiteral("a good password")), 400);
    EXPECT_EQ(signUp(QStringLiteral("cy@example.com"), QStringLiteral("Cy\x1b[2J"), QStringLiteral("a good password")), 400);
    EXPECT_EQ(signUp(QString(250, QLatin1Char('c')) + QStringLiteral("@example.com"), {}, QStringLiteral("a good password")), 400);
    EXPECT_EQ(signUp(QStringLiteral("cy@example.com"), {}, QString(1025, QLatin1Char('p'))), 400);
    // A form larger than any page takes is refused at its headers.
    EXPECT_EQ(signUp(QStringLiteral("cy@example.com"), QString(70 * 1024, QLatin1Char('n')), QStringLiteral("a good password")), 413);
    // A sign-in with an email no account can have is not a failure worth storing.
    const int failures = rowsIn(QStringLiteral("sign_in_failures")); // sign-ups count here too
    EXPECT_EQ(signIn(huge + QStringLiteral("@example.com"), QStringLiteral("wrong")).status, 400);
    EXPECT_EQ(signIn(QStringLiteral("bo@example.com"), QString(2000, QLatin1Char('p'))).status, 400);
    EXPECT_EQ(rowsIn(QStringLiteral("users")), users);
    EXPECT_EQ(rowsIn(QStringLiteral("sign_in_failures")), failures);
    EXPECT_FALSE(storedBytes().contains(QByteArray(1000, 'n')));

    // Upload fields: bounded, and the counts are the macro's own.
    const QByteArray macro = MacroJsonEncoder::encodeMacro(TestMacros::small()).value();
    auto upload = [&](const QString& field, const QJsonValue& value) {
        QJsonObject payload = payloadFor(macro, QStringLiteral("S"));
        payload[field] = value;
        return request("POST", QStringLiteral("/api/backups"), body(payload), token).status;
    };
    EXPECT_EQ(upload(QStringLiteral("name"), QString(257, QLatin1Char('m'))), 400);
    EXPECT_EQ(upload(QStringLiteral("description"), QString(4097, QLatin1Char('d'))), 400);
    EXPECT_EQ(upload(QStringLiteral("actionCount"), -1), 400);
    EXPECT_EQ(upload(QStringLiteral("durationSeconds"), -5), 400);
    EXPECT_EQ(rowsIn(QStringLiteral("revisions")), 0);
    ASSERT_EQ(upload(QStringLiteral("actionCount"), 999999), 200);
    {
        QSqlDatabase db = inspector();
        QSqlQuery query(db);
        ASSERT_TRUE(query.exec(QStringLiteral("SELECT action_count FROM revisions")) && query.next());
        EXPECT_EQ(query.value(0).toLongLong(), qint64(TestMacros::small().actions.size()));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("inspect"));
}

TEST_P(CloudHardeningTest, WhenTheDatabaseTakesNoWritesSignInFailsClosedAndHealthSaysWhy)
{
    const QString token = addUser(QStringLiteral("di@example.com"));
    // A sign-in code waiting to be typed in.
    {
        QSqlDatabase db = inspector();
        QSqlQuery query(db);
        EXPECT_TRUE(query.exec(QStringLiteral("INSERT INTO sign_in_codes (code_hash, user_id, device, link_token_hash, "
                                              "expires_at) SELECT '%1', id, 'PC', 'x', '2999-01-01T00:00:00Z' FROM users")
                                   .arg(QString::fromLatin1(QCryptographicHash::hash("ABCDEFGH", QCryptographicHash::Sha256).toHex()))))
            << query.lastError().text().toStdString();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("inspect"));
    std::unique_ptr<ScratchMount> mount;
    if (onPostgres()) {
        // Every new session of the database is read-only.
        stopServer();
        ASSERT_EQ(QProcess::execute(QStringLiteral("psql"), {QStringLiteral("-h"), pgSocket, QStringLiteral("-p"), pgPort,
                                                              QStringLiteral("-U"), QStringLiteral("postgres"), QStringLiteral("-qc"),
                                                              QStringLiteral("ALTER DATABASE \"%1\" SET default_transaction_read_only = on").arg(pgDatabase),
                                                              pgDatabase}),
                  0);
        startServer({}, 503);
    } else {
        // The database on a small file system of its own, then the file system full.
        mount = std::make_unique<ScratchMount>(dir.path() + QStringLiteral("/small"));
        if (!mount->mounted())
            GTEST_SKIP() << "this machine does not let the tests mount a tmpfs";
        stopServer();
        const QString moved = dir.path() + QStringLiteral("/small/cloud.sqlite");
        ASSERT_TRUE(QFile::copy(databaseLocation(), moved));
        QFile::copy(databaseLocation() + QStringLiteral("-wal"), moved + QStringLiteral("-wal"));
        startServer({QStringLiteral("--database"), moved});
        mount->fill();
    }
    Reply health = request("GET", QStringLiteral("/healthz"));
    if (!onPostgres()) // the last check is cached for a second
        ASSERT_TRUE(waitUntil([&] { return (health = request("GET", QStringLiteral("/healthz"))).status == 503; }, 3000));
    EXPECT_EQ(health.status, 503);
    EXPECT_TRUE(health.json.value(QStringLiteral("error")).toString().contains(QStringLiteral("does not take writes")))
        << health.text.toStdString();

    // Failures cannot be counted: nobody is signed in, right password or not.
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(signIn(QStringLiteral("di@example.com"), QStringLiteral("wrong")).status, 503);
    const Reply right = signIn(QStringLiteral("di@example.com"), QStringLiteral("a good password"));
    EXPECT_EQ(right.status, 503);
    EXPECT_TRUE(sessionCookie().isEmpty());
    const QString csrf = csrfOf(request("GET", QStringLiteral("/signup")).text);
    EXPECT_EQ(post(QStringLiteral("/signup"), {{"email", "ed@example.com"}, {"password", "a good password"}, {"csrf", csrf}}).status, 503);
    // An upload the database cannot take is the service's fault, never the client's.
    const QByteArray macro = MacroJsonEncoder::encodeMacro(TestMacros::small()).value();
    const int uploaded = request("POST", QStringLiteral("/api/backups"), body(payloadFor(macro, QStringLiteral("F"))), token).status;
    EXPECT_GE(uploaded, 500);
    // A code can be neither spent nor a wrong one counted: no token, and no guessing.
    auto exchange = [&](const char* code) {
        return request("POST", QStringLiteral("/api/native/code"), QByteArray("{\"code\":\"") + code + "\"}");
    };
    const Reply spent = exchange("ABCD-EFGH");
    EXPECT_GE(spent.status, 500) << spent.text.toStdString();
    EXPECT_FALSE(spent.json.contains(QStringLiteral("token")));
    EXPECT_EQ(exchange("ZZZZ-ZZZZ").status, 503);

    if (!onPostgres()) {
        // Read-only from the start: the message names the folder.
        stopServer();
        QFile::remove(dir.path() + QStringLiteral("/small/filler"));
        ASSERT_TRUE(mount->makeReadOnly());
        const Run run = cloud({QStringLiteral("migrate"), QStringLiteral("--database"), dir.path() + QStringLiteral("/small/cloud.sqlite")});
        EXPECT_NE(run.code, 0);
        EXPECT_TRUE(run.err.contains(QStringLiteral("the folder %1 is not writable").arg(dir.path() + QStringLiteral("/small"))))
            << run.err.toStdString();
    }
}

TEST_P(CloudHardeningTest, StrangersCannotLockTheOwnersBrowserOutAndTheProxysEntryIsTheClient)
{
    stopServer();
    startServer({QStringLiteral("--behind-proxy")});
    addUser(QStringLiteral("owner@example.com"));
    extraHeaders = {{"X-Forwarded-For", "203.0.113.7"}};
    ASSERT_EQ(signIn(QStringLiteral("owner@example.com"), QStringLiteral("a good password")).status, 302);
    const QList<QNetworkCookie> owners = cookiesButSession();

    // Strangers from ever new addresses are held back per account...
    network.setCookieJar(new QNetworkCookieJar);
    for (int i = 0; i < 10; ++i) {
        extraHeaders = {{"X-Forwarded-For", "10.9.8.7, 198.51.100." + QByteArray::number(i)}};
        EXPECT_EQ(signIn(QStringLiteral("owner@example.com"), QStringLiteral("wrong")).status, 401);
    }
    extraHeaders = {{"X-Forwarded-For", "198.51.100.200"}};
    EXPECT_EQ(signIn(QStringLiteral("owner@example.com"), QStringLiteral("a good password")).status, 429);
    // ...and the owner's browser is not.
    useCookies(owners);
    extraHeaders = {{"X-Forwarded-For", "198.51.100.1"}};
    EXPECT_EQ(signIn(QStringLiteral("owner@example.com"), QStringLiteral("a good password")).status, 302);
    useCookies(owners);
    // The browser's own failures count for it alone.
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(signIn(QStringLiteral("owner@example.com"), QStringLiteral("wrong")).status, 401);
    EXPECT_EQ(signIn(QStringLiteral("owner@example.com"), QStringLiteral("a good password")).status, 429);

    // Sign-ups count per client address: the entry the proxy added, whatever the client
    // claims before it. Each comes from a new browser.
    auto signUp = [&](const QString& email, const QByteArray& forwardedFor) {
        network.setCookieJar(new QNetworkCookieJar);
        extraHeaders.clear();
        const QString csrf = csrfOf(request("GET", QStringLiteral("/signup")).text);
        extraHeaders = {{"X-Forwarded-For", forwardedFor}};
        return post(QStringLiteral("/signup"), {{"email", email}, {"password", "a good password"}, {"csrf", csrf}}).status;
    };
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(signUp(QStringLiteral("new%1@example.com").arg(i), "10.0.0." + QByteArray::number(i) + ", 192.0.2.9"), 302);
    EXPECT_EQ(signUp(QStringLiteral("one-more@example.com"), "10.0.0.99, 192.0.2.9"), 429);
    EXPECT_EQ(signUp(QStringLiteral("elsewhere@example.com"), "192.0.2.10"), 302);
}

TEST_P(CloudHardeningTest, BodiesAreJudgedAtTheirHeadersAndDownloadsWaitForTheirReader)
{
    const QString token = addUser(QStringLiteral("fi@example.com"));
    auto expectAtOnce = [&](const QByteArray& head, const QByteArray& status) {
        const RawReply reply = raw(head, 3000);
        EXPECT_EQ(reply.statusLine(), status) << head.left(60).constData();
        EXPECT_TRUE(reply.head().contains("Connection: close"));
    };
    // Headers only, the body never sent: answered without waiting for it.
    expectAtOnce("POST /api/backups HTTP/1.1\r\nHost: x\r\nContent-Length: 1000000\r\nExpect: 100-continue\r\n\r\n",
                 "HTTP/1.1 401 Unauthorized");
    expectAtOnce("POST /api/backups HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer made-up\r\nContent-Length: 1000000\r\n"
                 "Expect: 100-continue\r\n\r\n",
                 "HTTP/1.1 401 Unauthorized");
    expectAtOnce("POST /api/backups HTTP/1.1\r\nHost: x\r\nAuthorization: bearer " + token.toLatin1() +
                     "\r\nContent-Length: 135266304\r\n\r\n",
                 "HTTP/1.1 413 Payload Too Large");
    expectAtOnce("POST /healthz HTTP/1.1\r\nHost: x\r\nContent-Length: 135266304\r\n\r\n", "HTTP/1.1 413 Payload Too Large");
    expectAtOnce("POST /login HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n", "HTTP/1.1 411 Length Required");
    // A client that sends a small body without waiting still reads why it was refused.
    EXPECT_EQ(request("POST", QStringLiteral("/api/backups"), QByteArray(20000, '{'), QStringLiteral("made-up")).status, 401);

    // A download as large as a long recording: readers that never read hold little of
    // the service's memory, and the bytes still arrive whole across its pieces.
    const QByteArray macro = macroOfAbout(12 << 20);
    ASSERT_EQ(request("POST", QStringLiteral("/api/backups"), body(payloadFor(macro, QStringLiteral("L"))), token).status, 200);
    ASSERT_EQ(signIn(QStringLiteral("fi@example.com"), QStringLiteral("a good password")).status, 302);
    const auto link = QRegularExpression(QStringLiteral("href=\"(/dashboard/revision/[^\"]+/download)\""))
                          .match(request("GET", QStringLiteral("/dashboard")).text);
    ASSERT_TRUE(link.hasMatch());
    const qint64 before = serverRssKb();
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 24; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->setReadBufferSize(1024); // takes no more than this from the kernel
        socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
        socket->connectToHost(QHostAddress::LocalHost, port);
        ASSERT_TRUE(socket->waitForConnected(2000));
        socket->write("GET " + link.captured(1).toLatin1() + " HTTP/1.1\r\nHost: x\r\nCookie: quillo_session=" +
                      sessionCookie() + "\r\n\r\n");
        socket->waitForBytesWritten(2000);
        idle.push_back(std::move(socket));
    }
    QThread::msleep(1500);
    const qint64 grown = serverRssKb() - before;
    EXPECT_LT(grown, 64 * 1024) << "24 stalled downloads of " << macro.size() / 1024 << " KiB grew the service by " << grown << " KiB";
    EXPECT_EQ(request("GET", QStringLiteral("/healthz")).status, 200);
    const Reply file = request("GET", link.captured(1));
    EXPECT_EQ(file.status, 200);
    EXPECT_TRUE(file.text.toUtf8() == macro) << "the download differs from the upload";
    // HEAD tells the length without the bytes.
    const RawReply head = raw("HEAD " + link.captured(1).toLatin1() + " HTTP/1.1\r\nHost: x\r\nCookie: quillo_session=" +
                                  sessionCookie() + "\r\nConnection: close\r\n\r\n",
                              3000);
    EXPECT_EQ(head.statusLine(), "HTTP/1.1 200 OK");
    EXPECT_TRUE(head.head().contains("Content-Length: " + QByteArray::number(macro.size())));
    EXPECT_EQ(head.bytes.size(), head.head().size() + 4);
}

TEST_P(CloudHardeningTest, NamesAreShownAsTheyAreAndOnlyTheirOwnerReachesARevision)
{
    const QString token = addUser(QStringLiteral("gus@example.com"));
    const QString other = addUser(QStringLiteral("hal@example.com"));
    const QByteArray macro = MacroJsonEncoder::encodeMacro(TestMacros::small()).value();
    QJsonObject payload = payloadFor(macro, QStringLiteral("R"));
    payload[QStringLiteral("name")] = QStringLiteral("Report %1 for %2 ") + QString(200, QChar(0x00e9));
    ASSERT_EQ(request("POST", QStringLiteral("/api/backups"), body(payload), token).status, 200);
    // The bearer scheme in any case.
    EXPECT_EQ(raw("GET /api/native/me HTTP/1.1\r\nHost: x\r\nAuthorization: bEaReR " + token.toLatin1() +
                  "\r\nConnection: close\r\n\r\n")
                  .statusLine(),
              "HTTP/1.1 200 OK");
    // HEAD like GET, without a body.
    const RawReply head = raw("HEAD /api/version HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(head.statusLine(), "HTTP/1.1 200 OK");
    EXPECT_EQ(head.bytes.size(), head.head().size() + 4);

    ASSERT_EQ(signIn(QStringLiteral("gus@example.com"), QStringLiteral("a good password")).status, 302);
    const QString dashboard = request("GET", QStringLiteral("/dashboard")).text;
    EXPECT_TRUE(dashboard.contains(QStringLiteral("Report %1 for %2"))) << dashboard.toStdString();
    const auto link = QRegularExpression(QStringLiteral("href=\"(/dashboard/revision/([^\"/]+)/download)\"")).match(dashboard);
    ASSERT_TRUE(link.hasMatch());
    const QByteArray disposition = request("GET", link.captured(1)).headers.value("content-disposition");
    EXPECT_LE(disposition.size(), 1024);
    EXPECT_TRUE(disposition.contains("filename*=UTF-8''Report%20%251%20for%20%252%20%C3%A9")) << disposition.constData();

    // Another account: neither the download nor the delete of the revision, and a
    // revision that does not exist is not found either.
    network.setCookieJar(new QNetworkCookieJar);
    ASSERT_EQ(signIn(QStringLiteral("hal@example.com"), QStringLiteral("a good password")).status, 302);
    const QString csrf = csrfOf(request("GET", QStringLiteral("/dashboard")).text);
    EXPECT_EQ(request("GET", link.captured(1)).status, 404);
    EXPECT_EQ(post(QStringLiteral("/dashboard/revision/%1/delete").arg(link.captured(2)), {{"csrf", csrf}}).status, 404);
    EXPECT_EQ(post(QStringLiteral("/dashboard/revision/no-such-revision/delete"), {{"csrf", csrf}}).status, 404);
    EXPECT_EQ(rowsIn(QStringLiteral("revisions")), 1);
    Q_UNUSED(other);
}

TEST_P(CloudHardeningTest, OperatorsSeeEscapedTextAndTheDatabaseIsTheOwnersAlone)
{
    // A name from an older version with terminal escapes in it.
    addUser(QStringLiteral("ivy@example.com"));
    {
        QSqlDatabase db = inspector();
        QSqlQuery query(db);
        ASSERT_TRUE(query.exec(QStringLiteral("UPDATE users SET display_name = 'Ivy\x1b]0;owned\x07\x1b[2J'")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("inspect"));
    const Run list = cloud({QStringLiteral("user"), QStringLiteral("list")});
    EXPECT_EQ(list.code, 0);
    EXPECT_TRUE(list.out.contains(QStringLiteral("ivy@example.com")));
    EXPECT_FALSE(list.out.contains(QChar(0x1b)) || list.out.contains(QChar(0x07))) << list.out.toStdString();

    // The access log: a path with a tab, an escape and bytes that are not UTF-8.
    raw("GET /x\ty\x1b[31m\xff\xfe HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    stopServer();
    const QByteArray log = server.readAllStandardError();
    EXPECT_FALSE(log.contains('\t') || log.contains('\x1b') || log.contains('\xff')) << log.toStdString();

    if (onPostgres())
        return;
    // Files: the owner's only, a looser file tightened when the service opens it.
    EXPECT_EQ(modeOf(databaseLocation()), 0600);
    QFile::setPermissions(databaseLocation(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    const Run migrated = cloud({QStringLiteral("migrate")});
    EXPECT_EQ(migrated.code, 0);
    EXPECT_TRUE(migrated.err.contains(QStringLiteral("readable by its owner only"))) << migrated.err.toStdString();
    EXPECT_EQ(modeOf(databaseLocation()), 0600);
    const QString fresh = dir.path() + QStringLiteral("/new/folder/cloud.sqlite");
    EXPECT_EQ(cloud({QStringLiteral("migrate"), QStringLiteral("--database"), fresh}).code, 0);
    EXPECT_EQ(modeOf(fresh), 0600);
    EXPECT_EQ(modeOf(dir.path() + QStringLiteral("/new/folder")), 0700);
}

INSTANTIATE_TEST_SUITE_P(Databases, CloudHardeningTest, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return std::string(info.param); });
INSTANTIATE_TEST_SUITE_P(Sqlite, CloudListenerTest, ::testing::Values("sqlite"),
                         [](const auto& info) { return std::string(info.param); });
