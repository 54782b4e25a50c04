#include "Codec/ScreenWaitText.h"

#include <array>

namespace {

constexpr std::array<std::string_view, 4> kKinds = {"image", "color", "window", "screenSettles"};
constexpr std::array<std::string_view, 3> kEvents = {"appear", "front", "close"};
constexpr std::array<std::string_view, 2> kMatches = {"contains", "pattern"};

template <typename E, std::size_t N> std::optional<E> from(const std::array<std::string_view, N>& texts, std::string_view text)
{
    for (std::size_t i = 0; i < N; ++i)
        if (texts[i] == text)
            return E(i);
    return std::nullopt;
}

} // namespace

namespace ScreenWaitText {

std::string_view kind(ScreenWait::Kind kind) { return kKinds[std::size_t(kind)]; }
std::optional<ScreenWait::Kind> kindFrom(std::string_view text) { return from<ScreenWait::Kind>(kKinds, text); }
std::string_view event(ScreenWait::WindowEvent event) { return kEvents[std::size_t(event)]; }
std::optional<ScreenWait::WindowEvent> eventFrom(std::string_view text)
{
    return from<ScreenWait::WindowEvent>(kEvents, text);
}
std::string_view titleMatch(ScreenWait::TitleMatch match) { return kMatches[std::size_t(match)]; }
std::optional<ScreenWait::TitleMatch> titleMatchFrom(std::string_view text)
{
    return from<ScreenWait::TitleMatch>(kMatches, text);
}

} // namespace ScreenWaitText
