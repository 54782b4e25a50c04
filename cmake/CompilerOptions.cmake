# Warnings and sanitizers shared by every target of the project.
add_library(quillo_options INTERFACE)
target_compile_options(quillo_options INTERFACE -Wall -Wextra -Wno-missing-field-initializers)
target_compile_definitions(quillo_options INTERFACE
  QT_NO_KEYWORDS QT_NO_FOREACH)

if(QUILLO_SANITIZE)
  target_compile_options(quillo_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(quillo_options INTERFACE -fsanitize=address,undefined)
endif()
