# The Python package (python/): its pytest suite against the library of this
# build tree on the virtual camera, and an installation of the package with
# Debian's pip and setuptools, offline, into a scratch folder.
# An uninstrumented interpreter cannot load a sanitizer build of the library
# (the sanitizer runtime must come first), so only the normal build runs them.
set(quorel_python /usr/bin/python3)
if(EXISTS ${quorel_python} AND QUOREL_SANITIZE STREQUAL "")
  add_test(NAME python_package_pytest
           COMMAND ${quorel_python} -m pytest -q -p no:cacheprovider ${PROJECT_SOURCE_DIR}/python/tests
           WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}/python)
  set_tests_properties(python_package_pytest PROPERTIES
    LABELS "unit;uninstrumented"
    TIMEOUT 300
    # pytest's exit code 5 (no tests collected) is a failure like any other.
    ENVIRONMENT "QUOREL_LIBRARY=$<TARGET_FILE:QuorelSdk_470KX_PLU>;PYTHONDONTWRITEBYTECODE=1")
  add_test(NAME python_package_install
           COMMAND ${CMAKE_COMMAND} -DPYTHON=${quorel_python} -DSOURCE=${PROJECT_SOURCE_DIR}/python
                   -DWORK=${CMAKE_CURRENT_BINARY_DIR}/python_install -DLIBRARY=$<TARGET_FILE:QuorelSdk_470KX_PLU>
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/scripts/python_install_check.cmake)
  set_tests_properties(python_package_install PROPERTIES LABELS "unit;uninstrumented" TIMEOUT 300)
endif()
