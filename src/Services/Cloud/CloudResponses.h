#pragma once

#include "Models/Expected.h"
#include "Services/Cloud/CloudBackup.h"
#include "Services/Cloud/CloudUser.h"
#include "Services/Cloud/VersionResponse.h"

#include <QByteArray>
#include <QString>
#include <optional>

// Reads the bodies Quillo Cloud answers with. Keys a record does not know are
// ignored; dates are whole-second ISO 8601 text, nothing else. A failure is the
// reader's description of the first problem.
namespace CloudResponses {

// {"user": {...}}
Expected<CloudUser, QString> meResponse(const QByteArray& body);
// {"backup": {...}}
Expected<CloudBackup, QString> createResponse(const QByteArray& body);
// {"version": ..., "downloadUrl": ..., ...}
Expected<VersionResponse, QString> versionResponse(const QByteArray& body);
// The "error" text of an unsuccessful answer, when it has one.
std::optional<QString> errorMessage(const QByteArray& body);

} // namespace CloudResponses
