# Writes CHANGELOG.md in the form of a Debian changelog, which the .deb
# installs as /usr/share/doc/mstexport/changelog.gz:
#
#   cmake -DCHANGELOG=CHANGELOG.md -DOUTPUT=changelog -DPACKAGE=mstexport
#         "-DMAINTAINER=Name <address>" -P changelog.cmake
#
# Each "## [X.Y.Z] - YYYY-MM-DD" section becomes an entry, its "### Added"
# headings lines of their own and its "- " items the entry's "* " items.
foreach(variable CHANGELOG OUTPUT PACKAGE MAINTAINER)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "changelog.cmake needs -D${variable}=...")
    endif()
endforeach()

# The date and hour as Debian writes them, "Wed, 09 Dec 2026 01:00:00 +0000".
function(debian_date iso_date hour out)
    string(REGEX MATCH "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$" matched "${iso_date}")
    if(NOT matched)
        message(FATAL_ERROR "${CHANGELOG}: '${iso_date}' is not a date YYYY-MM-DD")
    endif()
    set(year ${CMAKE_MATCH_1})
    math(EXPR month "${CMAKE_MATCH_2}")  # without a leading zero
    set(day ${CMAKE_MATCH_3})
    math(EXPR day_number "${day}")
    # The day of the week, 0 for Sunday (Sakamoto's method).
    set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
    math(EXPR index "${month} - 1")
    list(GET offsets ${index} offset)
    set(y ${year})
    if(month LESS 3)
        math(EXPR y "${y} - 1")
    endif()
    math(EXPR weekday "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${offset} + ${day_number}) % 7")
    set(weekdays Sun Mon Tue Wed Thu Fri Sat)
    set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
    list(GET weekdays ${weekday} weekday_name)
    list(GET months ${index} month_name)
    set(${out} "${weekday_name}, ${day} ${month_name} ${year} ${hour}:00:00 +0000" PARENT_SCOPE)
endfunction()

file(STRINGS "${CHANGELOG}" lines)
set(count 0)  # entries read, newest first
foreach(line IN LISTS lines)
    if(line MATCHES "^## \\[([^]]+)\\] - ([0-9-]+)$")
        math(EXPR count "${count} + 1")
        set(date_${count} "${CMAKE_MATCH_2}")
        set(body_${count} "${PACKAGE} (${CMAKE_MATCH_1}) unstable; urgency=medium\n\n")
    elseif(count EQUAL 0)
        # The introduction above the first version.
    elseif(line MATCHES "^### (.*)$")
        string(APPEND body_${count} "  ${CMAKE_MATCH_1}:\n")
    elseif(line MATCHES "^- (.*)$")
        string(APPEND body_${count} "  * ${CMAKE_MATCH_1}\n")
    elseif(line MATCHES "^  (.*)$")
        string(APPEND body_${count} "    ${CMAKE_MATCH_1}\n")
    elseif(line STREQUAL "")
        if(NOT body_${count} MATCHES "\n\n$")
            string(APPEND body_${count} "\n")
        endif()
    else()
        message(FATAL_ERROR "${CHANGELOG}: a line of no known kind: '${line}'")
    endif()
endforeach()
if(count EQUAL 0)
    message(FATAL_ERROR "${CHANGELOG}: no version found")
endif()

# Debian wants each entry later than the one before it. Versions released on
# the same day are an hour apart, the oldest at midnight.
set(text "")
foreach(entry RANGE 1 ${count})
    set(hour 0)
    math(EXPR older "${entry} + 1")
    if(older LESS_EQUAL count)
        foreach(other RANGE ${older} ${count})
            if(date_${other} STREQUAL date_${entry})
                math(EXPR hour "${hour} + 1")
            endif()
        endforeach()
    endif()
    string(LENGTH "${hour}" digits)
    if(digits EQUAL 1)
        set(hour "0${hour}")
    endif()
    debian_date("${date_${entry}}" "${hour}" date)
    string(REGEX REPLACE "\n+$" "\n" body "${body_${entry}}")
    string(APPEND text "${body}\n -- ${MAINTAINER}  ${date}\n")
    if(entry LESS count)
        string(APPEND text "\n")
    endif()
endforeach()
file(WRITE "${OUTPUT}" "${text}")
