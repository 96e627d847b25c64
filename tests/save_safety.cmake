zuv_add_test(save_safety_test
  SOURCES save_safety_test.cpp test_files.cpp
  LIBS zuv_templates)
