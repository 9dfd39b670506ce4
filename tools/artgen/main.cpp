// Draws the editor's artwork and writes it, with the tables that compile it into the
// plug-in, into one directory (normally resources/).

#include "images.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIRECTORY\n", argc > 0 ? argv[0] : "vlm_artgen");
        return 2;
    }
    try {
        VLM::Art::GenerateAll(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vlm_artgen: %s\n", e.what());
        return 1;
    }
    return 0;
}
