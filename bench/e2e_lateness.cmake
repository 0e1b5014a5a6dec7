# The end-to-end bell tests with the design target instead of the tests' "within its minute": each bell must
# sound within the first second of its minute. A loaded machine can miss that, so it is a benchmark, run alone:
# `make bench_bell_on_the_minute`. It prints where each sound began and fails when one was later than 1000 ms.
add_custom_target(bench_bell_on_the_minute
    COMMAND ${CMAKE_COMMAND} -E env E2E_WITHIN_MS=1000 CMAKE=${CMAKE_COMMAND}
        ${PROJECT_SOURCE_DIR}/tests/e2e/bell_on_the_minute_e2e.sh ${CMAKE_BINARY_DIR}
    COMMAND ${CMAKE_COMMAND} -E env E2E_WITHIN_MS=1000 CMAKE=${CMAKE_COMMAND}
        ${PROJECT_SOURCE_DIR}/tests/e2e/suspend_e2e.sh ${CMAKE_BINARY_DIR}
    COMMAND ${CMAKE_COMMAND} -E env E2E_WITHIN_MS=1000 CMAKE=${CMAKE_COMMAND}
        ${PROJECT_SOURCE_DIR}/tests/e2e/calendar_e2e.sh ${CMAKE_BINARY_DIR}
    COMMAND ${CMAKE_COMMAND} -E env E2E_WITHIN_MS=1000 CMAKE=${CMAKE_COMMAND}
        ${PROJECT_SOURCE_DIR}/tests/e2e/web_page_e2e.sh ${CMAKE_BINARY_DIR}
    DEPENDS lingchao bells
    USES_TERMINAL
    COMMENT "The bells of the end-to-end tests, each within the first second of its minute")
