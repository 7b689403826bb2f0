# Files the program finds in its own folder: the sample folders, and the optional skin
# and hand cursor when the repository has them. They go beside the binary in the build
# folder and beside the installed binary.
include(GNUInstallDirs)

set(QUELLOMIR_SAMPLES_STAMP ${PROJECT_BINARY_DIR}/Samples/.stamp)
file(GLOB_RECURSE QUELLOMIR_SAMPLE_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/samples/*)
add_custom_command(
    OUTPUT ${QUELLOMIR_SAMPLES_STAMP}
    COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR}/samples -DDESTINATION=${PROJECT_BINARY_DIR}/Samples
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

# The program lives in its own folder so that its sample folders can sit beside it;
# bin/ gets a link to it. The program finds its folder through the resolved link.
install(TARGETS quellomir RUNTIME DESTINATION ${CMAKE_INSTALL_LIBDIR}/quellomir)
install(DIRECTORY ${PROJECT_BINARY_DIR}/Samples DESTINATION ${CMAKE_INSTALL_LIBDIR}/quellomir
        PATTERN .stamp EXCLUDE)
install(CODE "
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(CREATE_LINK ../${CMAKE_INSTALL_LIBDIR}/quellomir/quellomir
         \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/quellomir\" SYMBOLIC)
")
