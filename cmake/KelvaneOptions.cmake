# Compiler settings shared by every target of the project.
add_library(kelvane_options INTERFACE)
target_compile_options(kelvane_options INTERFACE -Wall -Wextra -Wconversion -Wshadow -Wsign-conversion)
if(KELVANE_WERROR)
  target_compile_options(kelvane_options INTERFACE -Werror)
endif()
if(KELVANE_SANITIZE)
  target_compile_options(kelvane_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(kelvane_options INTERFACE -fsanitize=address,undefined)
endif()
