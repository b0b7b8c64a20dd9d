# Installing: the program in bin/, its resources and the demo disc in
# share/quillmere (where the program looks for them), and the desktop
# integration files. `cpack -G DEB` builds a Debian package from the same rules.
include(GNUInstallDirs)

set(QUILLMERE_APP_ID org.quillmere.Quillmere)

install(TARGETS quillmere RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(f IN LISTS QUILLMERE_RESOURCE_FILES)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/${f} DESTINATION ${CMAKE_INSTALL_DATADIR}/quillmere)
endforeach()
install(DIRECTORY ${QUILLMERE_OUTPUT_DIR}/demo DESTINATION ${CMAKE_INSTALL_DATADIR}/quillmere)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${QUILLMERE_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${QUILLMERE_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${QUILLMERE_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# Manual pages are installed compressed, as Debian expects.
find_program(GZIP_PROGRAM gzip REQUIRED)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/quillmere.1.gz
  COMMAND ${GZIP_PROGRAM} -9nc ${PROJECT_SOURCE_DIR}/packaging/quillmere.1 > ${CMAKE_BINARY_DIR}/quillmere.1.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/quillmere.1)
add_custom_target(quillmere_manpage ALL DEPENDS ${CMAKE_BINARY_DIR}/quillmere.1.gz)
install(FILES ${CMAKE_BINARY_DIR}/quillmere.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Every Debian package carries its copyright and changelog. The version has no
# Debian revision, so the package is native and its changelog is changelog.gz.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND ${GZIP_PROGRAM} -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog)
add_custom_target(quillmere_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${CMAKE_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME quillmere)
set(CPACK_PACKAGE_VENDOR "The Quillmere developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.${PROJECT_VERSION_TWEAK}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Audio CD player and ripper")
# Wrapped under 80 columns: dpkg shows these lines as they are.
set(CPACK_PACKAGE_DESCRIPTION "\
Quillmere plays audio CDs and rips their tracks to WAV, WMA, MP3, OGG, FLAC
or Opus files, tagged and named from the disc's titles, from its window or
from a terminal.

It shows what a CD drive can do and whether its door is open or locked, lists
the disc's tracks with their titles from CD-Text or MusicBrainz, plays them
with volume, balance, seek and pause, and checks each ripped track against the
AccurateRip database.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Quillmere developers <maintainers@quillmere.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
# The package ships the stripped program; the build tree keeps its symbols.
set(CPACK_STRIP_FILES ON)
# dpkg-shlibdeps works out the linked libraries; by hand only what is loaded
# or run rather than linked: the encoders, the QML modules, Qt's platform and
# SVG plugins, and the scene's font.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "lame, vorbis-tools, libqt6svg6, qt6-qpa-plugins, qml6-module-qtquick, qml6-module-qtqml-workerscript, qml6-module-qtquick-window, qml6-module-qtquick-templates, qml6-module-qtquick-controls, qml6-module-qtquick-layouts, fonts-dejavu-core")
include(CPack)
