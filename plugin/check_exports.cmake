# Checks that the plug-in exports exactly its two entry points, undecorated.
# Usage: cmake -DLIB=<path to the library> -P check_exports.cmake
execute_process(COMMAND nm -D --defined-only ${LIB}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIB}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(names "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] " "" name "${line}")
  list(APPEND names "${name}")
endforeach()
list(SORT names)
if(NOT names STREQUAL "create_component;destroy_component")
  message(FATAL_ERROR "unexpected exports: ${names}")
endif()
