# The equaliser effect through its entry point and record, on the fake platform.
if(TARGET vlm_platform_fake AND TARGET vlm_effect)
    vlm_unit_test(unit_effect
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/effect_test.cpp
        LIBS vlm_effect vlm_gui vlm_platform_fake $<TARGET_OBJECTS:vlm_entry>)
endif()
