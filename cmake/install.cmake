# Desktop install: the two programs, the help file where they look for it, a menu entry with its
# icon and the manual page, in the places GNUInstallDirs names; CPack turns the same tree into a .deb.

install(TARGETS orvo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET orvo-ide)
  install(TARGETS orvo-ide RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/orvo-ide.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/orvo-ide.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/orvo-ide-48.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps RENAME orvo-ide.png)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/docs/ORVO.HLP DESTINATION ${CMAKE_INSTALL_DATADIR}/orvo)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_SOURCE_DIR}/examples/default.asm ${CMAKE_SOURCE_DIR}/examples/all_two_operand.asm
        DESTINATION ${CMAKE_INSTALL_DATADIR}/orvo/examples)

# Manual pages go compressed, as Debian keeps them.
find_program(ORVO_GZIP gzip)
set(ORVO_MAN_PAGE ${CMAKE_SOURCE_DIR}/packaging/orvo.1)
if(ORVO_GZIP)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/orvo.1.gz
    COMMAND ${ORVO_GZIP} -9 -n -c ${ORVO_MAN_PAGE} > ${CMAKE_BINARY_DIR}/orvo.1.gz
    DEPENDS ${ORVO_MAN_PAGE} VERBATIM)
  add_custom_target(orvo_man ALL DEPENDS ${CMAKE_BINARY_DIR}/orvo.1.gz)
  set(ORVO_MAN_PAGE ${CMAKE_BINARY_DIR}/orvo.1.gz)
endif()
install(FILES ${ORVO_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME orvo)
set(CPACK_PACKAGE_VENDOR "ORVO")
set(CPACK_PACKAGE_CONTACT "ORVO maintainers <maintainers@orvo.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "assembler workbench for 32-bit x86 routines")
set(CPACK_PACKAGE_DESCRIPTION "A line-oriented assembler for short 32-bit x86 routines with a \
desktop window (orvo-ide) and a command line (orvo). Routines run with four arguments in a CPU \
emulator in a child process.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://orvo.invalid/")
# Library packages from the libraries the binaries link (dpkg-shlibdeps); without the tool the
# names are given for Debian 12.
# The emulator library is opened on demand, so no binary links it: name its package.
find_program(ORVO_SHLIBDEPS dpkg-shlibdeps)
if(ORVO_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libunicorn2")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libunicorn2, libqt6widgets6, libqt6gui6, libqt6core6")
endif()
include(CPack)
