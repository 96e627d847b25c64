zuv_add_test(cli_test
  SOURCES cli_test.cpp test_files.cpp
  LIBS zuv_cli zuv_version nlohmann_json::nlohmann_json)
# The process tests run the tool itself.
add_dependencies(cli_test zuv8620)
target_compile_definitions(cli_test PRIVATE ZUV8620_TOOL="$<TARGET_FILE:zuv8620>")
