# Installation and the Debian package (cpack -G DEB; scripts/package.sh).
# Programs in bin/, the site's rule writer in sbin/, the access library in
# its private folder lib/zdx-workstation/ (the programs name it in their
# RUNPATH, where their search for the library looks), desktop entries, icons,
# udev rules, manual pages, documentation.
include(GNUInstallDirs)

set(zdx_private_lib lib/zdx-workstation)
set(zdx_programs ZDX_Q270 ZDX_Q610 zdx-bench)
if(TARGET zdx-q270)
    list(APPEND zdx_programs zdx-q270)
endif()
set_target_properties(${zdx_programs} PROPERTIES INSTALL_RPATH "\$ORIGIN/../${zdx_private_lib}")
# Every symbol bound at start-up, so that the relocations can be read-only.
foreach(shipped ${zdx_programs} zdxusbcal)
    target_link_options(${shipped} PRIVATE -Wl,-z,relro,-z,now)
endforeach()
install(TARGETS ${zdx_programs} RUNTIME DESTINATION bin)
install(TARGETS zdxusbcal LIBRARY DESTINATION ${zdx_private_lib} NAMELINK_SKIP)

set(zdx_packaging ${PROJECT_SOURCE_DIR}/packaging)
install(PROGRAMS ${zdx_packaging}/zdx-calibrator-rules DESTINATION sbin)
install(FILES ${zdx_packaging}/zdx-q270.desktop ${zdx_packaging}/zdx-q610.desktop
        DESTINATION share/applications)
install(FILES ${zdx_packaging}/zdx-q270.svg ${zdx_packaging}/zdx-q610.svg
        DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${zdx_packaging}/70-zdx-calibrators.rules DESTINATION lib/udev/rules.d)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/bench/scenarios/
        DESTINATION share/zdx-workstation/scenarios FILES_MATCHING PATTERN "*.json")

set(ZDX_PACKAGE_MAINTAINER "ZDX workstation maintainers <workstation@zdx-workstation.invalid>"
    CACHE STRING "The maintainer named in the package and its changelog")

# Manual pages and the changelog, compressed as Debian wants them (gzip -9n:
# no name, no time stamp).
find_program(ZDX_GZIP gzip REQUIRED)
set(zdx_doc_build ${CMAKE_BINARY_DIR}/packaging)
configure_file(${zdx_packaging}/changelog.in ${zdx_doc_build}/changelog @ONLY)
set(zdx_compressed ${zdx_doc_build}/changelog.gz)
add_custom_command(OUTPUT ${zdx_doc_build}/changelog.gz
    COMMAND ${ZDX_GZIP} -9n -c ${zdx_doc_build}/changelog > ${zdx_doc_build}/changelog.gz
    DEPENDS ${zdx_doc_build}/changelog VERBATIM)
foreach(page ZDX_Q270.1 ZDX_Q610.1 zdx-q270.1 zdx-bench.1 zdx-calibrator-rules.8)
    set(source ${zdx_packaging}/man/${page})
    add_custom_command(OUTPUT ${zdx_doc_build}/${page}.gz
        COMMAND ${ZDX_GZIP} -9n -c ${source} > ${zdx_doc_build}/${page}.gz
        DEPENDS ${source} VERBATIM)
    list(APPEND zdx_compressed ${zdx_doc_build}/${page}.gz)
    string(REGEX REPLACE ".*\\." "" section ${page})
    install(FILES ${zdx_doc_build}/${page}.gz DESTINATION share/man/man${section})
endforeach()
add_custom_target(zdx_package_docs ALL DEPENDS ${zdx_compressed})
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/bench.md
              ${zdx_packaging}/copyright ${zdx_doc_build}/changelog.gz
        DESTINATION share/doc/zdx-workstation)
install(FILES ${zdx_packaging}/usb-ids.conf.example ${zdx_packaging}/ports.conf.example
        DESTINATION share/doc/zdx-workstation/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zdx-workstation)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${ZDX_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "bench workstation for Q270 and Q610 strain-gauge bridge calibrators")
set(CPACK_PACKAGE_DESCRIPTION
    "The Q270 and Q610 operator panels, the linearity measurement of the Q270\n\
with its headless tool, the calibrator access library (USB through\n\
libusb-1.0, the parallel ports through ppdev) and the virtual bench\n\
zdx-bench, which plays calibrators, multimeter and ports for training\n\
and demonstration.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libusb is loaded by name at run time, so no linker dependency shows it;
# libusb_get_port_numbers, the newest entry point taken, came with 1.0.16.
# The archive opens its databases through Qt SQL plugins, which shlibdeps cannot see.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libusb-1.0-0 (>= 2:1.0.16), libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udev, libqt6sql6-psql, fonts-dejavu-core")
# Our own maintainer scripts: the library is private, so no ldconfig call.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${zdx_packaging}/postinst ${zdx_packaging}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
