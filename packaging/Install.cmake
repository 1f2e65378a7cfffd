# Installation and packaging: `cmake --install` lays out the two programs and,
# on Linux, the desktop entry, icons, AppStream metadata, manual pages and the
# licence; `cpack -G DEB` turns the same layout into a Debian package.
#
# Included at the end of the top-level CMakeLists.txt, after every target
# exists. Targets that a configuration leaves out (the desktop program without
# Qt) are skipped.

include_guard(GLOBAL)
include(GNUInstallDirs)

# --- Identity -------------------------------------------------------------
if(NOT DEFINED CORVANE_TITLE)
  set(CORVANE_TITLE "${PROJECT_NAME}")
endif()
set(CORVANE_PACKAGE_NAME "corvanecsvtocrc")
# Debian wants a name and a mail address; whoever builds a package to hand on
# puts their own here. The program has no web page: the package names none.
set(CORVANE_PACKAGE_MAINTAINER "Corvane <packaging@corvane.com>"
  CACHE STRING "Maintainer of the Debian package: a name and <mail address>")
set(CORVANE_COPYRIGHT "2026 Corvane")
# The release date appears in the AppStream release, the manual pages and the
# package changelog; both spellings are kept here side by side.
set(CORVANE_RELEASE_DATE "2026-12-07")
set(CORVANE_RELEASE_DATE_RFC2822 "Mon, 07 Dec 2026 12:00:00 +0000")

set(CORVANE_ICON_SVG "${PROJECT_SOURCE_DIR}/ui/resources/corvane.svg"
  CACHE FILEPATH "Scalable source of the program's icon")
# A build folder configured before the icon moved to ui/resources/ still
# caches its old place.
if(CORVANE_ICON_SVG STREQUAL "${PROJECT_SOURCE_DIR}/ui/about/icon/corvane.svg")
  set_property(CACHE CORVANE_ICON_SVG PROPERTY VALUE "${PROJECT_SOURCE_DIR}/ui/resources/corvane.svg")
endif()
# Sizes of the PNG icons made from the SVG for the hicolor theme.
set(CORVANE_ICON_SIZES 16 32 48 64 128 256)

set(_corvane_pkg_src "${CMAKE_CURRENT_LIST_DIR}")
set(_corvane_pkg_out "${PROJECT_BINARY_DIR}/packaging")
file(MAKE_DIRECTORY "${_corvane_pkg_out}")

# --- Programs -------------------------------------------------------------
foreach(_corvane_target IN ITEMS CorvaneCSVtoCRC csv2crc)
  if(TARGET ${_corvane_target})
    install(TARGETS ${_corvane_target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# --- Licence --------------------------------------------------------------
# Debian wants it as /usr/share/doc/<package>/copyright in its machine-readable
# format; other systems get the plain LICENSE in the same folder.
set(_corvane_docdir "${CMAKE_INSTALL_DATAROOTDIR}/doc/${CORVANE_PACKAGE_NAME}")
set(_corvane_license "${PROJECT_SOURCE_DIR}/LICENSE")
set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  "${_corvane_license}")

if(UNIX AND NOT APPLE)
  # copyright: the licence body (everything from its first paragraph after the
  # copyright line) in the format's continuation lines: one leading space, and
  # " ." for an empty line.
  file(READ "${_corvane_license}" _corvane_license_text)
  string(FIND "${_corvane_license_text}" "Permission is hereby granted" _corvane_at)
  if(_corvane_at LESS 0)
    message(FATAL_ERROR "LICENSE: no MIT permission paragraph found")
  endif()
  string(SUBSTRING "${_corvane_license_text}" ${_corvane_at} -1 _corvane_license_text)
  string(STRIP "${_corvane_license_text}" _corvane_license_text)
  string(REPLACE "\n\n" "\n.\n" _corvane_license_text "${_corvane_license_text}")
  string(REPLACE "\n" "\n " _corvane_license_text "${_corvane_license_text}")
  set(CORVANE_LICENSE_BODY " ${_corvane_license_text}")
  configure_file("${_corvane_pkg_src}/debian/copyright.in"
    "${_corvane_pkg_out}/copyright" @ONLY)
  install(FILES "${_corvane_pkg_out}/copyright" DESTINATION "${_corvane_docdir}")
else()
  install(FILES "${_corvane_license}" DESTINATION "${_corvane_docdir}")
endif()

# --- Desktop integration (freedesktop systems) ----------------------------
if(UNIX AND NOT APPLE)
  find_program(CORVANE_GZIP gzip REQUIRED)
  find_program(CORVANE_RSVG_CONVERT rsvg-convert
    DOC "rsvg-convert (librsvg2-bin), renders the PNG icons from the SVG")

  set(_corvane_generated "")

  # Compressed copy of a file for /usr/share/man and /usr/share/doc.
  function(_corvane_gzip_file in out)
    add_custom_command(OUTPUT "${out}"
      COMMAND "${CMAKE_COMMAND}" -DGZIP_PROGRAM=${CORVANE_GZIP} -DSRC=${in} -DDST=${out}
              -P "${_corvane_pkg_src}/cmake/Gzip.cmake"
      DEPENDS "${in}" "${_corvane_pkg_src}/cmake/Gzip.cmake"
      COMMENT "Compressing ${out}"
      VERBATIM)
  endfunction()

  # Desktop entry and AppStream metadata, both named after the application id.
  install(FILES "${_corvane_pkg_src}/${CORVANE_APP_ID}.desktop"
    DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/applications")
  configure_file("${_corvane_pkg_src}/${CORVANE_APP_ID}.metainfo.xml.in"
    "${_corvane_pkg_out}/${CORVANE_APP_ID}.metainfo.xml" @ONLY)
  install(FILES "${_corvane_pkg_out}/${CORVANE_APP_ID}.metainfo.xml"
    DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/metainfo")

  # Manual pages: one per program, compressed.
  foreach(_corvane_page IN ITEMS csv2crc CorvaneCSVtoCRC)
    configure_file("${_corvane_pkg_src}/${_corvane_page}.1.in"
      "${_corvane_pkg_out}/man/${_corvane_page}.1" @ONLY)
    _corvane_gzip_file("${_corvane_pkg_out}/man/${_corvane_page}.1"
      "${_corvane_pkg_out}/man/${_corvane_page}.1.gz")
    list(APPEND _corvane_generated "${_corvane_pkg_out}/man/${_corvane_page}.1.gz")
    install(FILES "${_corvane_pkg_out}/man/${_corvane_page}.1.gz"
      DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
  endforeach()

  # Changelog, which Debian requires of every package.
  configure_file("${_corvane_pkg_src}/debian/changelog.in"
    "${_corvane_pkg_out}/changelog" @ONLY)
  _corvane_gzip_file("${_corvane_pkg_out}/changelog" "${_corvane_pkg_out}/changelog.gz")
  list(APPEND _corvane_generated "${_corvane_pkg_out}/changelog.gz")
  install(FILES "${_corvane_pkg_out}/changelog.gz" DESTINATION "${_corvane_docdir}")

  # Icons: the SVG as the scalable icon, and PNGs rendered from it at build time.
  set(_corvane_icondir "${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor")
  if(EXISTS "${CORVANE_ICON_SVG}")
    install(FILES "${CORVANE_ICON_SVG}"
      DESTINATION "${_corvane_icondir}/scalable/apps"
      RENAME "${CORVANE_APP_ID}.svg")
    if(CORVANE_RSVG_CONVERT)
      foreach(_corvane_size IN LISTS CORVANE_ICON_SIZES)
        set(_corvane_png
          "${_corvane_pkg_out}/icons/${_corvane_size}x${_corvane_size}/${CORVANE_APP_ID}.png")
        add_custom_command(OUTPUT "${_corvane_png}"
          COMMAND "${CMAKE_COMMAND}" -E make_directory
                  "${_corvane_pkg_out}/icons/${_corvane_size}x${_corvane_size}"
          COMMAND "${CORVANE_RSVG_CONVERT}" --width=${_corvane_size} --height=${_corvane_size}
                  --format=png --output=${_corvane_png} "${CORVANE_ICON_SVG}"
          DEPENDS "${CORVANE_ICON_SVG}"
          COMMENT "Rendering the ${_corvane_size}x${_corvane_size} icon"
          VERBATIM)
        list(APPEND _corvane_generated "${_corvane_png}")
        install(FILES "${_corvane_png}"
          DESTINATION "${_corvane_icondir}/${_corvane_size}x${_corvane_size}/apps")
      endforeach()
    else()
      message(WARNING "rsvg-convert not found (Debian package librsvg2-bin): only the "
        "scalable icon is installed, without the PNG sizes.")
    endif()
  else()
    message(WARNING "Icon ${CORVANE_ICON_SVG} not found: no icon is installed. "
      "Set CORVANE_ICON_SVG to the program's SVG icon.")
  endif()

  add_custom_target(corvane_install_data ALL DEPENDS ${_corvane_generated})
endif()

# --- CPack ------------------------------------------------------------------
set(CPACK_PACKAGE_NAME "${CORVANE_TITLE}")
set(CPACK_PACKAGE_VENDOR "Corvane")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${CORVANE_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert CSV files to CRC list files for Vellum")
# Debian shows the description as it stands: lines are kept under 80 columns.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "CorvaneCSVtoCRC is a small Corvane utility that turns comma-separated\n"
  "text files into the tab-separated CRC list files that Vellum reads.\n"
  "Files are collected in a list, by dropping them from the file manager\n"
  "or choosing them in an Open dialog, and each is converted into a file\n"
  "named A1_<base name>.crc beside it.\n"
  "\n"
  "The package also holds csv2crc, a command-line front end over the same\n"
  "conversion for scripts and batch jobs.")
set(CPACK_RESOURCE_FILE_LICENSE "${_corvane_license}")
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)

set(CPACK_DEBIAN_PACKAGE_NAME "${CORVANE_PACKAGE_NAME}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CORVANE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# dpkg-shlibdeps works out the library packages from the installed binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

if(WIN32)
  set(CPACK_GENERATOR "ZIP")
else()
  set(CPACK_GENERATOR "DEB")
endif()
set(CPACK_SOURCE_GENERATOR "TGZ")
set(CPACK_SOURCE_IGNORE_FILES "/\\.git/" "/build[^/]*/" "/out/" "/bench/data/")

include(CPack)
