#pragma once

#include "Models/Expected.h"
#include "Services/Cloud/CloudBackup.h"
#include "Services/Cloud/CloudBackupSummary.h"
#include "Services/Cloud/CloudRevisionFile.h"
#include "Services/Cloud/CloudUser.h"
#include "Services/Cloud/VersionResponse.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

// Reads the bodies Quillo Cloud answers with. Keys a record does not know are
// ignored; dates are whole-second ISO 8601 text, nothing else. A failure is the
// reader's description of the first problem.
namespace CloudResponses {

// {"user": {...}}
Expected<CloudUser, QString> meResponse(const QByteArray& body);
// {"token": "..."}: a device token (base64url, at most 200 characters).
Expected<QString, QString> tokenResponse(const QByteArray& body);
// {"backup": {...}}
Expected<CloudBackup, QString> createResponse(const QByteArray& body);
// {"backups": [{...}]}
Expected<std::vector<CloudBackupSummary>, QString> backupsResponse(const QByteArray& body);
// {"revisions": [{...}]}
Expected<std::vector<CloudRevision>, QString> revisionsResponse(const QByteArray& body);
// {"revision": {...}, "data": Base64}: the bytes must have the size and SHA-256 it names.
Expected<CloudRevisionFile, QString> revisionFileResponse(const QByteArray& body);
// {"version": ..., "downloadUrl": ..., ...}
Expected<VersionResponse, QString> versionResponse(const QByteArray& body);
// The "error" text of an unsuccessful answer, when it has one.
std::optional<QString> errorMessage(const QByteArray& body);

} // namespace CloudResponses
