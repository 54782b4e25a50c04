#pragma once

// A real quillo-cloud on a free loopback port with a fresh SQLite database, for the
// application's cloud tests; and a browser's part of the sign-in, spoken over HTTP.
#include "HandOverPage.h"
#include "TestWait.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QUuid>
#include <gtest/gtest.h>

#include <csignal>

class CloudServiceProcess
{
public:
    explicit CloudServiceProcess(const QStringList& extra = {}) { start(extra); }
    ~CloudServiceProcess() { stop(); }

    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    QString database() const { return m_dir.path() + QStringLiteral("/cloud.sqlite"); }

    void start(const QStringList& extra)
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        m_port = probe.serverPort();
        probe.close();
        m_server.setProcessEnvironment(environment());
        m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_server.start(QStringLiteral(QUILLO_CLOUD_BINARY),
                       QStringList{QStringLiteral("serve"), QStringLiteral("--listen"),
                                   QStringLiteral("127.0.0.1:%1").arg(m_port)} + extra);
        ASSERT_TRUE(m_server.waitForStarted());
        ASSERT_TRUE(waitUntil([&] { return get(QStringLiteral("/healthz")).first == 200; }, 10000));
    }
    void stop()
    {
        if (m_server.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(m_server.processId()), SIGTERM);
        if (!m_server.waitForFinished(20000))
            m_server.kill();
    }

    // `quillo-cloud ARGS` on this service's database: exit code and standard output.
    std::pair<int, QString> run(const QStringList& args, const QByteArray& input = {}) const
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(QStringLiteral(QUILLO_CLOUD_BINARY), args);
        process.write(input);
        process.closeWriteChannel();
        process.waitForFinished(30000);
        return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed()};
    }
    // A new account and a device token for it.
    QString addUserWithToken(const QString& email, const QString& name = QStringLiteral("Ann Lee"))
    {
        EXPECT_EQ(run({QStringLiteral("user"), QStringLiteral("add"), email, QStringLiteral("--name"), name},
                      "a good password\n").first, 0);
        const auto [code, token] = run({QStringLiteral("token"), QStringLiteral("issue"), email,
                                        QStringLiteral("--device"), QStringLiteral("test")});
        EXPECT_EQ(code, 0);
        return token;
    }

    // What a browser does with the sign-in page `signInPage`: signs up as `email`, then
    // continues; the quillo:// link the service sends it to.
    QString browserSignIn(const QUrl& signInPage, const QString& email)
    {
        auto page = get(QStringLiteral("/signup"));
        auto posted = post(QStringLiteral("/signup"), {{"email", email}, {"password", "a good password"},
                                                       {"name", "Dee Example"}, {"csrf", csrfOf(page.second)}});
        EXPECT_EQ(posted.first, 302);
        QString path = signInPage.path(QUrl::FullyEncoded) + QLatin1Char('?') + signInPage.query(QUrl::FullyEncoded);
        page = get(path);
        EXPECT_EQ(page.first, 200);
        const QUrlQuery query(signInPage);
        posted = post(QStringLiteral("/auth/native"),
                      {{"state", query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded)},
                       {"device", query.queryItemValue(QStringLiteral("device"), QUrl::FullyDecoded)},
                       {"csrf", csrfOf(page.second)}});
        EXPECT_EQ(posted.first, 200);
        m_signInCode = handOverCode(posted.second);
        return handOverLink(posted.second);
    }
    // The one-time code the last browserSignIn's page showed.
    const QString& signInCode() const { return m_signInCode; }

    // The backups the service holds for a macro id (its revisions), read from the database.
    int revisionsOf(const QUuid& sourceId)
    {
        const QString name = QStringLiteral("inspect-") + QUuid::createUuid().toString(QUuid::Id128);
        int count = -1;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(database());
            EXPECT_TRUE(db.open());
            QSqlQuery query(db);
            query.prepare(QStringLiteral("SELECT COUNT(*) FROM revisions r JOIN backups b ON r.backup_id = b.id "
                                         "WHERE b.source_macro_id = ?"));
            query.addBindValue(sourceId.toString(QUuid::WithoutBraces).toUpper());
            EXPECT_TRUE(query.exec() && query.next());
            count = query.value(0).toInt();
        }
        QSqlDatabase::removeDatabase(name);
        return count;
    }

    std::pair<int, QString> get(const QString& path) { return send("GET", path, {}); }

private:
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUILLO_CLOUD_DATABASE"), database());
        return env;
    }
    std::pair<int, QString> post(const QString& path, const QList<QPair<QString, QString>>& fields)
    {
        QStringList parts;
        for (const auto& [name, value] : fields)
            parts << name + QLatin1Char('=') + QString::fromLatin1(QUrl::toPercentEncoding(value));
        return send("POST", path, parts.join(QLatin1Char('&')).toLatin1());
    }
    std::pair<int, QString> send(const char* method, const QString& path, const QByteArray& body)
    {
        QNetworkRequest request(QUrl(url() + path));
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
        QNetworkReply* reply = m_network.sendCustomRequest(request, method, body);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        m_location = QString::fromLatin1(reply->rawHeader("Location"));
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QString text = QString::fromUtf8(reply->readAll());
        reply->deleteLater();
        return {status, text};
    }
    static QString csrfOf(const QString& page)
    {
        return QRegularExpression(QStringLiteral("name=\"csrf\" value=\"([^\"]+)\"")).match(page).captured(1);
    }

    QTemporaryDir m_dir;
    QProcess m_server;
    quint16 m_port = 0;
    QNetworkAccessManager m_network;
    QString m_location;
    QString m_signInCode;
};
