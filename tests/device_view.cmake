zuv_add_test(device_view_test
  SOURCES device_view_test.cpp
  LIBS zuv_device)
