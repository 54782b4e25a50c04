// Server-side cost of the backup upload (checks included) and of the dashboard's first
// page, in process on an SQLite database; baseline: the upload's checks alone (JSON,
// Base64, SHA-256, the macro reader) without storing.
#include "Accounts.h"
#include "Backups.h"
#include "CloudDatabase.h"
#include "CloudServer.h"
#include "DeviceTokens.h"
#include "Codec/MacroJsonDecoder.h"
#include "Codec/MacroJsonEncoder.h"
#include "Secrets.h"
#include "WebSessions.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

Macro bigMacro(int actions, const QString& name)
{
    Macro m;
    m.id = QUuid::createUuid();
    m.metadata.name = name;
    m.metadata.createdAt = m.metadata.modifiedAt = QDateTime::currentDateTimeUtc();
    for (int i = 0; i < actions; ++i)
        m.actions.push_back(i % 3 == 0 ? MacroAction::mouseMove(i * 0.01, 100 + i % 500, 200 + i % 300)
                                       : MacroAction::keyDown(i * 0.01, std::uint16_t(i % 50), 0x20000));
    m.metadata.actionCount = actions;
    m.metadata.durationSeconds = m.totalDuration();
    return m;
}

QByteArray payload(const Macro& macro)
{
    const QByteArray bytes = MacroJsonEncoder::encodeMacro(macro, MacroJsonEncoder::Layout::compact).value();
    return QJsonDocument(QJsonObject{{QStringLiteral("sourceMacroId"), macro.id.toString(QUuid::WithoutBraces).toUpper()},
                                     {QStringLiteral("name"), macro.metadata.name},
                                     {QStringLiteral("actionCount"), double(macro.actions.size())},
                                     {QStringLiteral("durationSeconds"), macro.totalDuration()},
                                     {QStringLiteral("size"), double(bytes.size())},
                                     {QStringLiteral("sha256"), Secrets::sha256Hex(bytes)},
                                     {QStringLiteral("macroVersion"), 1},
                                     {QStringLiteral("data"), QString::fromLatin1(bytes.toBase64())}})
        .toJson(QJsonDocument::Compact);
}

struct Store {
    QTemporaryDir dir;
    std::unique_ptr<CloudDatabase> db;
    QString uid;
    Store()
    {
        QString error;
        db = CloudDatabase::open(dir.path() + QStringLiteral("/bench.sqlite"), &error);
        db->migrate(&error);
        uid = Accounts(*db).add(QStringLiteral("bench@example.com"), {}, "a long password", &error)->uid;
    }
    // The size of the database's pages in use.
    qint64 fileBytes() const
    {
        QSqlQuery query(db->connection());
        query.exec(QStringLiteral("SELECT page_count * page_size - freelist_count * page_size FROM "
                                  "pragma_page_count(), pragma_page_size(), pragma_freelist_count()"));
        return query.next() ? query.value(0).toLongLong() : 0;
    }
};

void BM_UploadChecksOnly(benchmark::State& state)
{
    const QByteArray body = payload(bigMacro(10'000, QStringLiteral("Big")));
    for (auto _ : state) {
        const QJsonObject o = QJsonDocument::fromJson(body).object();
        const QByteArray bytes = QByteArray::fromBase64(o.value(QStringLiteral("data")).toString().toLatin1());
        benchmark::DoNotOptimize(Secrets::sha256Hex(bytes));
        benchmark::DoNotOptimize(MacroJsonDecoder::decodeMacro(bytes).hasValue());
    }
    state.counters["body_MB"] = double(body.size()) / 1e6;
}

void BM_Upload10000Actions(benchmark::State& state)
{
    Store store;
    const QByteArray body = payload(bigMacro(10'000, QStringLiteral("Big")));
    Backups backups(*store.db);
    const qint64 before = store.fileBytes();
    int uploads = 0;
    for (auto _ : state) {
        if (backups.upload(store.uid, body).status != 200)
            state.SkipWithError("upload refused");
        ++uploads;
    }
    // Identical uploads add revisions, not bytes.
    QSqlQuery blobs(store.db->connection());
    blobs.exec(QStringLiteral("SELECT COUNT(*), SUM(size) FROM blobs"));
    blobs.next();
    state.counters["blobs"] = blobs.value(0).toDouble();
    state.counters["blob_MB"] = blobs.value(1).toDouble() / 1e6;
    state.counters["uploads"] = uploads;
    state.counters["db_growth_MB"] = double(store.fileBytes() - before) / 1e6;
    state.counters["body_MB"] = double(body.size()) / 1e6;
}

void BM_DashboardFirstPage(benchmark::State& state)
{
    Store store;
    Backups backups(*store.db);
    for (int m = 0; m < 1000; ++m) {
        Macro macro = bigMacro(5, QStringLiteral("Macro %1").arg(m));
        for (int r = 0; r < 10; ++r) {
            macro.metadata.name = QStringLiteral("Macro %1 r%2").arg(m).arg(r); // distinct bytes
            if (backups.upload(store.uid, payload(macro)).status != 200)
                state.SkipWithError("upload refused");
        }
    }
    const QString session = WebSessions(*store.db).create(store.uid);
    CloudServer server(*store.db, ServerSettings{});
    HttpRequest request;
    request.method = "GET";
    request.path = "/dashboard";
    request.headers.insert("cookie", "quillo_session=" + session.toLatin1());
    qint64 bytes = 0;
    for (auto _ : state) {
        const HttpResponse page = server.handle(request);
        if (page.status != 200)
            state.SkipWithError("dashboard refused");
        bytes = page.body.size();
    }
    state.counters["page_KB"] = double(bytes) / 1024;
}

// One request through the routes, without HTTP: the token check against the static
// version answer.
void BM_Route(benchmark::State& state, const char* path)
{
    Store store;
    const QString token = DeviceTokens(*store.db).issue(store.uid, QStringLiteral("bench"));
    CloudServer server(*store.db, ServerSettings{});
    HttpRequest request;
    request.method = "GET";
    request.path = path;
    request.headers.insert("authorization", "Bearer " + token.toLatin1());
    for (auto _ : state)
        if (server.handle(request).status != 200)
            state.SkipWithError("refused");
}

} // namespace

BENCHMARK_CAPTURE(BM_Route, version, "/api/version")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Route, me, "/api/native/me")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UploadChecksOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Upload10000Actions)->Unit(benchmark::kMillisecond)->Iterations(100);
BENCHMARK(BM_DashboardFirstPage)->Unit(benchmark::kMillisecond)->MinTime(2.0);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Secrets::initialize();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
