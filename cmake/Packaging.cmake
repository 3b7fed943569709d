# Installation (`cmake --install`) and the Debian package (`cpack -G DEB`, or the target
# `package`). The emulator image, the themes and the window pictures are built into the
# programs; what is installed beside them is what a desktop expects: the menu entry, its icon,
# the AppStream metadata, the manual pages and the documents.
if(NOT CMAKE_INSTALL_DOCDIR)
    set(CMAKE_INSTALL_DOCDIR share/doc/tapeloom) # not the project's capitalised name
endif()
include(GNUInstallDirs)

set(TAPELOOM_HOMEPAGE_URL "https://tapeloom.example.org/" CACHE STRING
    "Homepage named in the AppStream metadata and the package")
set(TAPELOOM_SCREENSHOT_URL "${TAPELOOM_HOMEPAGE_URL}screenshots/" CACHE STRING
    "Where the pictures of docs/screenshots are published (AppStream screenshots)")
set(TAPELOOM_APPSTREAM_ID "org.example.tapeloom")
set(TAPELOOM_DOC_DIR ${CMAKE_INSTALL_FULL_DOCDIR})

set(packaging_dir ${CMAKE_BINARY_DIR}/packaging)

if(TARGET tapeloom-cli)
    install(TARGETS tapeloom-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# Manual pages: the version and date filled in, compressed as Debian keeps them.
find_program(TAPELOOM_GZIP gzip REQUIRED)
set(man_pages tapeloom-cli)
if(TAPELOOM_BUILD_UI)
    list(APPEND man_pages tapeloom)
endif()
set(man_outputs "")
foreach(page IN LISTS man_pages)
    configure_file(${CMAKE_SOURCE_DIR}/docs/man/${page}.1.in ${packaging_dir}/man/${page}.1 @ONLY)
    add_custom_command(OUTPUT ${packaging_dir}/man/${page}.1.gz
        COMMAND ${TAPELOOM_GZIP} -9 -n -f -k ${packaging_dir}/man/${page}.1
        DEPENDS ${packaging_dir}/man/${page}.1
        COMMENT "Compressing the manual page ${page}(1)")
    list(APPEND man_outputs ${packaging_dir}/man/${page}.1.gz)
endforeach()
install(FILES ${man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/README.md
              ${CMAKE_SOURCE_DIR}/resources/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

if(TAPELOOM_BUILD_UI)
    install(TARGETS tapeloom RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${CMAKE_SOURCE_DIR}/resources/tapeloom.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

    configure_file(${CMAKE_SOURCE_DIR}/resources/tapeloom.metainfo.xml.in
                   ${packaging_dir}/${TAPELOOM_APPSTREAM_ID}.metainfo.xml @ONLY)
    install(FILES ${packaging_dir}/${TAPELOOM_APPSTREAM_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

    # The icon at the hicolor theme's usual sizes, rendered from the same SVG the window uses.
    find_program(TAPELOOM_RSVG_CONVERT rsvg-convert REQUIRED)
    set(icon_svg ${CMAKE_SOURCE_DIR}/resources/pictures/icon.svg)
    set(icon_outputs "")
    foreach(size 16 22 24 32 48 64 128 256)
        set(png ${packaging_dir}/icons/${size}x${size}/tapeloom.png)
        add_custom_command(OUTPUT ${png}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${packaging_dir}/icons/${size}x${size}
            COMMAND ${TAPELOOM_RSVG_CONVERT} --width=${size} --height=${size} --format=png
                    --output=${png} ${icon_svg}
            DEPENDS ${icon_svg}
            COMMENT "Rendering the ${size}x${size} application icon")
        list(APPEND icon_outputs ${png})
        install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    install(FILES ${icon_svg} RENAME tapeloom.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
add_custom_target(tapeloom_install_files ALL DEPENDS ${man_outputs} ${icon_outputs})

# The Debian package. Its dependencies are read from the programs by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tapeloom)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tapeloom developers")
set(CPACK_PACKAGE_CONTACT "The Tapeloom developers <tapeloom@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "pack ZX Spectrum snapshots into a Game Boy Advance cartridge image")
set(CPACK_PACKAGE_DESCRIPTION
"Tapeloom packs ZX Spectrum 48K snapshots (.sna, .z80) into one Game Boy
Advance cartridge image, tpl.gba: its own ZX Spectrum emulator for the GBA
(with the OpenSE BASIC ROM), a table of the snapshots, then the snapshots.

A Qt window keeps the catalogue, each snapshot's display name and control
scheme (the ten handheld buttons mapped to Spectrum keys or Kempston
joystick lines) and shows the snapshot's screen while keys are assigned. It
also builds a plug-in for the Pogoshell GBA shell and imports Tarn's
INJECT.INI. tapeloom-cli does the same from the command line.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${TAPELOOM_HOMEPAGE_URL})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its display plug-ins at run time, so no library names them; "Automatically compile
# Pogoshell" and the homepage link open through xdg-open.
if(TAPELOOM_BUILD_UI)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
