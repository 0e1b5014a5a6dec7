target_sources(lingchao_ui PRIVATE ${CMAKE_CURRENT_LIST_DIR}/about_box.cpp ${CMAKE_CURRENT_LIST_DIR}/program_picture.cpp)
