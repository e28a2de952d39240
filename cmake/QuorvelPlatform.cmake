# Picks the folder of src/platform/ that answers the operating-system
# services for this target, and the system libraries it needs.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(QUORVEL_PLATFORM_DIR posix)
  set(QUORVEL_PLATFORM_LIBS "")
else()
  message(FATAL_ERROR "quorvel has no platform layer for ${CMAKE_SYSTEM_NAME} yet")
endif()
