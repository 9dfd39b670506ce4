# The host tool: its own units, the fixture plug-ins, and the tool run as a program against
# them. Included from tests/CMakeLists.txt.
add_subdirectory(${PROJECT_SOURCE_DIR}/tests/fixtures ${CMAKE_BINARY_DIR}/tests/fixtures)

vlm_unit_test(vsthost_units
    SOURCES ${PROJECT_SOURCE_DIR}/tests/tool/options_test.cpp
            ${PROJECT_SOURCE_DIR}/tests/tool/wavfile_test.cpp
            ${PROJECT_SOURCE_DIR}/tests/tool/response_test.cpp
    LIBS vsthost_core)

if(NOT CMAKE_CROSSCOMPILING)
    # Runs the real binary; file formats come from libsndfile, so this part is native only.
    vlm_unit_test(vsthost_cli
        SOURCES ${PROJECT_SOURCE_DIR}/tests/tool/cli_test.cpp
        LIBS PkgConfig::SNDFILE)
    add_dependencies(vsthost_cli vsthost gainplug nullplug noentryplug)
    target_compile_definitions(vsthost_cli PRIVATE
        VLM_VSTHOST="$<TARGET_FILE:vsthost>"
        VLM_GAINPLUG="$<TARGET_FILE:gainplug>"
        VLM_NULLPLUG="$<TARGET_FILE:nullplug>"
        VLM_NOENTRYPLUG="$<TARGET_FILE:noentryplug>"
        VLM_TEST_TEMP_DIR="${CMAKE_CURRENT_BINARY_DIR}/vsthost_cli.tmp")
else()
    # The Windows tool and fixture under Wine, through the toolchain's emulator.
    add_test(NAME vsthost_wine_info
        COMMAND ${CMAKE_COMMAND}
            -DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}
            -DTOOL=$<TARGET_FILE:vsthost>
            -DPLUGIN=$<TARGET_FILE:gainplug>
            -P ${PROJECT_SOURCE_DIR}/tests/tool/wine_info.cmake)
endif()
