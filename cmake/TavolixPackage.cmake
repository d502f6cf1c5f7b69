# The Debian package: `cpack -G DEB` in a Release tree configured with
# CMAKE_INSTALL_PREFIX=/usr (scripts/package.sh does both). Dependencies come
# from dpkg-shlibdeps, not from this file.

set(TAVOLIX_MAINTAINER "Tavolix maintainers <maintainers@users.noreply.c-seed-8292213b.example>"
    CACHE STRING "Package maintainer")

# What Debian asks of every package's doc folder: the copyright file and a
# changelog, compressed without a timestamp.
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/tavolix)
find_program(TAVOLIX_GZIP gzip)
if(TAVOLIX_GZIP)
  set(changelog_src ${PROJECT_SOURCE_DIR}/packaging/changelog)
  set(changelog_gz ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
  add_custom_command(
    OUTPUT ${changelog_gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
    COMMAND sh -c "'${TAVOLIX_GZIP}' -n -9 < '${changelog_src}' > '${changelog_gz}'"
    DEPENDS ${changelog_src}
    VERBATIM)
  add_custom_target(tavolix_changelog ALL DEPENDS ${changelog_gz})
  install(FILES ${changelog_gz} DESTINATION ${doc_dir})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${doc_dir})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides RENAME tavolix
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavolix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TAVOLIX_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/StripPackageFiles.cmake)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop file finder that writes its hits as an HTML page")
set(CPACK_PACKAGE_DESCRIPTION
    "Tavolix finds files by one wildcard key (such as *.gif) in a folder and every\n\
folder below it. Each search opens a result window of its own, where the hits\n\
sort by folder, name, extension, size or time, and bitmaps, metafiles and icons\n\
are drawn as small pictures; a pictures view adds JPEG, PNG, WebP, SVG, TIFF\n\
and PDF pages, made in helper processes and kept in the desktop's shared\n\
thumbnail cache. From a result window it writes the hits as an HTML\n\
page, with GIF and JPEG pictures inline and every other file as a link, and\n\
keeps the last ten pages in a menu.\n\
\n\
The command tavolix-page does the same from a terminal or a script. The\n\
interface is in Japanese, and in English for users of other languages.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TAVOLIX_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TAVOLIX_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The opener starts files and the help through xdg-open; the interface's
# fonts are metric twins of the Japanese system fonts; the toolkit's WebP,
# TIFF, TGA and ICNS readers are plugins, which dpkg-shlibdeps can't see; Qt's
# own Japanese catalogue makes its dialogs (the save dialog) Japanese too.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "xdg-utils, fonts-ipafont-gothic, fonts-ipafont-mincho, qt6-image-formats-plugins, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
