# The fuzz targets' checks and seeds as a library: the targets and the
# regression test both link it.
if(NOT TARGET zuv_fuzz_checks)
  add_library(zuv_fuzz_checks STATIC
    ${PROJECT_SOURCE_DIR}/fuzz/store_check.cpp
    ${PROJECT_SOURCE_DIR}/fuzz/template_check.cpp
    ${PROJECT_SOURCE_DIR}/fuzz/seeds.cpp
    ${PROJECT_SOURCE_DIR}/fuzz/document_check.cpp)
  target_link_libraries(zuv_fuzz_checks PUBLIC zuv_templates zuv_cli
                        PRIVATE nlohmann_json::nlohmann_json)
  target_compile_definitions(zuv_fuzz_checks PRIVATE
    ZUV_DOCUMENT_SCHEMA="${PROJECT_SOURCE_DIR}/docs/template-document.schema.json")
  if(ZUV_FUZZ)
    # The checks judge what the product did; only the product's own code feeds
    # the fuzzer's coverage. Each execution then has fewer features for
    # libFuzzer to keep count of, and the checks run without the counters.
    target_compile_options(zuv_fuzz_checks PUBLIC
      -fsanitize-coverage-ignorelist=${PROJECT_SOURCE_DIR}/fuzz/coverage-ignore.txt)
  endif()
endif()
