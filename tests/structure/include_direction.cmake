# Fails when a source file under src/ includes a header of a folder it must not depend on.
# The folders depend one way: app on link, protocol and monitor; those on platform and
# chart; chart on platform; platform on nothing of ours.
# Usage: cmake -DSRC=<path to src> -P include_direction.cmake
cmake_minimum_required(VERSION 3.25)
set(allowed_app app link protocol monitor platform chart)
set(allowed_link link platform chart)
set(allowed_protocol protocol platform chart)
set(allowed_monitor monitor platform chart)
set(allowed_chart chart platform)
set(allowed_platform platform)
set(modules app link protocol monitor chart platform)

get_filename_component(SRC "${SRC}" ABSOLUTE)
set(violations "")
foreach(module ${modules})
    file(GLOB_RECURSE files ${SRC}/${module}/*.h ${SRC}/${module}/*.cpp)
    foreach(file ${files})
        file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]+\"[^\"/]+/")
        foreach(line ${lines})
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([^\"/]+)/.*" "\\1" target "${line}")
            if(target IN_LIST modules AND NOT target IN_LIST allowed_${module})
                file(RELATIVE_PATH shown ${SRC} ${file})
                list(APPEND violations "${shown}: ${module}/ must not include ${target}/ (${line})")
            endif()
        endforeach()
    endforeach()
endforeach()

if(violations)
    list(JOIN violations "\n  " text)
    message(FATAL_ERROR "includes against the direction of the folders:\n  ${text}")
endif()
message(STATUS "include direction: every folder includes only what it may")
