# Installs the built tree into a scratch prefix and builds the C example
# against it twice: through pkg-config and through find_package. Sanitizer
# builds are skipped, since their library needs the sanitizer runtime.
if(QUOREL_SANITIZE STREQUAL "")
  add_test(NAME install_tree_consumers
           COMMAND ${CMAKE_COMMAND} -E env
                   CMAKE_COMMAND=${CMAKE_COMMAND} C_COMPILER=${CMAKE_C_COMPILER}
                   bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/install_tree_test.sh
                   ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR})
  set_tests_properties(install_tree_consumers PROPERTIES LABELS "unit;uninstrumented" TIMEOUT 600)
endif()
