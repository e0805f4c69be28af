# Installing Halvek like a Linux program: the three programs, the desktop entry
# and icon, man pages, bash completion and an example udev rule; CPack makes a .deb.
include(GNUInstallDirs)

set(_halvek_pkg ${PROJECT_SOURCE_DIR}/packaging)

# The man pages carry the project's version and the build's month (SOURCE_DATE_EPOCH
# fixes it for a reproducible package); tests/fieldtools/docs_check.sh holds them
# to the programs' --help.
string(TIMESTAMP HALVEK_MAN_DATE "%B %Y" UTC)
set(_halvek_man ${CMAKE_BINARY_DIR}/packaging/man)
foreach(_page halvek.1 halvek-cli.1 halvek-sim.1 halvekd.8 halvek-uplink.1)
  configure_file(${_halvek_pkg}/man/${_page} ${_halvek_man}/${_page} @ONLY)
endforeach()

# Debian keeps manual pages and the changelog compressed, without a time stamp
# in the gzip header (-n), so that two builds give the same package.
find_program(_halvek_gzip gzip REQUIRED)
set(_halvek_gz)
foreach(_file halvek.1 halvek-cli.1 halvek-sim.1 halvekd.8 halvek-uplink.1 changelog)
  if(_file STREQUAL "changelog")
    set(_in ${_halvek_pkg}/debian/changelog)
  else()
    set(_in ${_halvek_man}/${_file})
  endif()
  set(_out ${_halvek_man}/${_file}.gz)
  add_custom_command(OUTPUT ${_out} COMMAND ${_halvek_gzip} -9nc ${_in} > ${_out} DEPENDS ${_in} VERBATIM)
  list(APPEND _halvek_gz ${_out})
endforeach()
add_custom_target(halvek_compressed_docs ALL DEPENDS ${_halvek_gz})

foreach(_program halvek halvek-cli halvek-sim halvekd halvek-uplink)
  if(TARGET ${_program})
    install(TARGETS ${_program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

if(TARGET halvek)
  install(FILES ${_halvek_pkg}/halvek.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${_halvek_pkg}/halvek.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${_halvek_man}/halvek.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${_halvek_pkg}/completion/halvek DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endif()
install(FILES ${_halvek_man}/halvek-cli.1.gz ${_halvek_man}/halvek-sim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_halvek_pkg}/completion/halvek-cli ${_halvek_pkg}/completion/halvek-sim
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
# halvekd: its manual page, systemd units and the user it runs as.
install(FILES ${_halvek_man}/halvekd.8.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
install(FILES ${_halvek_pkg}/systemd/halvekd.service ${_halvek_pkg}/systemd/halvekd.socket
        DESTINATION lib/systemd/system)
install(FILES ${_halvek_pkg}/systemd/halvekd.sysusers DESTINATION lib/sysusers.d RENAME halvekd.conf)
# halvek-uplink: its manual page, its unit (bound to halvekd's) and a commented config.
if(TARGET halvek-uplink)
  install(FILES ${_halvek_man}/halvek-uplink.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${_halvek_pkg}/systemd/halvek-uplink.service DESTINATION lib/systemd/system)
  install(FILES ${_halvek_pkg}/uplink.conf DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
endif()
install(FILES ${_halvek_pkg}/udev/60-halvek-serial.rules DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
# The README of the installed programs (the source tree's speaks of building them).
install(FILES ${_halvek_pkg}/README ${_halvek_pkg}/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${_halvek_man}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME halvek)
set(CPACK_PACKAGE_VENDOR "Halvek")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Host controller and service tool for a bank-note validator on a serial line")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Halvek maintainers <maintainers@halvek.dev>")
# CPack puts the summary first and indents these lines itself; an empty line
# becomes the paragraph mark.
set(CPACK_PACKAGE_DESCRIPTION
    "Halvek plays the machine controller for a bank-note validator on an RS-232
line (usually a USB-serial adapter): it polls the unit, decides bills in
escrow, enables bill types and reads the unit's data.

It also does the service work: protocol capture, diagnostics report,
firmware download and upload with CRC checks, cassette data, bar-code
tickets and a timed accept-all mode. The package holds the window (halvek),
the console tool (halvek-cli), a simulated validator (halvek-sim) and the
validator service (halvekd) that serves kiosk software over a local socket.")
# Stripped: the debugging symbols would triple the package.
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The sysusers file alone makes no user on install: postinst makes halvekd's.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${_halvek_pkg}/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The Qt and C++ runtime libraries the programs were linked against.
find_program(_halvek_shlibdeps dpkg-shlibdeps)
if(_halvek_shlibdeps)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
