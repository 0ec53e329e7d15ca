# Windows resources written from resource data, so that the Qt windows and the Windows resources
# come from one source.
#
#   orlexmon_resource_script(NAME FUNCTION SOURCES... [DEPENDS files...])
#
# Builds ui/rc_gen.cpp with the build machine's own compiler, together with SOURCES (the resource
# data; FUNCTION returns its AfxResourceTable), runs it to write NAME.rc (and NAME.ico, when the
# table has an icon) into the current binary directory, and makes the object library NAME of the
# script, for windres to compile. A program that shows the dialogs links NAME.
enable_language(RC)
find_program(ORLEXMON_BUILD_CXX NAMES c++ g++ clang++ REQUIRED)

function(orlexmon_resource_script name function)
  cmake_parse_arguments(arg "" "" "DEPENDS" ${ARGN})
  set(sources)
  foreach(source ${arg_UNPARSED_ARGUMENTS})
    list(APPEND sources ${CMAKE_CURRENT_SOURCE_DIR}/${source})
  endforeach()
  set(generator ${CMAKE_CURRENT_BINARY_DIR}/${name}_gen)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${name}.rc)
  set(ico ${CMAKE_CURRENT_BINARY_DIR}/${name}.ico)
  add_custom_command(OUTPUT ${generator}
    COMMAND ${ORLEXMON_BUILD_CXX} -std=c++20 -O1 -I${PROJECT_SOURCE_DIR}
            -DORLEXMON_RC_RESOURCES=${function} ${PROJECT_SOURCE_DIR}/ui/rc_gen.cpp ${sources}
            -o ${generator}
    DEPENDS ${PROJECT_SOURCE_DIR}/ui/rc_gen.cpp ${sources} ${arg_DEPENDS}
            ${PROJECT_SOURCE_DIR}/framework/resource.h ${PROJECT_SOURCE_DIR}/framework/win_types.h
    COMMENT "Building the resource-script generator for ${name} (build machine)")
  add_custom_command(OUTPUT ${rc} ${ico}
    COMMAND ${CMAKE_COMMAND} -E touch ${ico}
    COMMAND ${generator} ${rc} ${ico}
    DEPENDS ${generator}
    COMMENT "Writing ${name}.rc from the resource data")
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${ico})
  add_library(${name} OBJECT ${rc})
endfunction()
