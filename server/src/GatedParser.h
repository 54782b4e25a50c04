#pragma once

// The HTTP layer's request parser with two changes. At the end of a request's headers the
// body gate decides whether the body may be read at all: a refused request ends there
// (the parser is told the message has no body) or has its body dropped as it arrives,
// and reaches the handler with the refusal in two fields whose names no client can send,
// as they hold a colon. And a request's headers must arrive within ten seconds.
#include "BodyGate.h"

#include <restinio/all.hpp>

#include <atomic>
#include <chrono>
#include <climits>

// The one gate of this process, installed while a service runs.
inline std::atomic<const BodyGate*> activeBodyGate{nullptr};

// The HTTP methods as the default traits map them; a type of its own picks the parser below.
struct GatedHttpMethods : restinio::default_http_methods_t {
};

inline constexpr restinio::string_view_t refusedStatusField = ":refused-status";
inline constexpr restinio::string_view_t refusedMessageField = ":refused-message";
inline constexpr restinio::string_view_t begunField = ":begun";

// A request's line and headers arrive within this time; a client that sends them a
// byte at a time to hold a connection is cut off at its next byte after it.
inline constexpr std::chrono::seconds headerTimeLimit{10};

inline std::int64_t steadyMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

inline int gatedMessageBegin(http_parser* parser)
{
    auto* context = static_cast<restinio::impl::http_parser_ctx_t*>(parser->data);
    try {
        context->m_header.set_field(std::string(begunField), std::to_string(steadyMilliseconds()));
    } catch (const std::exception&) {
        return -1;
    }
    return 0;
}

// Whether the headers of the message being read are still within their time.
inline bool headersInTime(http_parser* parser)
{
    auto* context = static_cast<restinio::impl::http_parser_ctx_t*>(parser->data);
    if (context->m_leading_headers_completed)
        return true;
    const auto begun = context->m_header.get_field_or(begunField, "");
    return begun.empty() ||
           steadyMilliseconds() - std::stoll(begun) <= std::chrono::milliseconds(headerTimeLimit).count();
}

inline int gatedHeadersComplete(http_parser* parser)
{
    if (!headersInTime(parser))
        return -1;
    auto* context = static_cast<restinio::impl::http_parser_ctx_t*>(parser->data);
    context->m_leading_headers_completed = true; // what follows the body is trailing fields
    const bool chunked = (parser->flags & F_CHUNKED) != 0;
    const bool sized = parser->content_length != ULLONG_MAX && parser->content_length > 0;
    if (!chunked && !sized)
        return 0;
    try {
        if (const BodyGate* gate = activeBodyGate.load()) {
            const std::string& target = context->m_header.request_target();
            const QByteArray path = QByteArray::fromStdString(target.substr(0, target.find('?')));
            const auto authorization = context->m_header.get_field_or(restinio::http_field::authorization, "");
            const auto refusal = gate->check(QByteArray(http_method_str(http_method(parser->method))), path,
                                             QByteArray::fromStdString(authorization),
                                             chunked ? std::nullopt : std::optional<quint64>(parser->content_length));
            if (refusal) {
                context->m_header.add_field(std::string(refusedStatusField), std::to_string(refusal->status));
                context->m_header.add_field(std::string(refusedMessageField), refusal->message.toStdString());
                // A client waiting for the go-ahead, or a body too large to wait for, is
                // answered now and the body never read; a smaller one is read and dropped.
                const bool waits = restinio::impl::is_equal_caseless(
                    context->m_header.get_field_or(restinio::http_field::expect, ""), "100-continue");
                if (waits || chunked || parser->content_length > std::uint64_t(gate->drainLimit()))
                    return 1; // no body: the message is complete
                return 0;
            }
        }
        if (sized) {
            if (parser->content_length > context->m_limits.max_body_size())
                return -1;
            // Room for the first MiB: the rest grows as it arrives, not on a promise.
            context->m_body.reserve(std::size_t(std::min<std::uint64_t>(parser->content_length, 1 << 20)));
        }
    } catch (const std::exception&) {
        return -1;
    }
    return 0;
}

// A refused request's body is dropped as it arrives.
inline int gatedBody(http_parser* parser, const char* at, size_t length)
{
    auto* context = static_cast<restinio::impl::http_parser_ctx_t*>(parser->data);
    if (context->m_header.has_field(refusedStatusField))
        return 0;
    return restinio::impl::restinio_body_cb(parser, at, length);
}

namespace restinio::impl {
template <>
inline http_parser_settings create_parser_settings<GatedHttpMethods>() noexcept
{
    http_parser_settings settings = create_parser_settings<default_http_methods_t>();
    settings.on_message_begin = [](http_parser* parser) -> int { return gatedMessageBegin(parser); };
    settings.on_url = [](http_parser* parser, const char* at, size_t length) -> int {
        return headersInTime(parser) ? restinio_url_cb(parser, at, length) : -1;
    };
    settings.on_header_field = [](http_parser* parser, const char* at, size_t length) -> int {
        return headersInTime(parser) ? restinio_header_field_cb(parser, at, length) : -1;
    };
    settings.on_header_value = [](http_parser* parser, const char* at, size_t length) -> int {
        return headersInTime(parser) ? restinio_header_value_cb(parser, at, length) : -1;
    };
    settings.on_headers_complete = [](http_parser* parser) -> int { return gatedHeadersComplete(parser); };
    settings.on_body = [](http_parser* parser, const char* at, size_t length) -> int {
        return gatedBody(parser, at, length);
    };
    settings.on_message_complete = [](http_parser* parser) -> int {
        return restinio_message_complete_cb<GatedHttpMethods>(parser);
    };
    return settings;
}
} // namespace restinio::impl
