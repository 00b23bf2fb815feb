# Fails when a folder of the program includes a folder above it, or one
# beside it: the folders depend one way, from the top down,
#
#   cli/                         the entry and the command line
#   export/                      the export run and the formats
#   masterfile/ (iso2709/ ...)   the record sources, which know nothing of each other
#   record/                      what every source and every format shares
#   charset/  platform/          code pages; files and the system
#
#   cmake -DSOURCE_DIR=<the project's folder> -P cmake/CheckIncludeDirection.cmake
set(levels "cli" "export" "masterfile iso2709" "record" "charset platform")

set(level_count 0)
foreach(level IN LISTS levels)
    string(REPLACE " " ";" folders "${level}")
    foreach(folder IN LISTS folders)
        set(level_of_${folder} ${level_count})
        list(APPEND all_folders ${folder})
    endforeach()
    math(EXPR level_count "${level_count} + 1")
endforeach()

set(wrong "")
foreach(folder IN LISTS all_folders)
    file(GLOB files "${SOURCE_DIR}/${folder}/*.cpp" "${SOURCE_DIR}/${folder}/*.hpp"
         "${SOURCE_DIR}/${folder}/*.inc")
    foreach(file IN LISTS files)
        file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[a-z0-9]+/")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^[^\"]*\"([a-z0-9]+)/.*$" "\\1" included "${line}")
            if(NOT DEFINED level_of_${included} OR included STREQUAL folder)
                continue()
            endif()
            if(NOT level_of_${included} GREATER level_of_${folder})
                file(RELATIVE_PATH shown "${SOURCE_DIR}" "${file}")
                string(STRIP "${line}" line)
                string(APPEND wrong "  ${shown}: ${line}\n")
            endif()
        endforeach()
    endforeach()
endforeach()
if(wrong)
    message(FATAL_ERROR "These includes go up, or sideways, between the program's folders:\n"
                        "${wrong}")
endif()
message(STATUS "Every include of the program's folders goes down")
