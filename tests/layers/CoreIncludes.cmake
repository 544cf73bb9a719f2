# Fails when a source of the core library includes a header of the desktop layers (platform/) or
# of the application (app/): those build on core, never the other way round. Each include is
# read as the compiler could resolve it, from the including file's folder, from core/ and from
# the repository's root, so "../" paths are caught as well as "platform/..." ones.
#
#     cmake -DSOURCE_DIR=<repository> -P CoreIncludes.cmake
if(NOT IS_DIRECTORY "${SOURCE_DIR}/core")
    message(FATAL_ERROR "No core/ folder under SOURCE_DIR '${SOURCE_DIR}'")
endif()

file(GLOB_RECURSE sources LIST_DIRECTORIES false "${SOURCE_DIR}/core/*")
set(outward 0)
foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    get_filename_component(folder "${source}" DIRECTORY)
    foreach(line IN LISTS includes)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*)[>\"].*$" "\\1" header "${line}")
        foreach(base IN ITEMS "${folder}" "${SOURCE_DIR}/core" "${SOURCE_DIR}")
            get_filename_component(resolved "${header}" ABSOLUTE BASE_DIR "${base}")
            file(RELATIVE_PATH relative "${SOURCE_DIR}" "${resolved}")
            if(relative MATCHES "^(platform|app)/")
                file(RELATIVE_PATH where "${SOURCE_DIR}" "${source}")
                message("${where}: includes ${relative}")
                math(EXPR outward "${outward} + 1")
                break()
            endif()
        endforeach()
    endforeach()
endforeach()

list(LENGTH sources count)
if(outward GREATER 0)
    message(FATAL_ERROR "${outward} include(s) run from core/ into platform/ or app/")
endif()
message("${count} files under core/ include nothing from platform/ or app/")
