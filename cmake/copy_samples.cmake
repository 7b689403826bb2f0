# Copies the sample folders and gives their files fixed last-write times: git keeps no
# file times, and the samples are meant to show every kind of plan row.
# times.txt: one line per file, "<path relative to samples/> <seconds since 1970 UTC>".
file(REMOVE_RECURSE ${DESTINATION})
file(COPY ${SOURCE}/Folder1 ${SOURCE}/Folder2 DESTINATION ${DESTINATION})
file(STRINGS ${SOURCE}/times.txt lines)
foreach(line IN LISTS lines)
    if(line MATCHES "^([^ ]+) ([0-9]+)$")
        execute_process(COMMAND touch -m -d @${CMAKE_MATCH_2} ${DESTINATION}/${CMAKE_MATCH_1}
                        RESULT_VARIABLE failed)
        if(failed)
            message(FATAL_ERROR "Could not set the time of sample ${CMAKE_MATCH_1}")
        endif()
    endif()
endforeach()
file(TOUCH ${DESTINATION}/.stamp)
