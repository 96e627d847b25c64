zuv_add_test(regfile_test
  SOURCES regfile_test.cpp reg_text_test.cpp file_test.cpp test_files.cpp
  LIBS zuv_regfile zuv_device)
