# The release packages (scripts/package.sh builds them in build/release-*):
# what they hold, with the Debian source package that dpkg-buildpackage builds
# from debian/ and lintian's view of it (package_contents, when
# dpkg-buildpackage and debhelper are installed), and that two builds from
# scratch give the same bytes (label "reproducible", excluded from the native
# test preset: it builds everything twice; `ctest --preset reproducible` runs
# it).
if(ZUV_PACKAGE_TESTS AND NOT CMAKE_CROSSCOMPILING)
  add_test(NAME package_contents
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/check_packages.sh ${PROJECT_VERSION}
            i686-w64-mingw32- ${CMAKE_BINARY_DIR}/package-test)
  add_test(NAME package_reproducible
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/package.sh --check-reproducible
            --out ${CMAKE_BINARY_DIR}/package-reproducible)
  set_tests_properties(package_contents package_reproducible PROPERTIES TIMEOUT 1500)
  set_tests_properties(package_reproducible PROPERTIES LABELS reproducible)
endif()
