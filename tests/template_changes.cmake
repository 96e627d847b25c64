zuv_add_test(template_changes_test
  SOURCES template_changes_test.cpp test_files.cpp
  LIBS zuv_templates)
