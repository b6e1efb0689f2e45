# Builds the English translation the program carries, and fails unless it is
# complete for the sources it is built with:
#   cmake -DLUPDATE=... -DLRELEASE=... -DTS=<file.ts> -DSOURCES=<folder>
#         -DQM=<file.qm> [-DUPDATE=ON] -P translations.cmake
# The texts of the sources are gathered into a copy of the .ts (lupdate): a text
# that is new there is unfinished, a text the sources no longer have is vanished.
# Either fails the build, with the texts named. With UPDATE=ON the .ts itself is
# brought up to date instead (new texts unfinished, gone ones removed).
cmake_minimum_required(VERSION 3.25)

if(UPDATE)
    execute_process(COMMAND ${LUPDATE} -silent -locations none -no-obsolete
        -source-language zh_CN -target-language en ${SOURCES} -ts ${TS}
        COMMAND_ERROR_IS_FATAL ANY)
    return()
endif()

get_filename_component(out_dir ${QM} DIRECTORY)
get_filename_component(name ${TS} NAME)
set(copy ${out_dir}/checked-${name})
configure_file(${TS} ${copy} COPYONLY)
execute_process(COMMAND ${LUPDATE} -silent -locations none
    -source-language zh_CN -target-language en ${SOURCES} -ts ${copy}
    RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "lupdate failed:\n${log}")
endif()

file(READ ${copy} ts)
string(REGEX MATCHALL "<source>[^<]*</source>[ \t\r\n]*(<comment>[^<]*</comment>[ \t\r\n]*)?<translation type=\"(unfinished|vanished|obsolete)\"" bad "${ts}")
if(bad)
    set(list)
    foreach(entry ${bad})
        string(REGEX REPLACE "^<source>([^<]*)</source>.*type=\"([a-z]+)\"$" "  \\2: \\1" line "${entry}")
        string(APPEND list "${line}\n")
    endforeach()
    message(FATAL_ERROR "${TS} does not match the sources:\n${list}"
        "Update it (cmake --build <build> --target update_translations), translate the "
        "unfinished texts and build again.")
endif()

execute_process(COMMAND ${LRELEASE} -silent ${copy} -qm ${QM}
    RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "lrelease failed:\n${log}")
endif()
