# isorelink_layer(NAME BELOW...): the library isorelink_NAME from src/NAME/
# (sub-folders included), linking the libraries of the layers BELOW it, and a
# build-time check that its sources include nothing else of ours.
set(ISORELINK_LAYER_CHECK ${CMAKE_CURRENT_LIST_DIR}/check_layer.cmake)

function(isorelink_check_layer target name)
  set(allowed ${name} ${ARGN})
  string(REPLACE ";" "," allowed_list "${allowed}")
  set(stamp ${CMAKE_BINARY_DIR}/layers/${name}.ok)
  file(GLOB_RECURSE layer_files CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/src/${name}/*.h ${CMAKE_SOURCE_DIR}/src/${name}/*.cpp)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DLAYER=${name} -DALLOWED=${allowed_list}
            -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DSTAMP=${stamp} -P ${ISORELINK_LAYER_CHECK}
    DEPENDS ${layer_files} ${ISORELINK_LAYER_CHECK}
    COMMENT "Checking the includes of src/${name}"
    VERBATIM)
  add_custom_target(layer_${name} DEPENDS ${stamp})
  add_dependencies(${target} layer_${name})
endfunction()

function(isorelink_layer name)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${name}/*.cpp)
  if(sources)
    add_library(isorelink_${name} STATIC ${sources})
    target_include_directories(isorelink_${name} PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/include)
    foreach(below IN LISTS ARGN)
      target_link_libraries(isorelink_${name} PUBLIC isorelink_${below})
    endforeach()
  else()
    add_library(isorelink_${name} INTERFACE)
    target_include_directories(isorelink_${name} INTERFACE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/include)
    foreach(below IN LISTS ARGN)
      target_link_libraries(isorelink_${name} INTERFACE isorelink_${below})
    endforeach()
  endif()
  isorelink_check_layer(isorelink_${name} ${name} ${ARGN})
endfunction()
