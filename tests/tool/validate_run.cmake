# One run of vsthost validate against a fixture, checked for its exit code and for lines of
# its report. Variables: TOOL, PLUGIN, EMULATOR (optional), FAULT (VLM_FIXTURE_FAULT, optional),
# ARGS (list), CODE (expected exit code), EXPECT (list of regular expressions), REJECT
# (optional list of regular expressions that must not match).
set(command ${TOOL} validate ${PLUGIN} ${ARGS})
if(EMULATOR)
    list(PREPEND command ${EMULATOR})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env VLM_FIXTURE_FAULT=${FAULT} ${command}
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT code EQUAL CODE)
    message(FATAL_ERROR "fault '${FAULT}': expected exit code ${CODE}, got ${code}\n"
                        "stdout:\n${out}\nstderr:\n${err}")
endif()
foreach(expected IN LISTS EXPECT)
    if(NOT out MATCHES "${expected}")
        message(FATAL_ERROR "fault '${FAULT}': expected a report line matching '${expected}', "
                            "got:\n${out}\nstderr:\n${err}")
    endif()
endforeach()
foreach(rejected IN LISTS REJECT)
    if(out MATCHES "${rejected}")
        message(FATAL_ERROR "fault '${FAULT}': expected no line matching '${rejected}', "
                            "got:\n${out}")
    endif()
endforeach()
