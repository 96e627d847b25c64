# Tests of the Windows library: they run under wine (the build's emulator)
# on a virtual display, and drive real windows.
if(WIN32)
  zuv_add_test(winui_test
    SOURCES winui_test.cpp winui_test.rc window_test_util.cpp test_files.cpp
    LIBS zuv_winui)

  # The editor is reached only through the DLL, as a host reaches it.
  zuv_add_test(editor_test
    SOURCES editor_test.cpp window_test_util.cpp test_files.cpp
    LIBS zuv_winui oleacc oleaut32)
  add_dependencies(editor_test ZUV8620Ude)

  # Keyboard tests need the focus in their own windows: the programs that
  # press keys never run at the same time on the shared display.
  set_tests_properties(winui_test editor_test PROPERTIES RESOURCE_LOCK keyboard_focus)

  add_test(NAME dll_exports
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/check_dll_exports.sh ${CMAKE_OBJDUMP}
            $<TARGET_FILE:ZUV8620Ude>)
endif()
