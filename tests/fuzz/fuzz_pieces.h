// Splitting a fuzz input into the parts a target gives different roles.
#ifndef SETUP_TESTS_FUZZ_PIECES_H
#define SETUP_TESTS_FUZZ_PIECES_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

// The input cut at its first (most - 1) 0xFF bytes; later ones stay in the last piece.
inline std::vector<std::string> PiecesAtFF(const uint8_t* data, size_t size, size_t most)
{
    std::vector<std::string> pieces(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF && pieces.size() < most)
            pieces.emplace_back();
        else
            pieces.back() += (char)data[i];
    }
    return pieces;
}

#endif
