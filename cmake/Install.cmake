# Installation and the Debian package: the programs, the desktop entry, the
# icon, the AppStream metadata, the copyright file and a man page per program. Everything lands
# in the Runtime component; the package takes that component only, so no
# test or benchmark can slip into it.
include(GNUInstallDirs)

set(TARVOLIN_APP_ID org.tarvolin.Tarvolin)

# The companion programs are defined in folders of their own, possibly after
# this file is read: install whichever exist once the whole project is known.
function(tarvolin_install_programs)
  foreach(program tarvolin tarvolin-printer tarvolin-cli)
    if(TARGET ${program})
      install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
    endif()
  endforeach()
endfunction()
cmake_language(DEFER CALL tarvolin_install_programs)

target_compile_definitions(tarvolin PRIVATE TARVOLIN_APP_ID="${TARVOLIN_APP_ID}")

install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/data/${TARVOLIN_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT Runtime)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/data/${TARVOLIN_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT Runtime)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/data/icons/${TARVOLIN_APP_ID}.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT Runtime)

# Debian looks for the licence in machine-readable form here.
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/data/copyright
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarvolin COMPONENT Runtime)

# Man pages are installed compressed, without name or time stamp in the
# gzip header, so the package builds the same bytes every time.
file(GLOB TARVOLIN_MAN_PAGES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/man/*.1)
set(TARVOLIN_MAN_PAGES_GZ)
foreach(page ${TARVOLIN_MAN_PAGES})
  get_filename_component(name ${page} NAME)
  set(copy ${CMAKE_CURRENT_BINARY_DIR}/man/${name})
  add_custom_command(OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${page} ${copy}
    COMMAND gzip -9nf ${copy}
    DEPENDS ${page} VERBATIM)
  list(APPEND TARVOLIN_MAN_PAGES_GZ ${copy}.gz)
endforeach()
add_custom_target(tarvolin_man_pages ALL DEPENDS ${TARVOLIN_MAN_PAGES_GZ})
install(FILES ${TARVOLIN_MAN_PAGES_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Runtime)

if(PROJECT_IS_TOP_LEVEL)
  # Installing and packaging take what is built (build first, as the README
  # says); they never start a build of their own, so the package test does
  # not rebuild the whole tree behind the other tests.
  set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
  set(CPACK_PACKAGE_NAME tarvolin)
  set(CPACK_PACKAGE_VENDOR "The Tarvolin developers")
  set(CPACK_PACKAGE_CONTACT "The Tarvolin developers <maintainers@tarvolin.org>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "set up, test and maintain thermal label printers")
  set(CPACK_PACKAGE_DESCRIPTION
    "Tarvolin talks to thermal label printers attached by serial port, parallel
port, on the network (raw TCP, port 9100), through a print queue, or through a
file standing in for the printer. From one window it stores media and print
settings, prints test pages and test labels, downloads fonts and files into
printer memory, reads status and memory back over a serial port, gives a
network printer a new address, and sends printer command text or files.")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://tarvolin.org/)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The label preview draws the printer's fonts with these faces, loaded by path.
  # The CUPS client library is opened at run time, so the library scan does
  # not see it; every function used is in libcups2 since 1.4.0.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcups2 (>= 1.4.0), fonts-dejavu-core, fonts-dejavu-extra, fonts-urw-base35")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_GENERATOR DEB)
  set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};Runtime;/")
  include(CPack)
endif()
