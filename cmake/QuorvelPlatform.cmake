# Picks the folder of src/platform/ that answers the operating-system
# services for this target, and the system libraries it needs.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(QUORVEL_PLATFORM_DIR posix)
  set(QUORVEL_PLATFORM_LIBS "")
elseif(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  # Sockets from WS2_32, the word wait (WaitOnAddress) from the system's
  # synchronisation set; the IP configuration module is loaded at run time.
  set(QUORVEL_PLATFORM_DIR win32)
  set(QUORVEL_PLATFORM_LIBS ws2_32 synchronization)
  # The lean system headers: without them windows.h brings RPC's global
  # "byte" type and the min/max macros into every file of ours.
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX)
else()
  message(FATAL_ERROR "quorvel has no platform layer for ${CMAKE_SYSTEM_NAME} yet")
endif()
