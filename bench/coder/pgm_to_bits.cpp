// pgm_to_bits: expands the pixels of an 8-bit raw PGM image into bit bytes.
//
//   pgm_to_bits IMAGE.pgm PIXEL_OUT PLANE_OUT
//
// PIXEL_OUT receives eight bytes (each 0 or 1) per pixel in pixel order, bit 7 of the
// pixel first; PLANE_OUT receives the same bits plane by plane: bit 7 of every pixel,
// then bit 6 of every pixel, down to bit 0.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

bool ReadPgm(const char* path, std::vector<unsigned char>& pixels) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string magic;
    long width = 0, height = 0, maxval = 0;
    in >> magic >> width >> height >> maxval;
    if (!in || magic != "P5" || width <= 0 || height <= 0 || maxval != 255) return false;
    in.get();  // the single whitespace byte that ends the header
    pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    in.read(reinterpret_cast<char*>(pixels.data()), static_cast<std::streamsize>(pixels.size()));
    return static_cast<size_t>(in.gcount()) == pixels.size();
}

bool WriteAll(const char* path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: pgm_to_bits IMAGE.pgm PIXEL_OUT PLANE_OUT\n";
        return 2;
    }
    std::vector<unsigned char> pixels;
    if (!ReadPgm(argv[1], pixels)) {
        std::cerr << "pgm_to_bits: cannot read an 8-bit raw PGM from " << argv[1] << "\n";
        return 1;
    }
    const size_t n = pixels.size();
    std::vector<unsigned char> pixel_major(n * 8), plane_major(n * 8);
    for (size_t i = 0; i < n; ++i) {
        for (int b = 0; b < 8; ++b) {
            const unsigned char bit = (pixels[i] >> (7 - b)) & 1u;
            pixel_major[i * 8 + static_cast<size_t>(b)] = bit;
            plane_major[static_cast<size_t>(b) * n + i] = bit;
        }
    }
    if (!WriteAll(argv[2], pixel_major) || !WriteAll(argv[3], plane_major)) {
        std::cerr << "pgm_to_bits: cannot write the output files\n";
        return 1;
    }
    return 0;
}
