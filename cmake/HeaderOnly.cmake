# Header-only libraries from the build machine's Debian packages
# (nlohmann-json3-dev). A native build takes the package's own CMake target.
# A cross build may not put the build machine's /usr/include on its include
# path (its C library headers would shadow the target's), so the one header
# folder is copied into the build tree and used from there.
find_package(nlohmann_json 3.10 QUIET)
if(NOT TARGET nlohmann_json::nlohmann_json)
  find_path(ZUV_NLOHMANN_JSON_INCLUDE nlohmann/json.hpp
            PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT ZUV_NLOHMANN_JSON_INCLUDE)
    message(FATAL_ERROR "nlohmann/json.hpp not found: install nlohmann-json3-dev")
  endif()
  set(ZUV_HEADER_COPY "${CMAKE_BINARY_DIR}/header-only")
  file(COPY "${ZUV_NLOHMANN_JSON_INCLUDE}/nlohmann" DESTINATION "${ZUV_HEADER_COPY}")
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE "${ZUV_HEADER_COPY}")
endif()
