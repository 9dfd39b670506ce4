# The Windows build under Wine: the platform backend's own tests, and the whole editor in a
# window of its own, driven with real mouse and keyboard events on a virtual X display.
if(CMAKE_CROSSCOMPILING AND WIN32 AND TARGET vlm_platform_win32)
    set(vlm_wine_dir ${CMAKE_CURRENT_LIST_DIR}/../wine)

    add_executable(editor_probe ${vlm_wine_dir}/editor_probe.cpp)
    target_link_libraries(editor_probe PRIVATE vlm_gui vlm_platform_win32 vlm_resources vlm_host
                                               vlm_dsp)

    # bash is a program of the build machine, so no emulator is put in front of it.
    add_test(NAME wine_editor
             COMMAND bash ${vlm_wine_dir}/editor_test.sh $<TARGET_FILE:editor_probe>
                     ${PROJECT_SOURCE_DIR}/resources ${CMAKE_BINARY_DIR}/wine-editor)
    set_tests_properties(wine_editor PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 240)
endif()
