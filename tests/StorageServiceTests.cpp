#include "Codec/MacroJsonEncoder.h"
#include "Services/LogService.h"
#include "Services/MacroMigrationService.h"
#include "Services/StorageService.h"
#include "TestMacros.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class StorageServiceTest : public ::testing::Test
{
protected:
    void SetUp() override { QDir(m_dir.path()).mkdir(QStringLiteral("Quillo")); }
    QString path() const { return m_dir.path() + QStringLiteral("/Quillo/macros.json"); }

    void writeFile(const QByteArray& bytes)
    {
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    QByteArray readFile(const QString& file) const
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
    }

    QString loadError(StorageService& store)
    {
        auto result = store.loadAll();
        return result ? QStringLiteral("(loaded)") : result.error().description();
    }

    QStringList folderEntries() const
    {
        return QDir(m_dir.path() + QStringLiteral("/Quillo")).entryList(QDir::Files, QDir::Name);
    }

    QTemporaryDir m_dir;
};

Macro withVersion(qint64 version)
{
    Macro m = TestMacros::small();
    m.id = QUuid::createUuid();
    m.version = version;
    return m;
}

} // namespace

TEST_F(StorageServiceTest, DefaultLocationIsUnderTheUsersDataFolder)
{
    StorageService store;
    EXPECT_EQ(store.storageURL(), QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) +
                                      QStringLiteral("/Quillo/macros.json"));
    EXPECT_TRUE(QDir(QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + QStringLiteral("/Quillo"))
                    .exists());
}

TEST_F(StorageServiceTest, MissingOrEmptyArrayLoadsAsAnEmptyLibraryWithoutCreatingAFile)
{
    StorageService store(path());
    auto loaded = store.loadAll();
    ASSERT_TRUE(loaded.hasValue());
    EXPECT_TRUE(loaded.value().empty());
    EXPECT_FALSE(QFile::exists(path()));

    writeFile("[]");
    EXPECT_TRUE(store.loadAll().value().empty());
    ASSERT_TRUE(store.saveAll({}).hasValue());
    EXPECT_EQ(readFile(path()), QByteArray("[]"));
}

TEST_F(StorageServiceTest, SavesAreByteIdenticalAndReadBackEqual)
{
    StorageService store(path());
    std::mt19937_64 rng(7);
    std::vector<Macro> macros = {TestMacros::small(), TestMacros::anyMacro(rng)};
    ASSERT_TRUE(store.saveAll(macros).hasValue());
    const QByteArray first = readFile(path());
    ASSERT_TRUE(store.saveAll(macros).hasValue());
    EXPECT_EQ(readFile(path()), first);
    EXPECT_EQ(StorageService(path()).loadAll().value(), macros);
    // No temporary files are left beside the library; the write lock is held.
    EXPECT_EQ(folderEntries(), (QStringList{QStringLiteral("macros.json"), QStringLiteral("macros.json.lock")}));
}

TEST_F(StorageServiceTest, AFailedEncodingLeavesTheFileAsItWas)
{
    StorageService store(path());
    ASSERT_TRUE(store.saveAll({TestMacros::small()}).hasValue());
    const QByteArray before = readFile(path());
    Macro bad = TestMacros::small();
    bad.actions.push_back(MacroAction::delay(2, std::nan("")));
    auto saved = store.saveAll({bad});
    ASSERT_FALSE(saved.hasValue());
    EXPECT_TRUE(std::holds_alternative<EncodingError>(saved.error().reason));
    EXPECT_EQ(readFile(path()), before);
}

TEST_F(StorageServiceTest, UnsupportedVersionsFailTheWholeLoad)
{
    StorageService store(path());
    writeFile(MacroJsonEncoder::encodeLibrary({withVersion(1), withVersion(2)}).value());
    EXPECT_EQ(
        loadError(store),
        QStringLiteral(
            "Macro format v2 was created by a newer version of Quillo. Please update the app."));
    writeFile(MacroJsonEncoder::encodeLibrary({withVersion(0)}).value());
    EXPECT_EQ(
        loadError(store),
        QStringLiteral("Macro format v0 is too old and cannot be migrated. Please re-record."));
    writeFile(MacroJsonEncoder::encodeLibrary({withVersion(-3)}).value());
    EXPECT_EQ(
        loadError(store),
        QStringLiteral("Macro format v-3 is too old and cannot be migrated. Please re-record."));

    auto migrated =
        MacroMigrationService::migrate({withVersion(1), withVersion(5), withVersion(0)});
    ASSERT_FALSE(migrated.hasValue());
    EXPECT_EQ(migrated.error(), (MigrationError{MigrationError::Kind::versionTooNew, 5}));
    EXPECT_TRUE(MacroMigrationService::migrate(std::vector<Macro>{}).value().empty());
}

TEST_F(StorageServiceTest, FilesThatAreNotALibraryFailToLoad)
{
    StorageService store(path());
    writeFile("");
    EXPECT_EQ(loadError(store), QStringLiteral("the text is empty"));
    writeFile(MacroJsonEncoder::encodeMacro(TestMacros::small()).value());
    EXPECT_EQ(loadError(store), QStringLiteral("expected an array of macros but found an object"));
}

TEST_F(StorageServiceTest, AnUnreadableLibraryIsKeptAsideBeforeTheNextSave)
{
    LogService::shared()->setEntries({});
    const QByteArray unreadable =
        MacroJsonEncoder::encodeLibrary({withVersion(1), withVersion(2)}).value();
    writeFile(unreadable);
    StorageService store(path());
    ASSERT_FALSE(store.loadAll().hasValue());
    EXPECT_EQ(readFile(path()), unreadable); // loading never writes

    // An earlier kept file of the same second is not overwritten.
    const QString taken = StorageService::setAsidePath(path(), QDateTime::currentDateTime());
    {
        QFile f(taken);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("earlier");
    }

    ASSERT_TRUE(store.saveAll({TestMacros::small()}).hasValue());
    EXPECT_EQ(StorageService(path()).loadAll().value(), std::vector<Macro>{TestMacros::small()});
    EXPECT_EQ(readFile(taken), QByteArray("earlier"));
    const QStringList kept = folderEntries().filter(QStringLiteral("macros.json.unreadable-"));
    ASSERT_EQ(kept.size(), 2);
    const QString aside = m_dir.path() + QStringLiteral("/Quillo/") +
                          (kept[0] == QFileInfo(taken).fileName() ? kept[1] : kept[0]);
    EXPECT_EQ(readFile(aside), unreadable);

    QCoreApplication::sendPostedEvents();
    const auto& log = LogService::shared()->entries();
    ASSERT_FALSE(log.isEmpty());
    EXPECT_EQ(log.back().level, LogEntry::Level::warn);
    EXPECT_TRUE(log.back().message.contains(aside)) << log.back().message.toStdString();

    // Only the first save after the failed load moves anything.
    ASSERT_TRUE(store.saveAll({}).hasValue());
    EXPECT_EQ(folderEntries().filter(QStringLiteral("unreadable")).size(), 2);
}

TEST_F(StorageServiceTest, SavesFailWithAClearMessageWhenTheFolderIsNotWritable)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes anywhere";
    StorageService store(path());
    ASSERT_TRUE(QFile::setPermissions(m_dir.path() + QStringLiteral("/Quillo"),
                                      QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    auto saved = store.saveAll({TestMacros::small()});
    QFile::setPermissions(m_dir.path() + QStringLiteral("/Quillo"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    ASSERT_FALSE(saved.hasValue());
    EXPECT_TRUE(
        saved.error().description().startsWith(QStringLiteral("Could not write ") + path()));
}

TEST_F(StorageServiceTest, TwoWritersNeverOverwriteEachOther)
{
    auto first = std::make_unique<StorageService>(path());
    StorageService second(path());
    ASSERT_TRUE(first->loadAll().hasValue());
    ASSERT_TRUE(second.loadAll().hasValue());
    ASSERT_TRUE(first->saveAll({TestMacros::small()}).hasValue());
    const QByteArray saved = readFile(path());

    auto refused = second.saveAll({});
    ASSERT_FALSE(refused.hasValue());
    EXPECT_TRUE(refused.error().description().contains(QStringLiteral("in use by another Quillo process")));
    EXPECT_EQ(readFile(path()), saved);

    // Once the first is gone, the second still may not write over what it never saw.
    first.reset();
    refused = second.saveAll({});
    ASSERT_FALSE(refused.hasValue());
    EXPECT_TRUE(refused.error().description().contains(QStringLiteral("changed by another Quillo process")));
    EXPECT_EQ(readFile(path()), saved);
    // After loading again it may.
    ASSERT_EQ(second.loadAll().value().size(), 1u);
    EXPECT_TRUE(second.saveAll({}).hasValue());
}
