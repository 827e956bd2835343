# The include-layer check: a lower layer never includes a higher one (the
# rules are in the script).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME include_layers
         COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/scripts/check_layers.py ${PROJECT_SOURCE_DIR})
set_tests_properties(include_layers PROPERTIES LABELS unit)
