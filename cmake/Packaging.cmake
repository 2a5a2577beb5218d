# Installation and the Debian packages: in a Release build, `cpack -G DEB` makes
# tarvo-collectd_<version>_<arch>.deb and tarvo-collect_<version>_<arch>.deb. The version is the
# project's (CMakeLists.txt), the same that --version prints and the caption shows.
include(GNUInstallDirs)
include(ManPages)

set(TARVO_PACKAGE_MAINTAINER "TarvoCollect maintainers <maintainers@tarvocollect.example>")
set(TARVO_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

# Two packages. tarvo-collectd (component service) holds the headless collector the systemd
# service runs, the service itself and the companion programs, and needs no GUI library;
# tarvo-collect (component window) adds the collector with its window, its desktop entry and icons.
set(TARVO_SERVICE_PROGRAMS tarvo-collectd tarvo-pil tarvo-sim orvanta-automation-stub)
tarvo_man_page(tarvo-collectd "collect microdialysis analyzer results (service)" service)
tarvo_man_page(tarvo-collect "collect the results of microdialysis analyzers (window)" window)
tarvo_man_page(tarvo-pil "inspect patient data files" service)
tarvo_man_page(tarvo-sim "send what a microdialysis analyzer sends" service)
tarvo_man_page(orvanta-automation-stub "reference Orvanta automation server on D-Bus" service)
# The relay's receiving host joins the programs and gets its page once it is built.
if(TARGET astm-host)
  list(APPEND TARVO_SERVICE_PROGRAMS astm-host)
  tarvo_man_page(astm-host "laboratory host for checking a relay" service)
endif()
install(TARGETS ${TARVO_SERVICE_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT service)
install(TARGETS tarvo-collect RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT window)

install(FILES ${TARVO_PACKAGING_DIR}/tarvo-collect.service DESTINATION lib/systemd/system
        COMPONENT service)
install(FILES ${TARVO_PACKAGING_DIR}/service-settings.ini
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tarvo-collect COMPONENT service)
install(FILES ${TARVO_PACKAGING_DIR}/se.keldamed.Orvanta.Automation.conf
        DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/system.d COMPONENT service)
install(FILES ${TARVO_PACKAGING_DIR}/tarvo-collect.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT window)
install(FILES ${TARVO_PACKAGING_DIR}/icons/tarvo-collect.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT window)
install(FILES ${TARVO_PACKAGING_DIR}/icons/tarvo-collect-48.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps RENAME tarvo-collect.png
        COMPONENT window)

# Debian wants a copyright file and a compressed change log beside every package.
string(TIMESTAMP TARVO_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${TARVO_PACKAGING_DIR}/debian/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog
               @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.gz
  COMMAND gzip -9nkf ${CMAKE_BINARY_DIR}/debian/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog
  VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/debian/changelog.gz
              ${TARVO_PACKAGING_DIR}/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarvo-collectd COMPONENT service)
install(FILES ${CMAKE_BINARY_DIR}/debian/changelog.gz
              ${TARVO_PACKAGING_DIR}/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarvo-collect COMPONENT window)

set(CPACK_PACKAGE_NAME tarvo-collect)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "TarvoCollect")
set(CPACK_PACKAGE_CONTACT ${TARVO_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "collector for bedside microdialysis analyzers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL service window)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TARVO_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_SERVICE_PACKAGE_NAME tarvo-collectd)
# The maintainer scripts create the service user (adduser) and register the service.
set(CPACK_DEBIAN_SERVICE_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_SERVICE_PACKAGE_RECOMMENDS "dbus-system-bus | dbus")
# Up to 0.1 one package tarvo-collect held everything, the service among it.
set(CPACK_DEBIAN_SERVICE_PACKAGE_BREAKS "tarvo-collect (<< 0.2.0)")
set(CPACK_DEBIAN_SERVICE_PACKAGE_REPLACES "tarvo-collect (<< 0.2.0)")
# CPack puts the first line above the others and indents them; "." separates paragraphs.
string(JOIN "\n" CPACK_DEBIAN_SERVICE_DESCRIPTION
  "collector for bedside microdialysis analyzers (service, no GUI)"
  "TarvoCollect runs beside the microdialysis analyzers of an intensive-care"
  "unit and collects every result they send over TCP into per-patient data"
  "files, archives their XML documents and reports to the Orvanta automation"
  "server over D-Bus."
  "."
  "This package holds the headless collector tarvo-collectd and the systemd"
  "service tarvo-collect that runs it (not enabled on installation; it runs on"
  "/var/lib/tarvo-collect as the user tarvo-collect), the data file inspector"
  "tarvo-pil, the analyzer simulator tarvo-sim and the reference automation"
  "server orvanta-automation-stub. It needs no graphical desktop.")
set(CPACK_DEBIAN_SERVICE_PACKAGE_CONTROL_EXTRA
    ${TARVO_PACKAGING_DIR}/debian/postinst ${TARVO_PACKAGING_DIR}/debian/prerm
    ${TARVO_PACKAGING_DIR}/debian/postrm)
set(CPACK_DEBIAN_SERVICE_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME tarvo-collect)
set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS "tarvo-collectd (= ${PROJECT_VERSION})")
string(JOIN "\n" CPACK_DEBIAN_WINDOW_DESCRIPTION
  "collector for bedside microdialysis analyzers (window)"
  "TarvoCollect runs beside the microdialysis analyzers of an intensive-care"
  "unit and collects every result they send over TCP into per-patient data"
  "files."
  "."
  "This package holds tarvo-collect, the collector with its operator window,"
  "latest values, trend and tray icon, for a ward's desktop. The service and"
  "the companion programs are in tarvo-collectd.")
include(CPack)
