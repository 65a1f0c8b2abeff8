# The skin art test reads the skin and font archives the installer carries, as the build packs
# them (app/CMakeLists.txt).
get_property(skin_archive GLOBAL PROPERTY TAMRIX_SKIN_ARCHIVE)
get_property(font_archive GLOBAL PROPERTY TAMRIX_FONT_ARCHIVE)
target_compile_definitions(skin_art_test PRIVATE
  TAMRIX_SKIN_ARCHIVE="${skin_archive}" TAMRIX_FONT_ARCHIVE="${font_archive}")
add_dependencies(skin_art_test tamrix_archives)
