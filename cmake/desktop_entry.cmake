# What a Linux desktop needs to list the program in its menu and software centre: the
# desktop entry, the AppStream metainfo (named alike, as AppStream asks), the program's icon
# in the hicolor theme (the drawing itself and a PNG for each size the window also embeds),
# the manual page, and the copyright and changelog that a Debian package carries.
include(GNUInstallDirs)

set(QUELLOMIR_APP_ID example.venmarro.Quellomir)
install(FILES ${PROJECT_SOURCE_DIR}/resources/${QUELLOMIR_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/${QUELLOMIR_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/quellomir.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/quellomir-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME quellomir.png)
endforeach()

# Compressed as Debian keeps them, without a time stamp in the gzip header so that every
# build makes the same bytes.
set(QUELLOMIR_GZIPPED)
foreach(pair "docs/quellomir.1:quellomir.1.gz" "resources/changelog:changelog.Debian.gz" "README.md:README.md.gz")
    string(REPLACE ":" ";" pair "${pair}")
    list(GET pair 0 source)
    list(GET pair 1 target)
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/gz/${target}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/gz
                       COMMAND sh -c "gzip -9n -c \"$1\" >\"$2\"" gzip ${PROJECT_SOURCE_DIR}/${source}
                               ${PROJECT_BINARY_DIR}/gz/${target}
                       DEPENDS ${PROJECT_SOURCE_DIR}/${source} VERBATIM)
    list(APPEND QUELLOMIR_GZIPPED ${PROJECT_BINARY_DIR}/gz/${target})
endforeach()
add_custom_target(quellomir_gzipped_docs ALL DEPENDS ${QUELLOMIR_GZIPPED})
install(FILES ${PROJECT_BINARY_DIR}/gz/quellomir.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_BINARY_DIR}/gz/changelog.Debian.gz ${PROJECT_BINARY_DIR}/gz/README.md.gz
              ${PROJECT_SOURCE_DIR}/resources/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quellomir)
