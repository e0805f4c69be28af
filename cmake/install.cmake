# Installing Halvek like a Linux program: the three programs, the desktop entry
# and icon, man pages, bash completion and an example udev rule; CPack makes a .deb.
include(GNUInstallDirs)

set(_halvek_pkg ${PROJECT_SOURCE_DIR}/packaging)

# The man pages carry the project's version and the build's month (SOURCE_DATE_EPOCH
# fixes it for a reproducible package); tests/fieldtools/docs_check.sh holds them
# to the programs' --help.
string(TIMESTAMP HALVEK_MAN_DATE "%B %Y" UTC)
set(_halvek_man ${CMAKE_BINARY_DIR}/packaging/man)
foreach(_page halvek.1 halvek-cli.1 halvek-sim.1)
  configure_file(${_halvek_pkg}/man/${_page} ${_halvek_man}/${_page} @ONLY)
endforeach()

foreach(_program halvek halvek-cli halvek-sim)
  if(TARGET ${_program})
    install(TARGETS ${_program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

if(TARGET halvek)
  install(FILES ${_halvek_pkg}/halvek.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${_halvek_pkg}/halvek.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${_halvek_man}/halvek.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${_halvek_pkg}/completion/halvek DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endif()
install(FILES ${_halvek_man}/halvek-cli.1 ${_halvek_man}/halvek-sim.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_halvek_pkg}/completion/halvek-cli ${_halvek_pkg}/completion/halvek-sim
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${_halvek_pkg}/udev/60-halvek-serial.rules DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME halvek)
set(CPACK_PACKAGE_VENDOR "Halvek")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Host controller and service tool for a bank-note validator on a serial line")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Halvek maintainers <halvek@localhost>")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The Qt and C++ runtime libraries the programs were linked against.
find_program(_halvek_shlibdeps dpkg-shlibdeps)
if(_halvek_shlibdeps)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
