vlm_unit_test(unit_host
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/host_fixture.cpp
        ${CMAKE_CURRENT_LIST_DIR}/host_entry_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/host_dispatcher_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/host_format_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/host_callbacks_test.cpp
    LIBS vlm_host vlm_entry)
