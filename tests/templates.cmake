zuv_add_test(templates_test
  SOURCES templates_test.cpp test_files.cpp
  LIBS zuv_templates)
