# The module's resources on Windows: src/plugin/plugin.rc with its version
# record and the banner (resource BIN 1006), which tools/make_banner.py draws
# into the build tree.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
enable_language(RC)

set(isorelink_banner_dir ${CMAKE_CURRENT_BINARY_DIR}/resources)
set(isorelink_banner ${isorelink_banner_dir}/isorelink_banner.bmp)
add_custom_command(
  OUTPUT ${isorelink_banner}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${isorelink_banner_dir}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/make_banner.py ${isorelink_banner}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/make_banner.py
  COMMENT "Drawing the module's banner"
  VERBATIM)
add_custom_target(isorelink_banner DEPENDS ${isorelink_banner})

target_sources(isorelink_plugin PRIVATE ${plugin_resources})
set_source_files_properties(${plugin_resources} PROPERTIES
  OBJECT_DEPENDS ${isorelink_banner}
  INCLUDE_DIRECTORIES ${isorelink_banner_dir})
add_dependencies(isorelink_plugin isorelink_banner)
