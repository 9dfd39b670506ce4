#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace VLM::Art {

// A PNG file as the resource tables name it.
struct EmbeddedFile {
    std::string resourceName; // upper case, e.g. "FADER01[64X18]"
    std::string fileName;     // beside the tables, e.g. "fader01.png"
    std::size_t size;         // bytes
    std::string sameBytesAs;  // an earlier file of the same bytes, whose copy it shares; or ""
};

// The Windows resource script: every image under the type IMG, US English.
std::string ResourceScript(const std::vector<EmbeddedFile>& files);
// The table of the native build: the assembler includes each file and checks its size; a
// file of the same bytes as an earlier one names that one's copy.
std::string EmbeddedTable(const std::vector<EmbeddedFile>& files);
std::string EmbeddedHeader();

// The assembler symbol of a file's bytes: "fader01.png" -> "vlm_image_fader01".
std::string BlobSymbol(const std::string& fileName);

void WriteTextFile(const std::string& path, const std::string& text);

} // namespace VLM::Art
