# The editor's tab pages, driven through the DLL under wine like the editor's
# own tests; a page is also tried on its own, with a host of the test's.
if(WIN32)
  zuv_add_test(pages_test
    SOURCES pages_test.cpp window_test_util.cpp test_files.cpp
    LIBS zuv_winui zuv_editor)
  add_dependencies(pages_test ZUV8620Ude)
  # It presses keys: see windows.cmake.
  set_tests_properties(pages_test PROPERTIES RESOURCE_LOCK keyboard_focus)
endif()
