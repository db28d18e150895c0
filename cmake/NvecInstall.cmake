# Installation and the Debian package.
#
# Installed layout, relative to CMAKE_INSTALL_PREFIX:
#   <tcl dir>/nvec1.19/libnvec.so, pkgIndex.tcl   the Tcl package directory
#   include/nvec.h                                the C interface
#   <libdir>/cmake/nvec/nvecConfig*.cmake,        find_package(nvec)
#                       nvecTcl8.6.cmake
#   <libdir>/pkgconfig/nvec.pc                    pkg-config nvec
#   share/man/mann/nvec.n                         the manual page
# A build for Tcl 9.0 installs libtcl9nvec1.19.so, nvecTcl9.0.cmake and
# tcl9nvec.pc in their place and the same shared files, so that builds for
# both versions can be installed into one prefix, one package directory.
#
# The Tcl directory is one that Debian's tclsh8.6 and tclsh9.0 have on
# their auto_path: lib/tcltk/<multiarch> for the prefix /usr (Debian's
# place for packages with compiled code), lib/tcltk otherwise
# (/usr/local/lib/tcltk for the default prefix). NVEC_INSTALL_TCLDIR
# chooses another one.
#
# On Windows the package directory holds everything a Tcl user needs, as
# the zip that cpack makes of it:
#   lib/nvec1.19/libnvec.dll, pkgIndex.tcl, nvec.h, nvec.txt (the manual)
#   lib/libnvec.dll.a                            the import library
#   lib/cmake/nvec/..., lib/pkgconfig/nvec.pc    as above
# lib under the prefix of a Windows Tcl (C:/Tcl/lib) is on its auto_path.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

if(NOT NVEC_INSTALL_TCLDIR)
  if(WIN32)
    set(NVEC_INSTALL_TCLDIR "lib")
  elseif(CMAKE_INSTALL_PREFIX STREQUAL "/usr" AND CMAKE_LIBRARY_ARCHITECTURE)
    set(NVEC_INSTALL_TCLDIR "lib/tcltk/${CMAKE_LIBRARY_ARCHITECTURE}")
  else()
    set(NVEC_INSTALL_TCLDIR "lib/tcltk")
  endif()
endif()
set(NVEC_INSTALL_PKGDIR "${NVEC_INSTALL_TCLDIR}/nvec${PROJECT_VERSION}")
set(NVEC_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/nvec")

install(TARGETS nvec LIBRARY DESTINATION "${NVEC_INSTALL_PKGDIR}"
        RUNTIME DESTINATION "${NVEC_INSTALL_PKGDIR}" ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}")
install(FILES "${NVEC_PKG_DIR}/pkgIndex.tcl" DESTINATION "${NVEC_INSTALL_PKGDIR}")
if(WIN32)
  set(NVEC_INSTALL_INCLUDEDIR "${NVEC_INSTALL_PKGDIR}")
  # The manual as plain text, for a system without man.
  find_program(GROFF groff)
  if(GROFF)
    add_custom_command(OUTPUT nvec.txt
      COMMAND ${GROFF} -man -Tascii -P-cbou ${CMAKE_SOURCE_DIR}/doc/nvec.n > nvec.txt
      DEPENDS doc/nvec.n VERBATIM)
    add_custom_target(manual-text ALL DEPENDS nvec.txt)
  endif()
  set(NVEC_MANUAL "${CMAKE_CURRENT_BINARY_DIR}/nvec.txt")
  install(FILES "${NVEC_MANUAL}" DESTINATION "${NVEC_INSTALL_PKGDIR}" OPTIONAL)
  # The same package directory alone, nvec1.19/ at its top, for the zip.
  install(TARGETS nvec RUNTIME DESTINATION "nvec${PROJECT_VERSION}"
          COMPONENT tclpackage EXCLUDE_FROM_ALL)
  install(FILES "${NVEC_PKG_DIR}/pkgIndex.tcl" include/nvec.h "${NVEC_MANUAL}"
          DESTINATION "nvec${PROJECT_VERSION}" COMPONENT tclpackage EXCLUDE_FROM_ALL OPTIONAL)
else()
  set(NVEC_INSTALL_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
  install(FILES doc/nvec.n DESTINATION "${CMAKE_INSTALL_MANDIR}/mann" OPTIONAL)
endif()
install(FILES include/nvec.h DESTINATION "${NVEC_INSTALL_INCLUDEDIR}")

# The package configuration finds its files relative to its own location,
# so an installation can be moved (or used from a DESTDIR staging tree).
# nvecConfig.cmake is the same for both Tcl versions; nvecTcl<version>.cmake
# names what differs.
configure_package_config_file(cmake/nvecConfig.cmake.in
  "${CMAKE_CURRENT_BINARY_DIR}/nvecConfig.cmake"
  INSTALL_DESTINATION "${NVEC_INSTALL_CMAKEDIR}"
  PATH_VARS NVEC_INSTALL_INCLUDEDIR NVEC_INSTALL_PKGDIR CMAKE_INSTALL_LIBDIR)
write_basic_package_version_file("${CMAKE_CURRENT_BINARY_DIR}/nvecConfigVersion.cmake"
  VERSION "${PROJECT_VERSION}" COMPATIBILITY SameMajorVersion)
configure_file(cmake/nvecTcl.cmake.in
  "${CMAKE_CURRENT_BINARY_DIR}/nvecTcl${NVEC_TCL_VERSION}.cmake" @ONLY)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/nvecConfig.cmake"
              "${CMAKE_CURRENT_BINARY_DIR}/nvecConfigVersion.cmake"
              "${CMAKE_CURRENT_BINARY_DIR}/nvecTcl${NVEC_TCL_VERSION}.cmake"
        DESTINATION "${NVEC_INSTALL_CMAKEDIR}")

# nvec.pc (tcl9nvec.pc for Tcl 9.0) names its folders relative to its own
# place (pkg-config's ${pcfiledir}), as the package configuration does, so
# that an installation can be moved, installed again with `cmake --install
# <dir> --prefix P`, or used from a DESTDIR staging tree.
if(NVEC_TCL_VERSION VERSION_LESS 9)
  set(NVEC_PC_NAME nvec)
else()
  set(NVEC_PC_NAME tcl9nvec)
endif()
set(NVEC_PC_DIR "${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig")
if(IS_ABSOLUTE "${NVEC_INSTALL_PKGDIR}")
  set(NVEC_PC_PKGDIR_FULL "${NVEC_INSTALL_PKGDIR}")
else()
  set(NVEC_PC_PKGDIR_FULL "${CMAKE_INSTALL_PREFIX}/${NVEC_INSTALL_PKGDIR}")
endif()
if(WIN32)
  set(NVEC_PC_INCLUDEDIR_FULL "${NVEC_PC_PKGDIR_FULL}")
else()
  set(NVEC_PC_INCLUDEDIR_FULL "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
endif()
foreach(pair "PREFIX;${CMAKE_INSTALL_PREFIX}" "INCLUDEDIR;${NVEC_PC_INCLUDEDIR_FULL}"
             "PKGDIR;${NVEC_PC_PKGDIR_FULL}")
  list(GET pair 0 name)
  list(GET pair 1 dir)
  cmake_path(RELATIVE_PATH dir BASE_DIRECTORY "${NVEC_PC_DIR}" OUTPUT_VARIABLE rel)
  set(NVEC_PC_${name} "\${pcfiledir}/${rel}")
endforeach()
configure_file(cmake/nvec.pc.in "${CMAKE_CURRENT_BINARY_DIR}/${NVEC_PC_NAME}.pc" @ONLY)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/${NVEC_PC_NAME}.pc" DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig")

# cpack -G DEB (configure with -DCMAKE_INSTALL_PREFIX=/usr for Debian's paths).
set(CPACK_PACKAGE_NAME "tcl-nvec")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
# NVEC_DEB_WITH names the build folder of the other Tcl version, built
# for the same prefix: the package then holds both libraries in its one
# package directory and works with either Tcl.
set(NVEC_DEB_WITH "" CACHE PATH
    "Build folder of nvec for the other Tcl version, whose files the Debian package also holds")
if(NVEC_DEB_WITH)
  set(CPACK_INSTALL_CMAKE_PROJECTS
      "${CMAKE_BINARY_DIR};nvec;ALL;/" "${NVEC_DEB_WITH};nvec;ALL;/")
  set(NVEC_DEB_TCL "tcl8.6 (>= 8.6.0) | tcl9.0")
  set(NVEC_DEB_TCL_DEV "tcl8.6-dev | tcl9.0-dev")
  set(NVEC_DEB_FOR "Tcl 8.6 and 9.0")
else()
  set(NVEC_DEB_TCL "tcl${NVEC_TCL_VERSION} (>= ${NVEC_TCL_VERSION}.0)")
  set(NVEC_DEB_TCL_DEV "tcl${NVEC_TCL_VERSION}-dev")
  set(NVEC_DEB_FOR "Tcl ${NVEC_TCL_VERSION}")
endif()
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "packed numeric array values for ${NVEC_DEB_FOR}")
set(CPACK_PACKAGE_DESCRIPTION
  "nvec adds seven packed, typed numeric array value types to Tcl and the
command nvec to create, change, reduce, sort and search them. The package
holds the Tcl package directory, the C header, the CMake package
configuration and pkg-config file for extensions that use the arrays, and
the manual page nvec(n).")
# The package holds the files at the paths of the configured prefix.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "nvec maintainers <nvec@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION "interpreters")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${NVEC_DEB_TCL}")
# Building an extension against nvec.h needs tcl.h.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "${NVEC_DEB_TCL_DEV}")
# CPack runs dpkg-shlibdeps on the files that `file` calls shared objects.
find_program(NVEC_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(NVEC_FILE file)
if(NVEC_DPKG_SHLIBDEPS AND NVEC_FILE)
  # Adds libc6, libstdc++6 and libgcc-s1 with the versions the build needs.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libc6, libstdc++6, libgcc-s1")
endif()
# cpack on Windows: a zip of the package directory (nvec1.19/ at its top),
# to unpack into the lib folder of a Windows Tcl.
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL tclpackage)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_SET_DESTDIR OFF)
  set(CPACK_PACKAGING_INSTALL_PREFIX "/")
  set(CPACK_ARCHIVE_TCLPACKAGE_FILE_NAME "nvec${PROJECT_VERSION}-windows-x86_64")
endif()
include(CPack)
