# What users download, from the install rules in src/plugin and tools/vsthost: a .deb and a
# .tar.gz from a Linux build, a .zip from the Windows build. scripts/package.sh makes them.
if(WIN32)
    # The archive is the whole Windows delivery, so the README travels with the binaries.
    install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
endif()

set(CPACK_PACKAGE_NAME VLMTarvix)
set(CPACK_PACKAGE_VENDOR Velmora)
set(CPACK_PACKAGE_CONTACT "Velmora <dev@velmora.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ten-band graphic equaliser, VST 2.4 plug-in")
set(CPACK_PACKAGE_DESCRIPTION "VLM Tarvix by Velmora: ten bands from 31 Hz to 16 kHz, +-12 dB each,
for VST 2.4 hosts; with vsthost, a command-line tool that loads, renders
through and validates VST 2.4 plug-ins.")
set(CPACK_VERBATIM_VARIABLES ON)
# Users get binaries without symbol tables; the build tree keeps them for debugging.
set(CPACK_STRIP_FILES ON)

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-windows-x64)
else()
    set(CPACK_GENERATOR DEB TGZ)
    set(CPACK_PACKAGE_FILE_NAME
        ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
    set(CPACK_DEBIAN_PACKAGE_NAME vlm-tarvix)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION sound)
    # dpkg-shlibdeps (dpkg-dev) names the packages behind every library the two binaries load,
    # so the dependencies follow the link lines instead of a list kept by hand.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
