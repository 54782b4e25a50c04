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

# The fuzz build instruments everything for coverage and address checks.
if(QUILLO_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QUILLO_BUILD_FUZZ needs clang (configure with -DCMAKE_CXX_COMPILER=clang++)")
  endif()
  target_compile_options(quillo_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(quillo_options INTERFACE -fsanitize=address,undefined)
endif()
