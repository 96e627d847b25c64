# The version lives in the project() call of the top CMakeLists.txt only.
# Everything else takes it from there: the generated header zuv_version.h
# (ZUV_VERSION, "MAJOR.MINOR.PATCH") for the programs, and on Windows a version
# resource in each module.
set(ZUV_GENERATED_DIR "${PROJECT_BINARY_DIR}/generated")
configure_file("${CMAKE_CURRENT_LIST_DIR}/version.h.in" "${ZUV_GENERATED_DIR}/zuv_version.h" @ONLY)

add_library(zuv_version INTERFACE)
target_include_directories(zuv_version INTERFACE "${ZUV_GENERATED_DIR}")

# zuv_add_version_resource(TARGET DESCRIPTION): gives a Windows module the
# version resource; does nothing on other systems.
function(zuv_add_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  if(type STREQUAL "SHARED_LIBRARY")
    set(ZUV_RC_FILE_TYPE VFT_DLL)
    set(ZUV_RC_FILE_NAME "${name}.dll")
  else()
    set(ZUV_RC_FILE_TYPE VFT_APP)
    set(ZUV_RC_FILE_NAME "${name}.exe")
  endif()
  set(ZUV_RC_DESCRIPTION "${description}")
  set(ZUV_RC_INTERNAL_NAME "${name}")
  set(rc "${ZUV_GENERATED_DIR}/${target}_version.rc")
  configure_file("${PROJECT_SOURCE_DIR}/cmake/version.rc.in" "${rc}" @ONLY)
  target_sources(${target} PRIVATE "${rc}")
  target_link_libraries(${target} PRIVATE zuv_version)
endfunction()
