# What a Linux desktop needs to list the program in its menu: the desktop entry, and the
# program's icon in the hicolor theme, the drawing itself and a PNG for each size the
# window also embeds.
include(GNUInstallDirs)

install(FILES ${PROJECT_SOURCE_DIR}/resources/quellomir.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/quellomir.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/quellomir-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME quellomir.png)
endforeach()
