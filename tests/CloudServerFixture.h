#pragma once

// A real quillo-cloud on a free loopback port with a fresh database, for the service's
// tests: requests through Qt's network stack, the command line, and a look inside the
// database.
#include "Codec/MacroJsonEncoder.h"
#include "TestMacros.h"
#include "TestWait.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTimer>
#include <QUrlQuery>
#include <QTemporaryDir>
#include <QUuid>
#include <gtest/gtest.h>

#include <csignal>

namespace {

// A real quillo-cloud on a free loopback port with a fresh database: an SQLite file,
// or a new database on the private PostgreSQL the test script starts.
class CloudServerTest : public ::testing::TestWithParam<const char*>
{
protected:
    bool onPostgres() const { return QByteArray(GetParam()) == "postgresql"; }

    void SetUp() override
    {
        if (onPostgres()) {
            pgSocket = qEnvironmentVariable("QUILLO_TEST_PG_SOCKET");
            pgPort = qEnvironmentVariable("QUILLO_TEST_PG_PORT");
            ASSERT_FALSE(pgSocket.isEmpty()) << "these tests need the PostgreSQL that scripts/test.sh starts";
            pgDatabase = QStringLiteral("quillo_test_") + QUuid::createUuid().toString(QUuid::Id128);
            ASSERT_EQ(QProcess::execute(QStringLiteral("createdb"), {QStringLiteral("-h"), pgSocket, QStringLiteral("-p"), pgPort,
                                                                     QStringLiteral("-U"), QStringLiteral("postgres"), pgDatabase}),
                      0);
        }
        startServer({});
    }
    void TearDown() override
    {
        stopServer();
        if (onPostgres() && !pgDatabase.isEmpty()) {
            QSqlDatabase::removeDatabase(QStringLiteral("inspect"));
            QProcess::execute(QStringLiteral("dropdb"), {QStringLiteral("-h"), pgSocket, QStringLiteral("-p"), pgPort,
                                                         QStringLiteral("-U"), QStringLiteral("postgres"), pgDatabase});
        }
    }

    QString databaseLocation() const
    {
        if (onPostgres())
            return QStringLiteral("postgresql://postgres@localhost:%1/%2?host=%3").arg(pgPort, pgDatabase, pgSocket);
        return dir.path() + QStringLiteral("/cloud.sqlite");
    }
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUILLO_CLOUD_DATABASE"), databaseLocation());
        return env;
    }
    // Everything the database holds, as bytes to search.
    QByteArray storedBytes() const
    {
        if (onPostgres()) {
            QProcess dump;
            dump.start(QStringLiteral("pg_dump"), {QStringLiteral("-h"), pgSocket, QStringLiteral("-p"), pgPort,
                                                  QStringLiteral("-U"), QStringLiteral("postgres"), pgDatabase});
            dump.waitForFinished(30000);
            return dump.readAllStandardOutput();
        }
        QByteArray bytes;
        for (const QString& suffix : {QString(), QStringLiteral("-wal")}) {
            QFile file(databaseLocation() + suffix);
            if (file.open(QIODevice::ReadOnly))
                bytes += file.readAll();
        }
        return bytes;
    }
    // A connection of the test's own to look inside.
    QSqlDatabase inspector()
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(onPostgres() ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"),
                                                    QStringLiteral("inspect"));
        if (onPostgres()) {
            db.setHostName(pgSocket);
            db.setPort(pgPort.toInt());
            db.setUserName(QStringLiteral("postgres"));
            db.setDatabaseName(pgDatabase);
        } else {
            db.setDatabaseName(databaseLocation());
        }
        EXPECT_TRUE(db.open());
        return db;
    }

    struct Run {
        int code = -1;
        QString out, err;
    };
    Run cloud(const QStringList& args, const QByteArray& input = {})
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(QStringLiteral(QUILLO_CLOUD_BINARY), args);
        process.write(input);
        process.closeWriteChannel();
        process.waitForFinished(30000);
        return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
                QString::fromLocal8Bit(process.readAllStandardError())};
    }

    // Starts the service (through `launcher` when one is set) and waits until /healthz
    // gives `health`.
    void startServer(const QStringList& extra, int health = 200)
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort();
        probe.close();
        server.setProcessEnvironment(environment());
        const QStringList args = QStringList{QStringLiteral("serve"), QStringLiteral("--listen"),
                                             QStringLiteral("127.0.0.1:%1").arg(port)} + extra;
        if (launcher.isEmpty())
            server.start(QStringLiteral(QUILLO_CLOUD_BINARY), args);
        else
            server.start(launcher.first(), launcher.mid(1) + QStringList{QStringLiteral(QUILLO_CLOUD_BINARY)} + args);
        ASSERT_TRUE(server.waitForStarted());
        ASSERT_TRUE(waitUntil([&] { return request("GET", "/healthz").status == health; }, 10000))
            << server.readAllStandardError().toStdString();
    }
    void stopServer()
    {
        if (server.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(server.processId()), SIGTERM);
        if (!server.waitForFinished(20000))
            server.kill();
    }

    struct Reply {
        int status = 0;
        QJsonObject json;
        QString text;
        QMap<QByteArray, QByteArray> headers;
    };
    Reply request(const char* method, const QString& path, const QByteArray& body = {}, const QString& token = {},
                  const char* contentType = "application/json")
    {
        QNetworkRequest req(QUrl(QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(port).arg(path)));
        if (scheme == QLatin1String("https")) {
            QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
            tls.setCaCertificates(QSslCertificate::fromPath(dir.path() + QStringLiteral("/cert.pem")));
            req.setSslConfiguration(tls);
        }
        req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        if (!token.isEmpty())
            req.setRawHeader("Authorization", "Bearer " + token.toLatin1());
        for (const auto& [name, value] : extraHeaders)
            req.setRawHeader(name, value);
        req.setHeader(QNetworkRequest::ContentTypeHeader, QString::fromLatin1(contentType));
        QNetworkReply* reply = network.sendCustomRequest(req, method, body);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        Reply result;
        result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray bytes = reply->readAll();
        result.json = QJsonDocument::fromJson(bytes).object();
        result.text = QString::fromUtf8(bytes);
        for (const auto& [name, value] : reply->rawHeaderPairs())
            result.headers.insert(name.toLower(), value);
        reply->deleteLater();
        return result;
    }

    QString addUserWithToken(const QString& email, const QString& device)
    {
        const Run added = cloud({QStringLiteral("user"), QStringLiteral("add"), email}, "a good password\n");
        EXPECT_EQ(added.code, 0) << added.err.toStdString();
        const Run issued = cloud({QStringLiteral("token"), QStringLiteral("issue"), email, QStringLiteral("--device"), device});
        EXPECT_EQ(issued.code, 0) << issued.err.toStdString();
        return issued.out.trimmed();
    }

    // An upload body for `bytes`, with the fields as the application writes them.
    static QJsonObject payloadFor(const QByteArray& bytes, const QString& sourceId)
    {
        return QJsonObject{{QStringLiteral("sourceMacroId"), sourceId},
                           {QStringLiteral("name"), QStringLiteral("Login")},
                           {QStringLiteral("actionCount"), 4},
                           {QStringLiteral("durationSeconds"), 1.5},
                           {QStringLiteral("size"), double(bytes.size())},
                           {QStringLiteral("sha256"), QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex())},
                           {QStringLiteral("macroVersion"), 1},
                           {QStringLiteral("data"), QString::fromLatin1(bytes.toBase64())}};
    }
    static QByteArray body(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

    // A form as a browser posts it.
    Reply post(const QString& path, const QList<QPair<QString, QString>>& fields)
    {
        QUrlQuery form;
        for (const auto& [name, value] : fields)
            form.addQueryItem(name, QString::fromLatin1(QUrl::toPercentEncoding(value)));
        return request("POST", path, form.toString(QUrl::FullyEncoded).toLatin1(), {},
                       "application/x-www-form-urlencoded");
    }
    // The CSRF token in a page's form.
    static QString csrfOf(const QString& page)
    {
        const auto match = QRegularExpression(QStringLiteral("name=\"csrf\" value=\"([^\"]+)\"")).match(page);
        return match.captured(1);
    }

    // What one connection of raw bytes got back before the service closed it or `msecs`
    // passed, and how long the first byte took.
    struct RawReply {
        QByteArray bytes;
        qint64 firstByteMs = -1;
        QByteArray statusLine() const { return bytes.left(bytes.indexOf("\r\n")); }
        QByteArray head() const { return bytes.left(bytes.indexOf("\r\n\r\n")); }
    };
    RawReply raw(const QByteArray& bytes, int msecs = 5000)
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        RawReply reply;
        if (!socket.waitForConnected(5000))
            return reply;
        QElapsedTimer timer;
        timer.start();
        socket.write(bytes);
        socket.waitForBytesWritten(5000);
        while (timer.elapsed() < msecs && socket.state() == QAbstractSocket::ConnectedState) {
            if (socket.waitForReadyRead(int(std::max<qint64>(1, msecs - timer.elapsed())))) {
                if (reply.firstByteMs < 0)
                    reply.firstByteMs = timer.elapsed();
                reply.bytes += socket.readAll();
            }
        }
        reply.bytes += socket.readAll();
        return reply;
    }
    // The service's resident memory, in KiB.
    qint64 serverRssKb() const
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(server.processId()));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').first().toLongLong();
        return -1;
    }
    // A sign-in through the page's form, as a browser does it.
    Reply signIn(const QString& email, const QString& password, const QString& next = {})
    {
        const QString csrf = csrfOf(request("GET", QStringLiteral("/login")).text);
        QList<QPair<QString, QString>> fields{{"email", email}, {"password", password}, {"csrf", csrf}};
        if (!next.isEmpty())
            fields.append({"next", next});
        return post(QStringLiteral("/login"), fields);
    }
    // How many rows a table holds now.
    int rowsIn(const QString& table)
    {
        int count = -1;
        {
            QSqlDatabase db = inspector();
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("SELECT COUNT(*) FROM ") + table) && query.next())
                count = query.value(0).toInt();
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("inspect"));
        return count;
    }

    QTemporaryDir dir;
    QStringList launcher; // a program the service is started through, such as prlimit
    QList<QPair<QByteArray, QByteArray>> extraHeaders; // sent with every request()
    QString pgSocket, pgPort, pgDatabase;
    QString scheme = QStringLiteral("http");
    QProcess server;
    quint16 port = 0;
    QNetworkAccessManager network;
};

} // namespace
