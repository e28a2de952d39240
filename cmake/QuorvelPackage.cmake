# Debian packages made by CPack from the install components:
#   libquorvel0     the shared library under its SONAME (component library)
#   libquorvel-dev  headers, static archive, the libquorvel.so link, the CMake
#                   package and quorvel.pc (component development)
#   quorvel-tools   the quorvel command and its manual page (component tools)
# `cmake --workflow --preset package` configures for /usr, builds and runs
# cpack -G DEB; the .deb files land in <build>/packages.  A project that
# builds quorvel as its own subdirectory keeps its CPack settings.
if(WIN32 OR NOT PROJECT_IS_TOP_LEVEL)
  return()
endif()
set(QUORVEL_PACKAGE_MAINTAINER
  "quorvel maintainers <maintainers@users.noreply.c-seed-7afc9c85.example>"
  CACHE STRING "Maintainer field of the Debian packages")
set(QUORVEL_PACKAGE_RELEASE 1 CACHE STRING "Debian revision of the packages")

set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL library development)
if(QUORVEL_BUILD_TOOLS)
  list(APPEND CPACK_COMPONENTS_ALL tools)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${QUORVEL_PACKAGE_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QUORVEL_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SOURCE quorvel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tool needs libquorvel.so.0 of this build, which no installed package
# describes yet: dpkg-shlibdeps finds it here, and the dependency on
# libquorvel0 comes from the component dependencies below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME libquorvel0)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
# The shlibs file tells dpkg-shlibdeps of other packages that a program
# linked against libquorvel.so.0 needs libquorvel0 of at least this version.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The symbols file names every export with the version node of quorvel.map
# and the version that has it (this one, for all of them so far), which
# dpkg-shlibdeps prefers to the shlibs line.
file(STRINGS ${PROJECT_BINARY_DIR}/quorvel.map quorvel_node REGEX "^[A-Za-z0-9_.]+ {" LIMIT_COUNT 1)
string(REGEX REPLACE " {.*" "" quorvel_node "${quorvel_node}")
file(STRINGS ${PROJECT_BINARY_DIR}/quorvel.exports quorvel_exports)
set(quorvel_symbols "libquorvel.so.${PROJECT_VERSION_MAJOR} libquorvel0 #MINVER#\n"
  "* Build-Depends-Package: libquorvel-dev\n")
foreach(name IN LISTS quorvel_exports)
  string(APPEND quorvel_symbols " ${name}@${quorvel_node} ${PROJECT_VERSION}\n")
endforeach()
file(WRITE ${PROJECT_BINARY_DIR}/debian/libquorvel0/symbols ${quorvel_symbols})
# The loader's cache is refreshed through libc's ldconfig trigger, as dpkg
# wants it (CPack's own postinst and postrm also call ldconfig).
file(WRITE ${PROJECT_BINARY_DIR}/debian/libquorvel0/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA
  ${PROJECT_BINARY_DIR}/debian/libquorvel0/symbols ${PROJECT_BINARY_DIR}/debian/libquorvel0/triggers)
set(CPACK_COMPONENT_LIBRARY_DESCRIPTION
  "portability and utility library with a flat C interface
quorvel gives C and C++ programs one set of plain C functions for the
services that differ between platforms: tracing, threads and their
synchronisation, memory pools and containers, address and name handling,
hashes, MACs and AES, INI and JSON texts, time and child processes.
The shared library needs nothing but the C library at run time.
")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libquorvel-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS library)
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
  "portability and utility library with a flat C interface (development files)
quorvel gives C and C++ programs one set of plain C functions for the
services that differ between platforms.
This package holds the headers, the static archive, the link for the
shared library, the CMake package (find_package(quorvel CONFIG)) and the
pkg-config file.
")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME quorvel-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_TOOLS_DEPENDS library)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION
  "hashes, MACs, AES and codecs from the command line, with quorvel
The quorvel command puts the functions of the quorvel library on the
command line: digests, checksums and HMACs of files, AES encryption, Base64
and hex codecs, a self-test against published vectors and throughput
figures, and what the library sees of the host's network.
")

# What Debian puts in /usr/share/doc/<package>/ of every package: the
# copyright file and the packaging changelog, compressed.  These rules are
# left out of a plain `cmake --install` (EXCLUDE_FROM_ALL) and run only when
# CPack installs a component by name.
set(quorvel_deb_dir ${PROJECT_BINARY_DIR}/debian)
file(WRITE ${quorvel_deb_dir}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: quorvel

Files: *
Copyright: 2026 the quorvel developers
License: quorvel
 No licence has been granted for quorvel yet: all rights are reserved by
 its developers.
")
string(TIMESTAMP quorvel_deb_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${quorvel_deb_dir}/changelog.Debian
"quorvel (${PROJECT_VERSION}-${QUORVEL_PACKAGE_RELEASE}) unstable; urgency=medium

  * Packages of the library, its development files and the quorvel tool,
    made by CPack from the upstream install components.

 -- ${QUORVEL_PACKAGE_MAINTAINER}  ${quorvel_deb_date}
")
find_program(QUORVEL_GZIP gzip)
if(QUORVEL_GZIP)
  execute_process(COMMAND ${QUORVEL_GZIP} -9 -n -f ${quorvel_deb_dir}/changelog.Debian
    RESULT_VARIABLE quorvel_gzip_result)
  if(NOT quorvel_gzip_result EQUAL 0)
    message(FATAL_ERROR "gzip of ${quorvel_deb_dir}/changelog.Debian failed")
  endif()
  foreach(component IN LISTS CPACK_COMPONENTS_ALL)
    string(TOUPPER ${component} upper)
    install(FILES ${quorvel_deb_dir}/copyright ${quorvel_deb_dir}/changelog.Debian.gz
      DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
      COMPONENT ${component} EXCLUDE_FROM_ALL)
  endforeach()
endif()

# CPack strips the shared library and the tool but leaves archives alone;
# the archive in libquorvel-dev loses its debugging sections and compiler
# notes as well.
if(CMAKE_STRIP)
  install(CODE "
    execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug --remove-section=.comment
      --enable-deterministic-archives
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:quorvel_static>\"
      COMMAND_ERROR_IS_FATAL ANY)"
    COMPONENT development EXCLUDE_FROM_ALL)
endif()

include(CPack)
