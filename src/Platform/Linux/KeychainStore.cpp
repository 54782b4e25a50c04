#include "Platform/Linux/KeychainStore.h"

#include <QEventLoop>
#include <QStringDecoder>

#include <qt6keychain/keychain.h>

namespace {

// Runs `job` to its end; its error, or nothing.
std::optional<KeychainError> run(QKeychain::Job& job)
{
    job.setAutoDelete(false);
    job.setInsecureFallback(false);
    QEventLoop loop;
    bool finished = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    job.start();
    if (!finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (job.error() == QKeychain::NoError)
        return std::nullopt;
    KeychainError error{KeychainError::Kind::unexpectedStatus, int(job.error()), job.errorString()};
    // No backend, or none reachable on the bus ("Could not connect").
    error.storeUnavailable = job.error() == QKeychain::NoBackendAvailable || job.error() == QKeychain::OtherError;
    return error;
}

} // namespace

KeychainStore::KeychainStore(QString service, QString account)
    : m_service(std::move(service)), m_account(std::move(account))
{
}

Status<KeychainError> KeychainStore::save(const QString& secret)
{
    QKeychain::WritePasswordJob job(m_service);
    job.setKey(m_account);
    job.setTextData(secret);
    if (auto error = run(job))
        return failure(*error);
    return ok;
}

Expected<std::optional<QString>, KeychainError> KeychainStore::load()
{
    QKeychain::ReadPasswordJob job(m_service);
    job.setKey(m_account);
    if (auto error = run(job)) {
        if (job.error() == QKeychain::EntryNotFound)
            return std::optional<QString>();
        return failure(*error);
    }
    const QByteArray bytes = job.binaryData();
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return failure(KeychainError{KeychainError::Kind::dataConversionFailed});
    return std::optional<QString>(text);
}

Status<KeychainError> KeychainStore::remove()
{
    QKeychain::DeletePasswordJob job(m_service);
    job.setKey(m_account);
    if (auto error = run(job); error && job.error() != QKeychain::EntryNotFound)
        return failure(*error);
    return ok;
}
