# Files the program finds in its own folder: the sample folders, and the optional skin
# and hand cursor when the repository has them. They go beside the binary in the build
# folder and beside the installed binary.
include(GNUInstallDirs)

# Two copies: the one beside the program is the user's to try a sync on; the other is
# only installed, so that what a user did to the first never ships.
set(QUELLOMIR_SAMPLES_STAMP ${PROJECT_BINARY_DIR}/Samples/.stamp)
set(QUELLOMIR_INSTALLED_SAMPLES ${PROJECT_BINARY_DIR}/to-install/Samples)
file(GLOB_RECURSE QUELLOMIR_SAMPLE_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/samples/*)
add_custom_command(
    OUTPUT ${QUELLOMIR_SAMPLES_STAMP} ${QUELLOMIR_INSTALLED_SAMPLES}/.stamp
    COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR}/samples -DDESTINATION=${PROJECT_BINARY_DIR}/Samples
            -P ${PROJECT_SOURCE_DIR}/cmake/copy_samples.cmake
    COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR}/samples -DDESTINATION=${QUELLOMIR_INSTALLED_SAMPLES}
            -P ${PROJECT_SOURCE_DIR}/cmake/copy_samples.cmake
    DEPENDS ${QUELLOMIR_SAMPLE_FILES} ${PROJECT_SOURCE_DIR}/cmake/copy_samples.cmake
    COMMENT "Copying the sample folders beside the program")
add_custom_target(quellomir_samples ALL DEPENDS ${QUELLOMIR_SAMPLES_STAMP})

foreach(optional x/o.cjs HAND-M.CUR)
    if(EXISTS ${PROJECT_SOURCE_DIR}/resources/${optional})
        configure_file(${PROJECT_SOURCE_DIR}/resources/${optional} ${PROJECT_BINARY_DIR}/${optional} COPYONLY)
        get_filename_component(optional_dir ${optional} DIRECTORY)
        install(FILES ${PROJECT_SOURCE_DIR}/resources/${optional}
                DESTINATION ${CMAKE_INSTALL_LIBDIR}/quellomir/${optional_dir})
    endif()
endforeach()

# The program lives in its own folder, where it looks for its sample folders; bin/ gets a
# link to it, and the program finds its folder through the resolved link. The sample
# folders are data of no architecture, so they lie in share/ and the program's folder
# holds a link to them.
install(TARGETS quellomir RUNTIME DESTINATION ${CMAKE_INSTALL_LIBDIR}/quellomir)
install(DIRECTORY ${QUELLOMIR_INSTALLED_SAMPLES} DESTINATION ${CMAKE_INSTALL_DATADIR}/quellomir
        PATTERN .stamp EXCLUDE)
file(RELATIVE_PATH QUELLOMIR_BIN_TO_PROGRAM /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR}/quellomir/quellomir)
file(RELATIVE_PATH QUELLOMIR_PROGRAM_TO_SAMPLES /${CMAKE_INSTALL_LIBDIR}/quellomir
     /${CMAKE_INSTALL_DATADIR}/quellomir/Samples)
install(CODE "
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(CREATE_LINK ${QUELLOMIR_BIN_TO_PROGRAM}
         \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/quellomir\" SYMBOLIC)
    file(CREATE_LINK ${QUELLOMIR_PROGRAM_TO_SAMPLES}
         \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/quellomir/Samples\" SYMBOLIC)
")
