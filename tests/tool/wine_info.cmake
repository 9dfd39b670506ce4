# vsthost.exe info gainplug.dll under Wine: exit code 0 and the fixture's identity.
execute_process(COMMAND ${EMULATOR} ${TOOL} info ${PLUGIN}
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT code EQUAL 0)
    message(FATAL_ERROR "expected exit code 0, got ${code}\nstdout:\n${out}\nstderr:\n${err}")
endif()
foreach(expected
        "Effect name: Gain Fixture\n"
        "Unique id: 'VGn1' \\(0x56476E31"
        "Flags: 0x00000031 HasEditor CanReplacing ProgramChunks\n"
        "Parameter 0: name=\"Gain\" value=0.500000 display=\"0.00\" label=\"dB\"\n"
        "Chunk size \\(bank\\): 24 bytes\n")
    if(NOT out MATCHES "${expected}")
        message(FATAL_ERROR "expected output matching '${expected}', got:\n${out}")
    endif()
endforeach()
