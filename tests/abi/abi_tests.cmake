# Checks on the built library as a whole: the exported set, the run-time
# dependencies, the public headers from C99, and the README's install path.

# The public headers must compile as strict C99 and link against the
# shared library.
add_executable(c99_consumer ${CMAKE_CURRENT_LIST_DIR}/c99_consumer.c)
set_target_properties(c99_consumer PROPERTIES C_STANDARD 99 C_EXTENSIONS OFF)
target_compile_options(c99_consumer PRIVATE -Wall -Wextra -pedantic -Werror)
target_link_libraries(c99_consumer PRIVATE quorvel)
if(QUORVEL_TESTS_RUN)
  add_test(NAME abi.c99_consumer COMMAND c99_consumer)
endif()

if(WIN32)
  quorvel_read_export_lists("${QUORVEL_EXPORT_LISTS}" quorvel_symbols quorvel_data_symbols)
  add_test(NAME abi.exported_set
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_dll_exports.sh
            $<TARGET_FILE:quorvel> $<TARGET_LINKER_FILE:quorvel> ${PROJECT_BINARY_DIR}/quorvel.exports
            ${quorvel_data_symbols})
  set_tests_properties(abi.exported_set PROPERTIES ENVIRONMENT "OBJDUMP=${CMAKE_OBJDUMP};NM=${CMAKE_NM}")
  add_test(NAME abi.runtime_dependencies
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_dll_imports.sh $<TARGET_FILE:quorvel>)
  set_tests_properties(abi.runtime_dependencies PROPERTIES ENVIRONMENT "OBJDUMP=${CMAKE_OBJDUMP}")
else()
  add_test(NAME abi.exported_set
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_exports.sh
            $<TARGET_FILE:quorvel> ${PROJECT_BINARY_DIR}/quorvel.exports)
  set_tests_properties(abi.exported_set PROPERTIES ENVIRONMENT "NM=${CMAKE_NM}")
  add_test(NAME abi.runtime_dependencies
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_dependencies.sh $<TARGET_FILE:quorvel>)
endif()

# Runs the install and consumer sequence of README.md ("Using quorvel") in a
# fresh copy of the tree.  The sequence builds its own plain library, so the
# sanitizer, coverage and cross builds leave it to the plain native ones.
if(NOT CMAKE_CROSSCOMPILING AND NOT CMAKE_CXX_FLAGS MATCHES "--coverage")
  add_test(NAME abi.readme_install
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_readme_install.sh
            ${CMAKE_COMMAND} ${PROJECT_SOURCE_DIR} "${QUORVEL_SANITIZE}")
  set_tests_properties(abi.readme_install PROPERTIES TIMEOUT 900 SKIP_RETURN_CODE 77)
endif()

add_test(NAME abi.export_lists
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_export_lists.sh ${PROJECT_SOURCE_DIR}
          $<TARGET_OBJECTS:quorvel_objects>
  COMMAND_EXPAND_LISTS)
# Lists of sources that only other platforms compile are left out.
set(quorvel_other_lists "")
if(NOT WIN32)
  foreach(source IN LISTS QUORVEL_RUNTIME_SOURCES_win32)
    string(REGEX REPLACE "\\.cpp$" ".exports" list_file ${source})
    list(APPEND quorvel_other_lists ${list_file})
  endforeach()
endif()
string(REPLACE ";" " " quorvel_other_lists "${quorvel_other_lists}")
set(quorvel_symbol_prefix "")
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(quorvel_symbol_prefix "_")
endif()
set_tests_properties(abi.export_lists PROPERTIES ENVIRONMENT
  "NM=${CMAKE_NM};SKIP=${quorvel_other_lists};SYMBOL_PREFIX=${quorvel_symbol_prefix}")
add_test(NAME abi.include_seams
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_seams.sh ${PROJECT_SOURCE_DIR})
