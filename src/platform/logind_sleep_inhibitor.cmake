# The sleep inhibitor lock of systemd-logind over the system D-Bus.
target_sources(lingchao_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/logind_sleep_inhibitor.cpp)
target_link_libraries(lingchao_platform PUBLIC Qt6::DBus)
