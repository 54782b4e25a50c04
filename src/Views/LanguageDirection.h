#pragma once

class AppViewModel;

// Arabic reads right to left: while it is the interface language, every window mirrors
// (lists, buttons, sheets), as the application's layout direction.
namespace LanguageDirection {

// Sets the direction for the model's language now and whenever it changes (once per model).
void follow(AppViewModel& model);

} // namespace LanguageDirection
