# Reliability: the effect under threads, on the audio path's promises (no allocation, no lock)
# and over a long soak; and, in the fuzz preset, the libFuzzer targets. Native builds only:
# the checks replace allocation and locking functions the way only an ELF program can.
option(VLM_FUZZ "Build the libFuzzer targets (clang, fuzz preset)" OFF)

if(NOT CMAKE_CROSSCOMPILING AND NOT WIN32 AND TARGET vlm_effect AND TARGET vlm_platform_linux)
    if(EXISTS ${PROJECT_SOURCE_DIR}/tests/reliability/CMakeLists.txt)
        add_subdirectory(${PROJECT_SOURCE_DIR}/tests/reliability
                         ${CMAKE_BINARY_DIR}/tests/reliability)
    endif()
    if(VLM_FUZZ)
        add_subdirectory(${PROJECT_SOURCE_DIR}/tests/fuzz ${CMAKE_BINARY_DIR}/tests/fuzz)
    endif()
endif()
