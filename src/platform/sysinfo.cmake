target_sources(lingchao_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/sysinfo_launcher.cpp)
