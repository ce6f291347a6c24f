# The plugin module: a shared library named isorelink.qpi exporting the six entry points only.
# On Linux it speaks the plain C boundary (src/plugin/exports.cpp). On Windows it
# speaks the host application's own (src/plugin/win32), and the C boundary ships
# beside it as isorelink-c.dll for scripting callers.
if(WIN32)
  add_library(isorelink_plugin SHARED
    ${CMAKE_SOURCE_DIR}/src/plugin/win32/framework_exports.cpp
    ${CMAKE_SOURCE_DIR}/src/plugin/win32/framework_text.cpp)
else()
  add_library(isorelink_plugin SHARED ${CMAKE_SOURCE_DIR}/src/plugin/exports.cpp)
endif()
target_link_libraries(isorelink_plugin PRIVATE isorelink_core)
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
  target_link_libraries(isorelink_plugin_c PRIVATE isorelink_core)
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
