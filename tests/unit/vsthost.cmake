# The host tool: its own units, the fixture plug-ins, and the tool run as a program against
# them. Included from tests/CMakeLists.txt.
add_subdirectory(${PROJECT_SOURCE_DIR}/tests/fixtures ${CMAKE_BINARY_DIR}/tests/fixtures)

vlm_unit_test(vsthost_units
    SOURCES ${PROJECT_SOURCE_DIR}/tests/tool/options_test.cpp
            ${PROJECT_SOURCE_DIR}/tests/tool/wavfile_test.cpp
            ${PROJECT_SOURCE_DIR}/tests/tool/response_test.cpp
            ${PROJECT_SOURCE_DIR}/tests/tool/validate_test.cpp
    LIBS vsthost_core)

if(NOT CMAKE_CROSSCOMPILING)
    # Runs the real binary; file formats come from libsndfile, so this part is native only.
    vlm_unit_test(vsthost_cli
        SOURCES ${PROJECT_SOURCE_DIR}/tests/tool/cli_test.cpp
        LIBS PkgConfig::SNDFILE)
    add_dependencies(vsthost_cli vsthost gainplug nullplug noentryplug faultplug)
    target_compile_definitions(vsthost_cli PRIVATE
        VLM_VSTHOST="$<TARGET_FILE:vsthost>"
        VLM_GAINPLUG="$<TARGET_FILE:gainplug>"
        VLM_NULLPLUG="$<TARGET_FILE:nullplug>"
        VLM_NOENTRYPLUG="$<TARGET_FILE:noentryplug>"
        VLM_FAULTPLUG="$<TARGET_FILE:faultplug>"
        VLM_PROJECT_VERSION="${PROJECT_VERSION}"
        VLM_TEST_TEMP_DIR="${CMAKE_CURRENT_BINARY_DIR}/vsthost_cli.tmp")
else()
    # The Windows tool and fixture under Wine, through the toolchain's emulator.
    add_test(NAME vsthost_wine_info
        COMMAND ${CMAKE_COMMAND}
            -DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}
            -DTOOL=$<TARGET_FILE:vsthost>
            -DPLUGIN=$<TARGET_FILE:gainplug>
            -P ${PROJECT_SOURCE_DIR}/tests/tool/wine_info.cmake)
    add_test(NAME vsthost_wine_cli
        COMMAND bash ${PROJECT_SOURCE_DIR}/tests/tool/wine_cli.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
            $<TARGET_FILE:vsthost> $<TARGET_FILE:gainplug> $<TARGET_FILE:faultplug>
            ${CMAKE_CURRENT_BINARY_DIR}/vsthost_wine_cli.tmp)
endif()

# The validator against the fixtures: the gain fixture and the fault fixture without a fault
# pass every test; each deliberate fault fails the test that looks for it, and only that one
# among the tests run. Headless, so that no display is needed.
function(vlm_validate_test name)
    cmake_parse_arguments(arg "" "PLUGIN;FAULT;CODE" "ARGS;EXPECT;REJECT" ${ARGN})
    add_test(NAME vsthost_validate_${name}
        COMMAND ${CMAKE_COMMAND}
            -DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}
            -DTOOL=$<TARGET_FILE:vsthost>
            -DPLUGIN=$<TARGET_FILE:${arg_PLUGIN}>
            -DFAULT=${arg_FAULT}
            "-DARGS=--headless;--timeout;120;${arg_ARGS}"
            -DCODE=${arg_CODE}
            "-DEXPECT=${arg_EXPECT}"
            "-DREJECT=${arg_REJECT}"
            -P ${PROJECT_SOURCE_DIR}/tests/tool/validate_run.cmake)
endfunction()

vlm_validate_test(gainplug_passes PLUGIN gainplug CODE 0 ARGS --strictness;10
    EXPECT "pass +10 +dispatcher-fuzz" "Totals: pass 1[67], fail 0, skip [45]")
vlm_validate_test(faultless_passes PLUGIN faultplug CODE 0 ARGS --strictness;10
    EXPECT "Totals: pass [0-9]+, fail 0,")
if(VLM_SANITIZE OR CMAKE_CXX_FLAGS MATCHES "sanitize")
    # The sanitizer's runtime owns the allocator: the tool says so instead of counting.
    vlm_validate_test(allocation_not_counted PLUGIN faultplug FAULT alloc CODE 0
        ARGS --only;allocation EXPECT "skip +9 +allocation +this build of the tool")
else()
    vlm_validate_test(allocation_found PLUGIN faultplug FAULT alloc CODE 1
        ARGS --only;audio,allocation
        EXPECT "pass +3 +audio" "fail +9 +allocation +processReplacing made 300 heap allocations")
endif()
vlm_validate_test(crash_named PLUGIN faultplug FAULT bigblock CODE 1
    ARGS --only;identity,large-block
    EXPECT "pass +1 +identity"
           "fail +8 +large-block +the plug-in crashed \\([a-z ]+\\) during processReplacing")
vlm_validate_test(text_overrun_found PLUGIN faultplug FAULT text CODE 1
    ARGS --only;identity-texts,parameters
    EXPECT "pass +1 +identity-texts"
           "fail +2 +parameters +effGetParamName\\(0\\): its text needs 14 bytes")
if(NOT CMAKE_CROSSCOMPILING)
    # Each of these under Wine as well would add minutes; the platform-specific parts (the
    # allocator, the crash report, the process per test) are covered above on both.
    vlm_validate_test(nan_found PLUGIN faultplug FAULT nan CODE 1 ARGS --only;identity,audio
        EXPECT "pass +1 +identity" "fail +3 +audio +.*output 1: 1 NaN")
    vlm_validate_test(subnormal_found PLUGIN faultplug FAULT subnormal CODE 1 ARGS --only;audio
        EXPECT "fail +3 +audio +.*silence after noise.*subnormal")
    vlm_validate_test(overrun_found PLUGIN faultplug FAULT overrun CODE 1 ARGS --only;audio
        EXPECT "fail +3 +audio +.*written outside the 64-sample block \\(at sample 64\\)")
    vlm_validate_test(input_write_found PLUGIN faultplug FAULT inputs CODE 1 ARGS --only;audio
        EXPECT "fail +3 +audio +.*wrote into its input buffer")
    vlm_validate_test(float_control_found PLUGIN faultplug FAULT fpu CODE 1 ARGS --only;audio
        EXPECT "fail +3 +audio +processReplacing changed the floating-point control register")
    vlm_validate_test(locale_found PLUGIN faultplug FAULT locale CODE 1
        ARGS --only;identity,locale
        EXPECT "pass +1 +identity" "fail +1 +locale +opening or processing changed")
    vlm_validate_test(automation_range_found PLUGIN faultplug FAULT automate CODE 1
        ARGS --only;automation
        EXPECT "fail +3 +automation +audioMasterAutomate named parameter 5, outside 0..1")
    vlm_validate_test(state_found PLUGIN faultplug FAULT state CODE 1
        ARGS --only;state,state-resave
        EXPECT "fail +2 +state +bank state: parameter 0 is"
               "fail +8 +state-resave +bank state: the re-saved state differs")
    vlm_validate_test(nan_parameter_found PLUGIN faultplug FAULT nanparam CODE 1
        ARGS --only;parameters,parameter-fuzz
        EXPECT "pass +2 +parameters" "fail +6 +parameter-fuzz +setParameter\\(0, nan\\) then")
    vlm_validate_test(hang_ended PLUGIN faultplug FAULT hang CODE 1
        ARGS --only;identity,state;--timeout;2
        EXPECT "pass +1 +identity" "fail +2 +state +did not finish within 2 seconds")
    vlm_validate_test(list_names_every_test PLUGIN gainplug CODE 0 ARGS --list
        EXPECT " 1  identity " "10  dispatcher-fuzz ")
endif()
if(TARGET vlm_tarvix)
    # The equaliser itself at the strictest level.
    vlm_validate_test(equaliser_passes PLUGIN vlm_tarvix CODE 0 ARGS --strictness;10
        EXPECT "(pass|skip) +9 +allocation" "pass +10 +dispatcher-fuzz" "fail 0,")
endif()
