# Fails when the sources of one target do not compile as one file: two of them define the same name
# at file scope (in an anonymous namespace, or static), or one leaks a declaration that another's
# names collide with. A unity build compiles a target a batch of sources at a time, and where CMake
# cuts the batches changes with each added file and with CMake's version: a target whose sources
# all compile together builds in any batches. The target's batches, as CMake wrote them, are put
# in one file in their order and compiled as the build compiles them, without code or object file.
#
#     cmake -DCOMMANDS=<compile_commands.json> -DTARGET_DIR=<build>/.../CMakeFiles/<target>.dir
#           -DTOGETHER=<file to write> -P UnityTogether.cmake
foreach(input COMMANDS TARGET_DIR TOGETHER)
    if(NOT ${input})
        message(FATAL_ERROR "UnityTogether.cmake needs -D${input}=…")
    endif()
endforeach()
get_filename_component(target "${TARGET_DIR}" NAME_WE)

file(GLOB batches LIST_DIRECTORIES false "${TARGET_DIR}/Unity/unity_*_cxx.cxx")
if(NOT batches)
    message("${target}: no batches, nothing compiled together")
    return()
endif()
# In the order of their numbers, as CMake made them.
set(numbered "")
foreach(batch IN LISTS batches)
    string(REGEX REPLACE "^.*/unity_([0-9]+)_cxx[.]cxx$" "\\1" number "${batch}")
    set(padded "000000${number}")
    string(LENGTH "${padded}" length)
    math(EXPR start "${length} - 6")
    string(SUBSTRING "${padded}" ${start} 6 padded)
    list(APPEND numbered "${padded}|${batch}")
endforeach()
list(SORT numbered)
set(text "/* ${target}: every batch of its unity build, in one file */\n")
foreach(entry IN LISTS numbered)
    string(REGEX REPLACE "^[0-9]+[|]" "" batch "${entry}")
    file(READ "${batch}" content)
    string(APPEND text "${content}\n")
endforeach()
list(GET numbered 0 first)
string(REGEX REPLACE "^[0-9]+[|]" "" first "${first}")
file(WRITE "${TOGETHER}" "${text}")

# The build's own command for its first batch: its flags, definitions and include folders.
# Only the lines of the three fields: the array's brackets would join a CMake list's items.
file(STRINGS "${COMMANDS}" lines REGEX "^[ \t]*\"(directory|command|file)\": ")
set(directory "")
set(command "")
set(found FALSE)
foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*\"directory\": \"(.*)\",?$")
        set(directory "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^[ \t]*\"command\": \"(.*)\",?$")
        set(command "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^[ \t]*\"file\": \"(.*)\",?$")
        if(CMAKE_MATCH_1 STREQUAL first)
            set(found TRUE)
            break()
        endif()
    endif()
endforeach()
if(NOT found)
    message(FATAL_ERROR "${target}: ${COMMANDS} has no command for ${first}")
endif()
# The JSON string's escapes undone: \\ and \".
string(ASCII 1 held)
string(REPLACE "\\\\" "${held}" command "${command}")
string(REPLACE "\\\"" "\"" command "${command}")
string(REPLACE "${held}" "\\" command "${command}")
separate_arguments(arguments UNIX_COMMAND "${command}")

# The same compilation of the file of all batches, checked and not compiled: no object file and no
# dependency file of the build's is written.
set(checking "")
set(skip 0)
foreach(argument IN LISTS arguments)
    if(skip)
        set(skip 0)
    elseif(argument MATCHES "^-(o|MT|MF|MQ)$")
        set(skip 1)
    elseif(argument MATCHES "^-(MD|MMD)$" OR argument STREQUAL first)
    elseif(argument STREQUAL "-c")
        list(APPEND checking -fsyntax-only -c "${TOGETHER}")
    else()
        list(APPEND checking "${argument}")
    endif()
endforeach()
list(LENGTH numbered count)
execute_process(COMMAND ${checking} WORKING_DIRECTORY "${directory}" RESULT_VARIABLE status
                OUTPUT_VARIABLE said ERROR_VARIABLE said)
if(NOT status EQUAL 0)
    # The lines that name what collides, and where; the rest is the compiler's context.
    string(REPLACE ";" "\\;" said "${said}")
    string(REPLACE "\n" ";" said "${said}")
    set(named "")
    foreach(line IN LISTS said)
        if(line MATCHES "(error|note): .*(redefinition|conflicting|ambiguous|previous(ly)? (defined|declared|definition|declaration)|candidate)")
            list(APPEND named "${line}")
        endif()
    endforeach()
    if(NOT named)
        set(named ${said})
    endif()
    list(REMOVE_DUPLICATES named)
    list(JOIN named "\n" named)
    message("${named}")
    message(FATAL_ERROR "${target}: its ${count} batches do not compile as one file: two of its sources "
                        "define one name at file scope. Each must build in whatever batches CMake cuts: "
                        "name file-local helpers apart, or make one of the two where they are the same.")
endif()
message("${target}: its ${count} batches compile as one file")
