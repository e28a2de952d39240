# Warning flags shared by the library, its tests and its tools.
set(QUORVEL_CXX_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wconversion
    -Wno-sign-conversion -Wcast-align -Wformat=2 -Wundef)
if(WIN32)
  # mingw's va_list carries a calling-convention attribute that templates
  # such as std::atomic of a function pointer type drop, harmlessly.
  list(APPEND QUORVEL_CXX_WARNINGS -Wno-ignored-attributes)
endif()
if(QUORVEL_WERROR)
  list(APPEND QUORVEL_CXX_WARNINGS -Werror)
endif()

# Sanitizer builds: QUORVEL_SANITIZE is "address,undefined" or "thread".
set(QUORVEL_SANITIZE "" CACHE STRING "Sanitizers to build with")
if(QUORVEL_SANITIZE)
  add_compile_options(-fsanitize=${QUORVEL_SANITIZE} -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${QUORVEL_SANITIZE})
endif()
