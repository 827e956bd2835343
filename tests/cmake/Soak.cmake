# Short forms of quorel-soak (tools/soak).
#
# The scale runs, in every build: 8 virtual units streaming at once in one
# process, and 4 processes x 8 units sharing one cross-process table (all 32
# units), each unit's frames checked for its own content. Deadlines, no
# fixed times: each run ends as soon as every unit has its frames.
#
# The 60-second soak, only in sanitizer builds (labelled concurrency, so the
# ThreadSanitizer stage runs it too): every colour mode with faults injected
# while eight threads call the other exports. It fails on an error exit, a
# sanitizer report or a call that stalls.
if(TARGET quorel-soak)

  add_test(NAME scale_eight_units_one_process
           COMMAND $<TARGET_FILE:quorel-soak> --scale --units 8 --frames 20 --seconds 240)
  add_test(NAME scale_four_processes_thirty_two_units
           COMMAND $<TARGET_FILE:quorel-soak> --scale --processes 4 --frames 10 --seconds 300)
  foreach(t scale_eight_units_one_process scale_four_processes_thirty_two_units)
    set_tests_properties(${t} PROPERTIES LABELS unit TIMEOUT 420
      ENVIRONMENT "QUOREL_SHM_NAME=/quorel-ctest-${t}-${QUOREL_SANITIZE};QUOREL_DEBUG=")
  endforeach()

  if(NOT QUOREL_SANITIZE STREQUAL "")
    add_test(NAME soak_sixty_seconds
             COMMAND $<TARGET_FILE:quorel-soak> --seconds 60 --units 2 --threads 8 --report 10 --stall 240)
    set_tests_properties(soak_sixty_seconds PROPERTIES LABELS concurrency TIMEOUT 900
      FAIL_REGULAR_EXPRESSION "ERROR: AddressSanitizer|ERROR: LeakSanitizer|WARNING: ThreadSanitizer|runtime error:"
      ENVIRONMENT "QUOREL_SHM_NAME=/quorel-ctest-soak-${QUOREL_SANITIZE};\
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1;\
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1")
  endif()
endif()
