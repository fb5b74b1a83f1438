# Installing on Linux, and the Debian package through CPack.
#
# Firmware, firmware-cli and libTAVLIB.so live together in a private folder,
# lib/firmware-downloader, as in the build: the program loads TAVLIB from its
# own folder. Links in bin reach the two programs. The sample packages, the
# desktop entry, the AppStream metainfo, the icons, the manual pages and the
# udev rule go where the desktop and the system look for them. Nothing of the
# tests, benchmarks, fuzzers or tools is installed.
if(NOT (UNIX AND NOT CMAKE_CROSSCOMPILING AND TARGET Firmware AND TARGET firmware-cli AND TARGET TAVLIB))
  return()
endif()
include(GNUInstallDirs)

set(FW_PACKAGE firmware-downloader)
set(FW_PROGRAM_DIR ${CMAKE_INSTALL_LIBDIR}/${FW_PACKAGE})
set(FW_DATA_DIR ${CMAKE_INSTALL_DATADIR}/${FW_PACKAGE})
set(FW_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${FW_PACKAGE})
set(packaging ${PROJECT_SOURCE_DIR}/packaging)
set(staged ${CMAKE_BINARY_DIR}/packaging)
# Placeholders until the project has an address and a domain of its own.
set(FW_PACKAGE_MAINTAINER "Firmware Downloader maintainers <firmware-downloader@example.org>"
  CACHE STRING "Maintainer of the Debian package")
set(FW_APPSTREAM_ID "org.example.firmware_downloader" CACHE STRING "AppStream component id (reverse DNS)")
# The build's time, or SOURCE_DATE_EPOCH for a reproducible package.
string(TIMESTAMP FW_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP FW_RELEASE_TIME "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${packaging}/${FW_PACKAGE}.metainfo.xml.in ${staged}/${FW_PACKAGE}.metainfo.xml @ONLY)

# The program tells its installed folder from a portable copy by this path,
# and finds the installed samples from its own folder.
file(RELATIVE_PATH samples_from_program "${CMAKE_INSTALL_FULL_LIBDIR}/${FW_PACKAGE}"
     "${CMAKE_INSTALL_FULL_DATADIR}/${FW_PACKAGE}/K20T")
target_compile_definitions(fw_settings PRIVATE
  FW_INSTALL_FOLDER="${CMAKE_INSTALL_FULL_LIBDIR}/${FW_PACKAGE}"
  FW_INSTALLED_PACKAGES="${samples_from_program}")

install(TARGETS Firmware firmware-cli RUNTIME DESTINATION ${FW_PROGRAM_DIR})
# Loaded with dlopen, so not executable.
install(TARGETS TAVLIB LIBRARY DESTINATION ${FW_PROGRAM_DIR}
  PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# Relative links, so the tree can be moved (DESTDIR, --prefix).
file(RELATIVE_PATH bin_to_program "${CMAKE_INSTALL_FULL_BINDIR}" "${CMAKE_INSTALL_FULL_LIBDIR}/${FW_PACKAGE}")
file(MAKE_DIRECTORY ${staged}/bin)
foreach(program Firmware firmware-cli)
  file(CREATE_LINK ${bin_to_program}/${program} ${staged}/bin/${program} SYMBOLIC)
  install(FILES ${staged}/bin/${program} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

# The samples make-samples writes at build time.
install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/K20T/ DESTINATION ${FW_DATA_DIR}/K20T
  FILES_MATCHING PATTERN "*.DPX")

install(FILES ${packaging}/${FW_PACKAGE}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${staged}/${FW_PACKAGE}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 24 32 48)
  install(FILES ${PROJECT_SOURCE_DIR}/app/resources/icon-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME ${FW_PACKAGE}.png)
endforeach()
install(FILES ${packaging}/${FW_PACKAGE}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# Before 73-seat-late.rules, which turns the uaccess tag into access.
install(FILES ${packaging}/70-${FW_PACKAGE}.rules DESTINATION lib/udev/rules.d)

# Manual pages and the changelog, compressed as Debian keeps them.
configure_file(${packaging}/changelog.in ${staged}/changelog @ONLY)
set(compressed)
foreach(source ${packaging}/Firmware.1 ${packaging}/firmware-cli.1 ${staged}/changelog)
  get_filename_component(name ${source} NAME)
  add_custom_command(OUTPUT ${staged}/${name}.gz
    COMMAND gzip -9nc ${source} > ${staged}/${name}.gz
    DEPENDS ${source} VERBATIM)
  list(APPEND compressed ${staged}/${name}.gz)
endforeach()
add_custom_target(fw_packaging_files ALL DEPENDS ${compressed})
install(FILES ${staged}/Firmware.1.gz ${staged}/firmware-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging}/copyright ${staged}/changelog.gz DESTINATION ${FW_DOC_DIR})

# The Debian package: cpack -G DEB (or cpack --preset deb).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${FW_PACKAGE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "load firmware and fonts into receipt printers")
# CPack puts the summary first and indents these lines.
set(CPACK_PACKAGE_DESCRIPTION "Firmware Downloader sends a firmware or font package (.DPX) to a small
receipt printer attached by a serial port, by USB or through a network
print share. It asks the printer which model it is, decides where sending
starts, and sends the package record by record with acknowledgements.

The package holds the window (Firmware), the command line (firmware-cli)
for scripts, sample packages, and a udev rule that lets the user at the
computer open USB printers and USB serial adapters without a group change.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${FW_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window needs a platform plugin to show; the network path loads
# libsmbclient when it is first used, so shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libsmbclient")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${packaging}/debian/postinst;${packaging}/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Installed where the program looks for its own installed folder.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
