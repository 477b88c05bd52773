# What "cmake --install" lays out under its prefix, and the Debian package cpack makes of
# it. Everything the programs read at run time is found relative to the executable
# (app/AppDirs.cpp, android/AgentInstaller.cpp), so the tree works under any prefix.
include(GNUInstallDirs)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(VELLIPORT_APP_ID org.velliport.Velliport)
set(VELLIPORT_HOMEPAGE "https://velliport.org" CACHE STRING
    "The project's web address: the AppStream data links it and its docs/ screenshots")
set(VELLIPORT_MAINTAINER "Velliport developers <maintainers@velliport.org>" CACHE STRING
    "Maintainer of the Debian package")

# The programs link no library of their own: no run path ($ORIGIN/../lib, which Qt's
# project setup would give them) is needed, nor wanted in a Debian package.
set_target_properties(velliport velliport-cli portwarden velliport-agent PROPERTIES INSTALL_RPATH "")
install(TARGETS velliport velliport-cli portwarden RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The pictures drawn beside the programs at build time.
install(DIRECTORY ${VELLIPORT_BIN_DIR}/vbbb ${VELLIPORT_BIN_DIR}/emoji ${VELLIPORT_BIN_DIR}/vb_emoji
    DESTINATION ${CMAKE_INSTALL_DATADIR}/velliport
    PATTERN .generated EXCLUDE)

# The application menu entry and the software centres' description.
install(FILES resources/desktop/${VELLIPORT_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(resources/desktop/${VELLIPORT_APP_ID}.metainfo.xml.in
    ${PROJECT_BINARY_DIR}/desktop/${VELLIPORT_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/desktop/${VELLIPORT_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The icon: one SVG, and the PNG sizes of the hicolor theme rendered from it.
set(icon_svg ${PROJECT_SOURCE_DIR}/resources/icons/${VELLIPORT_APP_ID}.svg)
set(icon_sizes 16 22 24 32 48 64 128 256 512)
set(icon_dir ${PROJECT_BINARY_DIR}/icons)
set(icon_pngs)
foreach(size IN LISTS icon_sizes)
    list(APPEND icon_pngs ${icon_dir}/${size}x${size}/apps/${VELLIPORT_APP_ID}.png)
    install(FILES ${icon_dir}/${size}x${size}/apps/${VELLIPORT_APP_ID}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_command(OUTPUT ${icon_pngs}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            $<TARGET_FILE:svgpng> ${icon_svg} ${icon_dir} ${VELLIPORT_APP_ID} ${icon_sizes}
    DEPENDS svgpng ${icon_svg}
    COMMENT "Rendering the program icon's sizes"
    VERBATIM)
add_custom_target(velliport_icons ALL DEPENDS ${icon_pngs})
install(FILES ${icon_svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The manual pages, made from the programs' own --help (resources/man/helptoman.py) and
# compressed as Debian keeps them. The programs run here only to print their help: no
# display, a data folder inside the build tree, no leak report.
set(man_dir ${PROJECT_BINARY_DIR}/man)
set(man_pages)
foreach(program velliport velliport-cli)
    set(page ${man_dir}/${program}.1)
    add_custom_command(OUTPUT ${page}.gz
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen XDG_DATA_HOME=${man_dir}/home
                XDG_CONFIG_HOME=${man_dir}/home ASAN_OPTIONS=detect_leaks=0
                ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/resources/man/helptoman.py
                ${PROJECT_SOURCE_DIR}/resources/man/${program}.1.in ${page} $<TARGET_FILE:${program}>
        COMMAND gzip -9nf ${page}
        DEPENDS ${program} ${PROJECT_SOURCE_DIR}/resources/man/helptoman.py
                ${PROJECT_SOURCE_DIR}/resources/man/${program}.1.in
        COMMENT "Writing the manual page of ${program} from its --help"
        VERBATIM)
    list(APPEND man_pages ${page}.gz)
endforeach()
# Portwarden takes no options: its page is written by hand.
add_custom_command(OUTPUT ${man_dir}/portwarden.1.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/resources/man/portwarden.1 ${man_dir}/portwarden.1
    COMMAND gzip -9nf ${man_dir}/portwarden.1
    DEPENDS ${PROJECT_SOURCE_DIR}/resources/man/portwarden.1
    VERBATIM)
list(APPEND man_pages ${man_dir}/portwarden.1.gz)
add_custom_target(velliport_manpages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The Debian package: "cpack -G DEB" in a Release tree (scripts/package.sh).
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/velliport)
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${PROJECT_BINARY_DIR}/debian/changelog
    "velliport (${PROJECT_VERSION}) stable; urgency=medium\n\n"
    "  * Velliport ${PROJECT_VERSION}.\n\n"
    " -- ${VELLIPORT_MAINTAINER}  ${changelog_date}\n")
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/debian/changelog.gz
    COMMAND gzip -9nkf ${PROJECT_BINARY_DIR}/debian/changelog
    DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog
    VERBATIM)
add_custom_target(velliport_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/debian/changelog.gz resources/debian/copyright DESTINATION ${doc_dir})
install(FILES resources/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
    RENAME velliport)

set(CPACK_PACKAGE_NAME velliport)
set(CPACK_PACKAGE_VENDOR "The Velliport developers")
set(CPACK_PACKAGE_CONTACT "${VELLIPORT_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "read, back up, export and transfer Viber message histories")
set(CPACK_PACKAGE_DESCRIPTION_FILE ${PROJECT_SOURCE_DIR}/resources/debian/description)
set(CPACK_PACKAGE_HOMEPAGE_URL "${VELLIPORT_HOMEPAGE}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS adb)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)

# Everything the install step copies, for a tree that builds only that (scripts/package.sh).
add_custom_target(velliport_installed DEPENDS velliport velliport-cli portwarden velliport-agents velliport_assets
    velliport_icons velliport_manpages velliport_changelog)
