# Delay-import libraries for the installer: every library it links that is not one of Windows'
# KnownDLLs is imported on its first call instead of when the program is loaded, so the loader
# takes nothing from the executable's folder before the program has restricted the library
# search to the system folder (utility/library_search.h). Each is made by dlltool from the
# functions of MinGW's import library and carries the same name, in a folder that the
# installer's link searches first: every "-lusp10" of the link line, also those that
# dependencies bring (libcurl's crypt32 and bcrypt), then finds the delay-import one.
set(TAMRIX_DELAY_LOADED
  bcrypt comctl32 crypt32 gdiplus iphlpapi msimg32 oleacc secur32 usp10 version windowscodecs
  winhttp winmm wininet wintrust)
set(TAMRIX_DELAY_IMPORT_DIR ${CMAKE_BINARY_DIR}/delay-imports)
file(MAKE_DIRECTORY ${TAMRIX_DELAY_IMPORT_DIR})

set(delay_import_libraries)
foreach(name ${TAMRIX_DELAY_LOADED})
  find_library(TAMRIX_IMPORT_${name} NAMES lib${name}.a REQUIRED)
  set(out ${TAMRIX_DELAY_IMPORT_DIR}/lib${name}.a)
  add_custom_command(OUTPUT ${out}
    COMMAND ${TAMRIX_HOST_PYTHON} ${CMAKE_SOURCE_DIR}/scripts/delay_import_library.py
            --nm ${CMAKE_NM} --dlltool ${CMAKE_DLLTOOL} --import ${TAMRIX_IMPORT_${name}}
            --dll ${name}.dll --out ${out}
    DEPENDS ${CMAKE_SOURCE_DIR}/scripts/delay_import_library.py ${TAMRIX_IMPORT_${name}}
    COMMENT "Delay-import library of ${name}.dll"
    VERBATIM)
  list(APPEND delay_import_libraries ${out})
endforeach()
add_custom_target(tamrix_delay_imports DEPENDS ${delay_import_libraries})

# Links the target's libraries of the list through their delay-import libraries.
function(tamrix_delay_load target)
  add_dependencies(${target} tamrix_delay_imports)
  target_link_directories(${target} BEFORE PRIVATE ${TAMRIX_DELAY_IMPORT_DIR})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${delay_import_libraries})
endfunction()
