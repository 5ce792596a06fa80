# packaging.cmake - what `cmake --install` puts where, and the Debian package `cpack -G DEB` makes.
#
# The two commands, libpartlist.so with its header, a CMake package and a
# pkg-config file for hosts that build against the library, the man page and the shipped example.
# The static internal libraries, the tests, the fuzz targets and the benchmarks stay in the build.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS partlist EXPORT partlistTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/partlist)
install(FILES partlist/partlist.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/partlist)
if(PARTLIST_WINDOW)
  # The launcher finds the installed libpartlist.so beside its own folder, wherever the tree goes.
  file(RELATIVE_PATH PARTLIST_BIN_TO_LIB ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  set_target_properties(partlist_window_cmd PROPERTIES INSTALL_RPATH "$ORIGIN/${PARTLIST_BIN_TO_LIB}")
endif()

# The library links its static parts and Qt privately, so the package config needs nothing found
# before the imported target partlist::partlist.
set(PARTLIST_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/partlist)
install(EXPORT partlistTargets NAMESPACE partlist:: DESTINATION ${PARTLIST_CMAKE_DIR})
configure_package_config_file(cmake/partlistConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/partlistConfig.cmake
                              INSTALL_DESTINATION ${PARTLIST_CMAKE_DIR})
# The shared library's soname carries the major version: another major is another library.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/partlistConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/partlistConfig.cmake
              ${PROJECT_BINARY_DIR}/partlistConfigVersion.cmake
        DESTINATION ${PARTLIST_CMAKE_DIR})

# The pkg-config file names the prefix the tree is installed under, which `cmake --install
# --prefix` and the package (/usr) choose only at install time: it is written then.
install(CODE "
  set(PARTLIST_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  set(CMAKE_INSTALL_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(CMAKE_INSTALL_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
  string(MD5 prefixhash \"\${CMAKE_INSTALL_PREFIX}\")
  set(pc \"${PROJECT_BINARY_DIR}/pkgconfig/\${prefixhash}/partlist.pc\")
  configure_file(\"${PROJECT_SOURCE_DIR}/cmake/partlist.pc.in\" \"\${pc}\" @ONLY)
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\"
       TYPE FILE FILES \"\${pc}\")
")

# The man page carries the release in its header; installed compressed, as manual pages are.
configure_file(man/partlist.1.in ${PROJECT_BINARY_DIR}/man/partlist.1 @ONLY)
find_program(PARTLIST_GZIP gzip REQUIRED)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/man/partlist.1.gz
  COMMAND ${PARTLIST_GZIP} -9nf -k ${PROJECT_BINARY_DIR}/man/partlist.1
  DEPENDS ${PROJECT_BINARY_DIR}/man/partlist.1
  COMMENT "Compressing the man page"
  VERBATIM)
add_custom_target(partlist_manpage ALL DEPENDS ${PROJECT_BINARY_DIR}/man/partlist.1.gz)
install(FILES ${PROJECT_BINARY_DIR}/man/partlist.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(DIRECTORY examples/amp DESTINATION ${CMAKE_INSTALL_DATADIR}/partlist/examples)
install(FILES examples/expected.out DESTINATION ${CMAKE_INSTALL_DATADIR}/partlist/examples)

# The Debian package: `cpack -G DEB` in the build folder. Its dependencies are read from the
# installed binaries by dpkg-shlibdeps where it exists; elsewhere they are the ones we know of.
set(PARTLIST_PACKAGE_MAINTAINER "Partlist Maintainers <partlist@maintainers.invalid>"
    CACHE STRING "The Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME partlist)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Morvek Corporation")
set(CPACK_PACKAGE_CONTACT "${PARTLIST_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "bill-of-materials utility for Vantrell schematics")
# The long description as Debian shows it: lines of at most 79 characters.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "partlist reads a Vantrell schematic or design with the whole hierarchy below\n"
  "it, counts the parts of every sheet, sorts them into component categories,\n"
  "looks up a description for each part in a description map and writes a\n"
  "fixed-column part list and a log, and on request CSV or JSON.\n"
  "\n"
  "The package also holds the bill-of-materials window (libpartlist.so, which a\n"
  "schematic editor loads, and the partlist-window launcher), the files to build\n"
  "a host of the library and an example design.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_SOURCE_IGNORE_FILES "/\\.git/" "/build/" "/build-[^/]*/")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
find_program(PARTLIST_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(PARTLIST_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6, libsimdjson14")
  if(PARTLIST_WINDOW)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt6core6, libqt6gui6, libqt6widgets6, libqt6printsupport6")
  endif()
endif()
# Debian wants the copyright notice of every package in its documentation folder.
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/package/copyright
     CONTENT "partlist\n\nCopyright (c) Morvek Corporation. All rights reserved.\n")
install(FILES ${PROJECT_BINARY_DIR}/package/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
include(CPack)
