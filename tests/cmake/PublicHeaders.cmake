# Each public header compiles alone as plain C (C11, all warnings as errors)
# and as C++, so no internal type or C++-only construct leaks into it.
file(GLOB quorel_public_headers ${PROJECT_SOURCE_DIR}/include/*.h)
foreach(header IN LISTS quorel_public_headers)
  get_filename_component(hname ${header} NAME_WE)
  add_test(NAME public_header_c_${hname}
           COMMAND ${CMAKE_C_COMPILER} -std=c11 -Wall -Wextra -Wpedantic -Werror -fsyntax-only
                   -I${PROJECT_SOURCE_DIR}/include -x c ${header})
  add_test(NAME public_header_cxx_${hname}
           COMMAND ${CMAKE_CXX_COMPILER} -std=c++17 -Wall -Wextra -Werror -fsyntax-only
                   -I${PROJECT_SOURCE_DIR}/include -x c++ ${header})
  set_tests_properties(public_header_c_${hname} public_header_cxx_${hname} PROPERTIES LABELS unit)
endforeach()
