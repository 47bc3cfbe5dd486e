# Installation and the Debian package (cpack -G DEB; scripts/package.sh).
# Programs in bin/, the access library in lib/ (the programs find it in
# ../lib beside themselves), desktop entries, icons, udev rules, documentation.
include(GNUInstallDirs)

set(zdx_programs ZDX_Q270 ZDX_Q610 zdx-bench)
if(TARGET zdx-q270)
    list(APPEND zdx_programs zdx-q270)
endif()
install(TARGETS ${zdx_programs} RUNTIME DESTINATION bin)
install(TARGETS zdxusbcal LIBRARY DESTINATION lib)

set(zdx_packaging ${PROJECT_SOURCE_DIR}/packaging)
install(FILES ${zdx_packaging}/zdx-q270.desktop ${zdx_packaging}/zdx-q610.desktop
        DESTINATION share/applications)
install(FILES ${zdx_packaging}/zdx-q270.svg ${zdx_packaging}/zdx-q610.svg
        DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${zdx_packaging}/70-zdx-calibrators.rules DESTINATION lib/udev/rules.d)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/bench.md
              ${zdx_packaging}/usb-ids.conf.example
        DESTINATION share/doc/zdx-workstation)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/bench/scenarios/
        DESTINATION share/zdx-workstation/scenarios FILES_MATCHING PATTERN "*.json")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zdx-workstation)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "ZDX workstation maintainers <workstation@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Bench workstation for Q270 and Q610 strain-gauge bridge calibrators")
set(CPACK_PACKAGE_DESCRIPTION
    "The Q270 and Q610 operator panels, the linearity measurement of the Q270 with its\n\
headless tool, the calibrator access library zdxusbcal (USB through libusb-1.0, the\n\
parallel ports through ppdev) and the virtual bench zdx-bench.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libusb is loaded by name at run time, so no linker dependency shows it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libusb-1.0-0")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udev")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${zdx_packaging}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
