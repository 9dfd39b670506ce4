# The editor frame, its controls and the equaliser editor, on the fake platform.
if(TARGET vlm_platform_fake)
    vlm_unit_test(unit_gui
        SOURCES
            ${CMAKE_CURRENT_LIST_DIR}/gui_exceptions.cpp
            ${CMAKE_CURRENT_LIST_DIR}/gui_editor.cpp
            ${CMAKE_CURRENT_LIST_DIR}/gui_textures.cpp
            ${CMAKE_CURRENT_LIST_DIR}/widgets_controls.cpp
            ${CMAKE_CURRENT_LIST_DIR}/widgets_text.cpp
            ${CMAKE_CURRENT_LIST_DIR}/device_gui.cpp
        LIBS vlm_gui vlm_platform_fake)
endif()
