// Against the desktop's real secret store: the test script starts gnome-keyring on a
// private session bus. Every test uses a service name of its own.
#include "ScriptedHttpServer.h"
#include "Services/Cloud/CloudAuthService.h"
#include "Services/Cloud/CloudConfig.h"
#include "Platform/Linux/KeychainStore.h"
#include "Services/LogService.h"
#include "TestWait.h"

#include <QDirIterator>
#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>
#include <QUuid>
#include <gtest/gtest.h>

#include <qt6keychain/keychain.h>

namespace {

QString uniqueService()
{
    return QStringLiteral("quillo.test.") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

} // namespace

TEST(KeychainStore, KeepsOneTokenAcrossSavesAndDeletes)
{
    KeychainStore store(uniqueService(), QStringLiteral("default"));
    auto loaded = store.load();
    ASSERT_TRUE(loaded) << loaded.error().logText().toStdString();
    EXPECT_FALSE(loaded.value().has_value());

    ASSERT_TRUE(store.save(QStringLiteral("first")));
    ASSERT_TRUE(store.save(QStringLiteral("second \u00e9\u6f22")));
    loaded = store.load();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded.value(), QStringLiteral("second \u00e9\u6f22"));
    // Another account of the same service is another item.
    EXPECT_FALSE(KeychainStore(store.service(), QStringLiteral("other")).load().value().has_value());

    EXPECT_TRUE(store.remove());
    EXPECT_TRUE(store.remove()); // nothing there: still fine
    loaded = store.load();
    ASSERT_TRUE(loaded);
    EXPECT_FALSE(loaded.value().has_value());

    ASSERT_TRUE(store.save(QString()));
    loaded = store.load();
    ASSERT_TRUE(loaded);
    ASSERT_TRUE(loaded.value().has_value());
    EXPECT_TRUE(loaded.value()->isEmpty());
    EXPECT_TRUE(store.remove());
}

TEST(KeychainStore, AnItemThatIsNotUtf8CannotBeRead)
{
    const QString service = uniqueService();
    QKeychain::WritePasswordJob job(service);
    job.setAutoDelete(false);
    job.setKey(QStringLiteral("default"));
    job.setBinaryData(QByteArray("\xff\xfe\x80", 3));
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
    ASSERT_EQ(job.error(), QKeychain::NoError) << job.errorString().toStdString();

    KeychainStore store(service, QStringLiteral("default"));
    const auto loaded = store.load();
    ASSERT_FALSE(loaded);
    EXPECT_EQ(loaded.error().description(), QStringLiteral("Failed to convert keychain data"));
    EXPECT_TRUE(store.remove());
}

// Run with no session bus at all (ctest points DBUS_SESSION_BUS_ADDRESS nowhere).
TEST(KeychainWithoutSecretService, TheSignInLivesInMemoryOnly)
{
    LogService::shared()->setEntries({});
    KeychainStore store(uniqueService(), QStringLiteral("default"));
    const auto loaded = store.load();
    ASSERT_FALSE(loaded) << "a secret service answered; this test needs none";
    EXPECT_TRUE(loaded.error().storeUnavailable);

    QTemporaryDir dir;
    QSettings settings(dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
    ScriptedHttpServer server;
    settings.setValue(CloudConfig::settingsKey, server.url());
    CloudAuthService auth(store, settings, {});
    EXPECT_FALSE(auth.remembersSignIn());
    // Asked about once before it is kept, once more as the session it then is.
    server.script({200, R"({"user":{"uid":"u","email":"ann@example.com"}})"});
    server.script({200, R"({"user":{"uid":"u","email":"ann@example.com"}})"});
    std::optional<std::optional<QString>> outcome;
    auth.signInWithToken(QStringLiteral("memory-only-token"), [&](std::optional<QString> p) { outcome = p; });
    ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }));
    EXPECT_FALSE(outcome->has_value()) << outcome->value_or(QString()).toStdString();
    EXPECT_EQ(auth.status(), CloudAuthService::Status::signedIn);
    EXPECT_EQ(server.received().back().headers.value("authorization"), "Bearer memory-only-token");

    QCoreApplication::sendPostedEvents();
    const QString log = LogService::text(LogService::shared()->entries());
    EXPECT_TRUE(log.contains(QStringLiteral("[WARN] No secret store answers"))) << log.toStdString();
    // Nothing under the test's home holds the token.
    for (const QByteArray& variable : {QByteArray("XDG_DATA_HOME"), QByteArray("XDG_CONFIG_HOME"), QByteArray("XDG_CACHE_HOME")}) {
        QDirIterator it(QString::fromLocal8Bit(qgetenv(variable)), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_FALSE(file.readAll().contains("memory-only-token")) << file.fileName().toStdString();
        }
    }
    QFile settingsFile(dir.filePath(QStringLiteral("s.ini")));
    settings.sync();
    if (settingsFile.open(QIODevice::ReadOnly))
        EXPECT_FALSE(settingsFile.readAll().contains("memory-only-token"));
}
