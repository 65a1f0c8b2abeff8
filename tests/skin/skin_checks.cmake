# The skin's checks read the skin and font archives the installer carries, as the build packs
# them (app/CMakeLists.txt); the render check runs the skin viewer and keeps its PNGs and
# reports in <build>/tests/skin_renders for a person to look at.
get_property(skin_archive GLOBAL PROPERTY TAMRIX_SKIN_ARCHIVE)
get_property(font_archive GLOBAL PROPERTY TAMRIX_FONT_ARCHIVE)
target_compile_definitions(skin_layouts_test PRIVATE TAMRIX_SKIN_ARCHIVE="${skin_archive}")
add_dependencies(skin_layouts_test tamrix_archives)
set(skin_render_dir ${CMAKE_BINARY_DIR}/tests/skin_renders)
file(MAKE_DIRECTORY ${skin_render_dir})
target_compile_definitions(skin_renders_test PRIVATE
  TAMRIX_SKIN_ARCHIVE="${skin_archive}" TAMRIX_FONT_ARCHIVE="${font_archive}"
  TAMRIX_SKIN_VIEWER_EXE="$<TARGET_FILE:skin_viewer>" TAMRIX_SKIN_RENDER_DIR="${skin_render_dir}")
add_dependencies(skin_renders_test tamrix_archives skin_viewer)
