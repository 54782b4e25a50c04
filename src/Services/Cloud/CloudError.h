#pragma once

#include <QString>
#include <optional>

// Why a call to Quillo Cloud failed; `description()` is what the user reads.
struct CloudError
{
    enum class Kind
    {
        http,            // any status outside 2xx other than 401
        decoding,        // a 2xx body that is not what was asked for
        transport,       // no HTTP answer at all (no network, time-out, refused)
        notSignedIn,     // no token: nothing was sent
        unauthorized,    // 401: the token is no longer valid
        invalidResponse, // an answer that is not HTTP
        insecureConnection // the token would travel in clear text to another machine
    };

    Kind kind = Kind::invalidResponse;
    int status = 0;                 // http
    std::optional<QString> message; // http: the service's own message
    QString detail;                 // decoding: the reader's words; transport: the network's;
                                    // insecureConnection: the base URL

    static CloudError http(int status, std::optional<QString> message) { return {Kind::http, status, std::move(message), {}}; }
    static CloudError decoding(QString detail) { return {Kind::decoding, 0, std::nullopt, std::move(detail)}; }
    static CloudError transport(QString detail) { return {Kind::transport, 0, std::nullopt, std::move(detail)}; }
    static CloudError notSignedIn() { return {Kind::notSignedIn, 0, std::nullopt, {}}; }
    static CloudError unauthorized() { return {Kind::unauthorized, 0, std::nullopt, {}}; }
    static CloudError invalidResponse() { return {Kind::invalidResponse, 0, std::nullopt, {}}; }
    static CloudError insecureConnection(QString baseURL) { return {Kind::insecureConnection, 0, std::nullopt, std::move(baseURL)}; }

    QString description() const;
    bool operator==(const CloudError&) const = default;
};
