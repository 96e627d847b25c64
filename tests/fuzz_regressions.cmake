# The fuzz targets' checks, replayed on every input a run found failing
# (fuzz/regressions/), on the targets' seeds and on the real files.
include(${PROJECT_SOURCE_DIR}/fuzz/checks.cmake)
zuv_add_test(fuzz_regression_test
  SOURCES fuzz_regression_test.cpp test_files.cpp
  LIBS zuv_fuzz_checks)
