# The Debian package: `cpack -G DEB` in a build folder (scripts/package.sh does it all).
# The program goes to /usr/bin, its launcher, icons, metainfo, manual pages and copyright
# to /usr/share; the dependencies come from the binaries plus what the program starts or
# names without linking it.
include(GNUInstallDirs)

set(RK5_APP_ID org.rk5helper.Rk5Helper)  # the menu launcher's id; the self-install uses it too
set(RK5_HOMEPAGE "https://rk5helper.example" CACHE STRING "The project's web address")
set(RK5_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR}/../packaging)
set(RK5_ICON_DIR ${CMAKE_CURRENT_LIST_DIR}/../src/gui/base)
set(RK5_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)

# Executables that exist in this build, each with its manual page.
set(RK5_PACKAGED_PROGRAMS rk5helper)
if(TARGET rk5helper-publish)
  list(APPEND RK5_PACKAGED_PROGRAMS rk5helper-publish)
endif()
install(TARGETS ${RK5_PACKAGED_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Debian wants manual pages and the change log compressed, without a time stamp.
find_program(RK5_GZIP gzip REQUIRED)
set(RK5_COMPRESSED)
foreach(program IN LISTS RK5_PACKAGED_PROGRAMS)
  set(page ${RK5_PACKAGING_DIR}/${program}.1)
  if(EXISTS ${page})
    list(APPEND RK5_COMPRESSED ${page}:${program}.1.gz)
    install(FILES ${RK5_PACKAGING_OUT}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()
list(APPEND RK5_COMPRESSED ${RK5_PACKAGING_DIR}/changelog:changelog.gz)
set(RK5_COMPRESSED_OUTPUTS)
foreach(pair IN LISTS RK5_COMPRESSED)
  string(REPLACE ":" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 output)
  add_custom_command(OUTPUT ${RK5_PACKAGING_OUT}/${output}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${RK5_PACKAGING_OUT}
                     COMMAND ${RK5_GZIP} -9nc ${source} > ${RK5_PACKAGING_OUT}/${output}
                     DEPENDS ${source} VERBATIM)
  list(APPEND RK5_COMPRESSED_OUTPUTS ${RK5_PACKAGING_OUT}/${output})
endforeach()
add_custom_target(rk5_packaging_files ALL DEPENDS ${RK5_COMPRESSED_OUTPUTS})
# What the package holds, built without the tests (scripts/package.sh builds just this).
add_custom_target(rk5_package_contents DEPENDS ${RK5_PACKAGED_PROGRAMS} rk5_packaging_files)

set(RK5_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/rk5helper)
install(FILES ${RK5_PACKAGING_OUT}/changelog.gz DESTINATION ${RK5_DOC_DIR})
# The Debian copyright file: the licence's text under a machine-readable header.
file(READ ${CMAKE_CURRENT_LIST_DIR}/../LICENSE RK5_LICENSE_LINES)
string(REPLACE ";" "\\;" RK5_LICENSE_LINES "${RK5_LICENSE_LINES}")
string(REPLACE "\n" ";" RK5_LICENSE_LINES "${RK5_LICENSE_LINES}")
list(REMOVE_AT RK5_LICENSE_LINES 0)  # "MIT License"
set(RK5_LICENSE_TEXT "")
foreach(line IN LISTS RK5_LICENSE_LINES)
  if(line MATCHES "^Copyright \\(c\\) (.*)$")
    set(RK5_COPYRIGHT "${CMAKE_MATCH_1}")
  elseif(line STREQUAL "")
    string(APPEND RK5_LICENSE_TEXT " .\n")
  else()
    string(APPEND RK5_LICENSE_TEXT " ${line}\n")
  endif()
endforeach()
string(REGEX REPLACE "^( \\.\n)+" "" RK5_LICENSE_TEXT "${RK5_LICENSE_TEXT}")
string(REGEX REPLACE "( \\.\n)+$" "" RK5_LICENSE_TEXT "${RK5_LICENSE_TEXT}")
file(WRITE ${RK5_PACKAGING_OUT}/copyright
     "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
     "Upstream-Name: Rk5 Helper\n"
     "Source: ${RK5_HOMEPAGE}\n\n"
     "Files: *\nCopyright: ${RK5_COPYRIGHT}\nLicense: Expat\n${RK5_LICENSE_TEXT}")
install(FILES ${RK5_PACKAGING_OUT}/copyright DESTINATION ${RK5_DOC_DIR})

install(FILES ${RK5_PACKAGING_DIR}/${RK5_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${RK5_PACKAGING_DIR}/${RK5_APP_ID}.metainfo.xml.in
               ${RK5_PACKAGING_OUT}/${RK5_APP_ID}.metainfo.xml @ONLY)
install(FILES ${RK5_PACKAGING_OUT}/${RK5_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Every size the program's icon is drawn at, and a scalable one where a drawing exists.
file(GLOB RK5_ICON_PICTURES ${RK5_ICON_DIR}/program_icon_*.png)
foreach(picture IN LISTS RK5_ICON_PICTURES)
  string(REGEX REPLACE ".*program_icon_([0-9]+)\\.png$" "\\1" size ${picture})
  install(FILES ${picture} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${RK5_APP_ID}.png)
endforeach()
if(EXISTS ${RK5_ICON_DIR}/program_icon.svg)
  install(FILES ${RK5_ICON_DIR}/program_icon.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${RK5_APP_ID}.svg)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rk5helper)
set(CPACK_PACKAGE_VENDOR "The Rk5 Helper developers")
set(CPACK_PACKAGE_CONTACT "The Rk5 Helper developers <maintainers@rk5helper.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps a publisher's tool programs installed and current")
set(CPACK_PACKAGE_DESCRIPTION
    "Rk5 Helper downloads a publisher's catalogue of tool programs, lists every tool\n"
    "coloured by its state, installs a tool from its ZIP archive after its licence\n"
    "is accepted, runs it, puts launchers for it on the desktop and replaces itself\n"
    "with newer builds that the catalogue announces.")
list(JOIN CPACK_PACKAGE_DESCRIPTION "" CPACK_PACKAGE_DESCRIPTION)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_LIST_DIR}/../LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${RK5_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Started or named, not linked: the link opener, the fonts behind "Verdana" and
# "Courier New"; Wayland and SVG tool icons where installed.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils, fonts-dejavu-core, fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, libqt6svg6")
include(CPack)
