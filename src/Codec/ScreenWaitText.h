#pragma once

#include "Models/ScreenWait.h"

#include <optional>
#include <string_view>

// The words a wait step's fields have in macro files.
namespace ScreenWaitText {

std::string_view kind(ScreenWait::Kind kind);
std::optional<ScreenWait::Kind> kindFrom(std::string_view text);
std::string_view event(ScreenWait::WindowEvent event);
std::optional<ScreenWait::WindowEvent> eventFrom(std::string_view text);
std::string_view titleMatch(ScreenWait::TitleMatch match);
std::optional<ScreenWait::TitleMatch> titleMatchFrom(std::string_view text);

} // namespace ScreenWaitText
