# Installation and the Debian package: in a Release build, `cpack -G DEB` makes
# tarvo-collect_<version>_<arch>.deb. The version is the project's (CMakeLists.txt), the same
# that --version prints and the caption shows.
include(GNUInstallDirs)
include(ManPages)

set(TARVO_PACKAGE_MAINTAINER "TarvoCollect maintainers <maintainers@tarvocollect.example>")
set(TARVO_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

# The programs an installation runs or is checked with.
set(TARVO_PROGRAMS tarvo-collect tarvo-pil tarvo-sim orvanta-automation-stub)
tarvo_man_page(tarvo-collect "collect the results of microdialysis analyzers")
tarvo_man_page(tarvo-pil "inspect patient data files")
tarvo_man_page(tarvo-sim "send what a microdialysis analyzer sends")
tarvo_man_page(orvanta-automation-stub "reference Orvanta automation server on D-Bus")
# The relay's receiving host joins the programs and gets its page once it is built.
if(TARGET astm-host)
  list(APPEND TARVO_PROGRAMS astm-host)
  tarvo_man_page(astm-host "laboratory host for checking a relay")
endif()
install(TARGETS ${TARVO_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${TARVO_PACKAGING_DIR}/tarvo-collect.service DESTINATION lib/systemd/system)
install(FILES ${TARVO_PACKAGING_DIR}/service-settings.ini
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tarvo-collect)
install(FILES ${TARVO_PACKAGING_DIR}/se.keldamed.Orvanta.Automation.conf
        DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/system.d)
install(FILES ${TARVO_PACKAGING_DIR}/tarvo-collect.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TARVO_PACKAGING_DIR}/icons/tarvo-collect.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${TARVO_PACKAGING_DIR}/icons/tarvo-collect-48.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps RENAME tarvo-collect.png)

# Debian wants a copyright file and a compressed change log beside every package.
string(TIMESTAMP TARVO_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${TARVO_PACKAGING_DIR}/debian/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog
               @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.gz
  COMMAND gzip -9nkf ${CMAKE_BINARY_DIR}/debian/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog
  VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/debian/changelog.gz ${TARVO_PACKAGING_DIR}/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarvo-collect)

set(CPACK_PACKAGE_NAME tarvo-collect)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "TarvoCollect")
set(CPACK_PACKAGE_CONTACT ${TARVO_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "collector for bedside microdialysis analyzers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TARVO_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The maintainer scripts create the service user (adduser) and register the service.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "dbus-system-bus | dbus")
# CPack puts the summary above these lines and indents them; "." separates paragraphs.
string(JOIN "\n" CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "TarvoCollect runs beside the microdialysis analyzers of an intensive-care"
  "unit and collects every result they send over TCP into per-patient data"
  "files, archives their XML documents and reports to the Orvanta automation"
  "server over D-Bus."
  "."
  "The package holds the collector, the systemd service tarvo-collect (not"
  "enabled on installation; it runs headless on /var/lib/tarvo-collect as the"
  "user tarvo-collect), the data file inspector tarvo-pil, the analyzer"
  "simulator tarvo-sim and the reference automation server"
  "orvanta-automation-stub.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${TARVO_PACKAGING_DIR}/debian/postinst ${TARVO_PACKAGING_DIR}/debian/prerm
    ${TARVO_PACKAGING_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
