# The office page in a real browser (Debian's chromium, driven by puppeteer-core from tools/deps.sh test) and 200
# clients asking for the status while a bell is due. Real time and the program's single-instance rules: run alone.
add_test(NAME e2e_web_page COMMAND ${CMAKE_CURRENT_LIST_DIR}/web_page_e2e.sh ${CMAKE_BINARY_DIR})
set_tests_properties(e2e_web_page PROPERTIES TIMEOUT 400 RUN_SERIAL TRUE SKIP_REGULAR_EXPRESSION "SKIP: "
    ENVIRONMENT "CMAKE=${CMAKE_COMMAND}")
