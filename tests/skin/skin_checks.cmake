# The skin's checks read the skin and font archives the installer carries, as the build packs
# them (app/CMakeLists.txt); the render check runs the skin viewer and keeps its PNGs and
# reports in <build>/tests/skin_renders for a person to look at.
get_property(skin_archive GLOBAL PROPERTY TAMRIX_SKIN_ARCHIVE)
get_property(font_archive GLOBAL PROPERTY TAMRIX_FONT_ARCHIVE)
target_compile_definitions(skin_layouts_test PRIVATE TAMRIX_SKIN_ARCHIVE="${skin_archive}")
add_dependencies(skin_layouts_test tamrix_archives)
