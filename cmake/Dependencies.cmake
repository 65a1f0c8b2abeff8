# Libraries built for MinGW by scripts/deps.sh, and the header-only ones from Debian.

find_library(LZMA_SDK_LIBRARY lzmasdk PATHS ${TAMRIX_DEPS_PREFIX}/lib NO_DEFAULT_PATH REQUIRED)
add_library(lzma_sdk STATIC IMPORTED GLOBAL)
set_target_properties(lzma_sdk PROPERTIES
  IMPORTED_LOCATION ${LZMA_SDK_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${TAMRIX_DEPS_PREFIX}/include/lzma-sdk)

find_package(GTest CONFIG REQUIRED PATHS ${TAMRIX_DEPS_PREFIX} NO_DEFAULT_PATH)
find_package(CURL CONFIG REQUIRED PATHS ${TAMRIX_DEPS_PREFIX} NO_DEFAULT_PATH)
find_package(pugixml CONFIG REQUIRED PATHS ${TAMRIX_DEPS_PREFIX} NO_DEFAULT_PATH)

# rapidjson is header-only; Debian's headers serve the cross build as they are.
add_library(rapidjson INTERFACE IMPORTED GLOBAL)
set_target_properties(rapidjson PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/rapidjson-include)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/rapidjson-include)
if(NOT EXISTS ${CMAKE_BINARY_DIR}/rapidjson-include/rapidjson)
  file(CREATE_LINK /usr/include/rapidjson ${CMAKE_BINARY_DIR}/rapidjson-include/rapidjson SYMBOLIC)
endif()

find_program(SEVEN_ZIP NAMES 7zz 7z REQUIRED)
