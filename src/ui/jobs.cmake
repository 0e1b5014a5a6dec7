# The main window (Form4) and the job editor (Form6).
target_sources(lingchao_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/main_window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window.h
    ${CMAKE_CURRENT_LIST_DIR}/job_editor.cpp
    ${CMAKE_CURRENT_LIST_DIR}/job_editor.h)
