# The Windows build under Wine: the platform backend's own tests, and the whole editor in a
# window of its own, driven with real mouse and keyboard events on a virtual X display.
if(CMAKE_CROSSCOMPILING AND WIN32 AND TARGET vlm_platform_win32)
    set(vlm_wine_dir ${CMAKE_CURRENT_LIST_DIR}/../wine)
    enable_language(RC)

    # The backend against the real system, with an X display of its own when Xvfb is there.
    add_executable(unit_platform_win32 ${vlm_wine_dir}/platform_win32_test.cpp
                                       ${vlm_wine_dir}/platform_test.rc)
    # windres finds the image named in the script along the include path.
    target_include_directories(unit_platform_win32 PRIVATE ${vlm_wine_dir})
    set_source_files_properties(${vlm_wine_dir}/platform_test.rc
                                PROPERTIES OBJECT_DEPENDS ${vlm_wine_dir}/pattern.png)
    target_link_libraries(unit_platform_win32 PRIVATE vlm_platform_win32 GTest::gtest
                                                      GTest::gtest_main)
    # Loaded by the test at run time, as a host loads the plug-in.
    add_library(vlm_module_probe SHARED ${vlm_wine_dir}/module_probe.cpp
                                        ${vlm_wine_dir}/module_probe.rc)
    set_target_properties(vlm_module_probe PROPERTIES PREFIX "")
    target_include_directories(vlm_module_probe PRIVATE ${vlm_wine_dir})
    target_link_libraries(vlm_module_probe PRIVATE vlm_platform_win32)
    add_dependencies(unit_platform_win32 vlm_module_probe)
    # A Wine prefix of its own, so that no Wine process of another test shares its display.
    add_test(NAME unit_platform_win32
             COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${CMAKE_BINARY_DIR}/wine-platform
                     bash ${vlm_wine_dir}/with-xvfb.sh ${PROJECT_SOURCE_DIR}/scripts/wine-run
                     $<TARGET_FILE:unit_platform_win32> --gtest_brief=1)
    set_tests_properties(unit_platform_win32 PROPERTIES TIMEOUT 300)

    add_executable(editor_probe ${vlm_wine_dir}/editor_probe.cpp)
    target_link_libraries(editor_probe PRIVATE vlm_gui vlm_platform_win32 vlm_resources vlm_host
                                               vlm_dsp)

    # bash is a program of the build machine, so no emulator is put in front of it.
    add_test(NAME wine_editor
             COMMAND bash ${vlm_wine_dir}/editor_test.sh $<TARGET_FILE:editor_probe>
                     ${PROJECT_SOURCE_DIR}/resources ${CMAKE_BINARY_DIR}/wine-editor)
    set_tests_properties(wine_editor PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 240)
endif()

# The real plug-in DLL in the Windows host tool's own window, driven with a real mouse drag.
if(CMAKE_CROSSCOMPILING AND WIN32 AND TARGET vlm_tarvix AND TARGET vsthost)
    add_test(NAME wine_dll_editor
             COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/../wine/with-xvfb.sh
                     bash ${CMAKE_CURRENT_LIST_DIR}/../wine/dll_editor_test.sh
                     $<TARGET_FILE:vsthost> $<TARGET_FILE:vlm_tarvix>
                     ${CMAKE_BINARY_DIR}/wine-dll-editor)
    set_tests_properties(wine_dll_editor PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 240)
endif()
