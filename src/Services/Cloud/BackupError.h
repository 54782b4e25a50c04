#pragma once

#include "Codec/EncodingError.h"
#include "Services/Cloud/CloudError.h"

#include <variant>

// Why a backup did not happen: the macro has no JSON form, or the service call failed.
struct BackupError
{
    std::variant<CloudError, EncodingError> reason;

    QString description() const
    {
        return std::visit([](const auto& r) { return r.description(); }, reason);
    }
    bool isUnauthorized() const
    {
        const auto* cloud = std::get_if<CloudError>(&reason);
        return cloud && cloud->kind == CloudError::Kind::unauthorized;
    }
    bool operator==(const BackupError&) const = default;
};
