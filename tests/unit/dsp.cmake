# The equaliser engine, tested from outside and against the scalar reference.
vlm_unit_test(unit_dsp
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/dsp_ballistics.cpp
        ${CMAKE_CURRENT_LIST_DIR}/dsp_controls.cpp
        ${CMAKE_CURRENT_LIST_DIR}/dsp_eqcore.cpp
        ${CMAKE_CURRENT_LIST_DIR}/dsp_filterdesign.cpp
        ${CMAKE_CURRENT_LIST_DIR}/dsp_kernel_test.cpp
    LIBS vlm_dsp)
