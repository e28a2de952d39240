# Checks on the built library as a whole: the exported set, the run-time
# dependencies, the public headers from C99, and the installed package.

# The public headers must compile as strict C99 and link against the
# shared library.
add_executable(c99_consumer ${CMAKE_CURRENT_LIST_DIR}/c99_consumer.c)
set_target_properties(c99_consumer PROPERTIES C_STANDARD 99 C_EXTENSIONS OFF)
target_compile_options(c99_consumer PRIVATE -Wall -Wextra -pedantic -Werror)
target_link_libraries(c99_consumer PRIVATE quorvel)
add_test(NAME abi.c99_consumer COMMAND c99_consumer)

add_test(NAME abi.exported_set
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_exports.sh
          $<TARGET_FILE:quorvel> ${PROJECT_BINARY_DIR}/quorvel.exports)
add_test(NAME abi.runtime_dependencies
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_dependencies.sh $<TARGET_FILE:quorvel>)

# Installs into a scratch prefix and builds a consumer with
# find_package(quorvel CONFIG) and with pkg-config.  Skipped under the
# sanitizers, whose run-time libraries the plain consumer does not link.
if(NOT QUORVEL_SANITIZE)
  add_test(NAME abi.installed_package
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_install.sh
            ${CMAKE_COMMAND} ${PROJECT_BINARY_DIR} ${CMAKE_CURRENT_LIST_DIR}/consumer)
  set_tests_properties(abi.installed_package PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
endif()

add_test(NAME abi.export_lists
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_export_lists.sh ${PROJECT_SOURCE_DIR}
          $<TARGET_OBJECTS:quorvel_objects>
  COMMAND_EXPAND_LISTS)
add_test(NAME abi.include_seams
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_seams.sh ${PROJECT_SOURCE_DIR})
