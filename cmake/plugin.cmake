# The plugin: its status file is a library of its own (the tests reach it), and so
# is what the six entry points do, which both boundaries share. The module is a
# shared library named isorelink.qpi exporting the six entry points only: on Linux
# with the plain C boundary (src/plugin/exports.cpp), on Windows with the host
# application's own (src/plugin/win32), the C boundary shipping beside it as
# isorelink-c.dll for scripting callers.
add_library(isorelink_plugin_status STATIC ${CMAKE_SOURCE_DIR}/src/plugin/status_file.cpp)
target_link_libraries(isorelink_plugin_status PUBLIC isorelink_platform isorelink_format isorelink_common)
target_include_directories(isorelink_plugin_status PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/include)
isorelink_check_layer(isorelink_plugin_status plugin extract rebuild read format platform common isorelink)

add_library(isorelink_plugin_entry STATIC ${CMAKE_SOURCE_DIR}/src/plugin/entry_points.cpp)
target_link_libraries(isorelink_plugin_entry PUBLIC isorelink_plugin_status isorelink_extract isorelink_rebuild)

if(WIN32)
  add_library(isorelink_plugin SHARED
    ${CMAKE_SOURCE_DIR}/src/plugin/win32/framework_exports.cpp
    ${CMAKE_SOURCE_DIR}/src/plugin/win32/framework_text.cpp)
else()
  add_library(isorelink_plugin SHARED ${CMAKE_SOURCE_DIR}/src/plugin/exports.cpp)
endif()
target_link_libraries(isorelink_plugin PRIVATE isorelink_plugin_entry)
target_compile_definitions(isorelink_plugin PRIVATE ISORELINK_BUILDING_PLUGIN)
set_target_properties(isorelink_plugin PROPERTIES
  OUTPUT_NAME isorelink
  PREFIX ""
  SUFFIX ".qpi"
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)
if(WIN32)
  set(plugin_resources ${CMAKE_SOURCE_DIR}/src/plugin/plugin.rc)
  if(EXISTS ${plugin_resources})
    include(${CMAKE_SOURCE_DIR}/cmake/plugin_resources.cmake OPTIONAL)
  endif()
  # The C++ runtime goes in statically so that only system DLLs are imported;
  # the .def file names the six exports, undecorated.
  target_link_options(isorelink_plugin PRIVATE -static -static-libgcc -static-libstdc++
    -Wl,--kill-at ${CMAKE_SOURCE_DIR}/src/plugin/exports.def)
  set_property(TARGET isorelink_plugin APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/src/plugin/exports.def)

  add_library(isorelink_plugin_c SHARED ${CMAKE_SOURCE_DIR}/src/plugin/exports.cpp)
  target_link_libraries(isorelink_plugin_c PRIVATE isorelink_plugin_entry)
  target_compile_definitions(isorelink_plugin_c PRIVATE ISORELINK_BUILDING_PLUGIN)
  set_target_properties(isorelink_plugin_c PROPERTIES
    OUTPUT_NAME isorelink-c
    PREFIX ""
    SUFFIX ".dll"
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_link_options(isorelink_plugin_c PRIVATE -static -static-libgcc -static-libstdc++
    -Wl,--kill-at ${CMAKE_SOURCE_DIR}/src/plugin/exports_c.def)
  set_property(TARGET isorelink_plugin_c APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/src/plugin/exports_c.def)
else()
  target_link_options(isorelink_plugin PRIVATE
    -Wl,--version-script=${CMAKE_SOURCE_DIR}/src/plugin/exports.map
    -Wl,--no-undefined)
  set_property(TARGET isorelink_plugin APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/src/plugin/exports.map)
endif()

# The module goes beside its kin, not on the library path: lib/isorelink/isorelink.qpi.
install(TARGETS isorelink_plugin LIBRARY DESTINATION lib/isorelink RUNTIME DESTINATION lib/isorelink)
