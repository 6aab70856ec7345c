// SPDX-License-Identifier: Apache-2.0
// quillon-mkimage: writes firmware image files as the devices expect them (the data followed by
// a 204-byte trailer with the length and the checksum), and packs them into a package.
//
//   quillon-mkimage image OUT --size BYTES [--seed N] [--xor-key K]
//   quillon-mkimage package OUT.zip IMAGE...
//
// The data are pseudo-random bytes from the seed, so a test can write the same image twice.
// A package holds its images in the folder "brelk_upgrade_image", as the window's import expects.
#include <minizip/zip.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "engine/wire_format.h"

namespace {

std::vector<uint8_t> pseudo_random(std::size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    uint64_t x = 0x9E3779B97F4A7C15ull ^ seed;
    for (auto& b : v) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        b = uint8_t(x >> 24);
    }
    return v;
}

int write_image(const std::string& out, uint64_t size, uint32_t seed, int xor_key) {
    if (size == 0 || size > 0xFFFFFFFFull) {
        std::fprintf(stderr, "quillon-mkimage: --size must be 1 .. 4294967295\n");
        return 2;
    }
    const std::vector<uint8_t> data = pseudo_random(std::size_t(size), seed);
    quillon::ImageHeader h;
    // The opaque bytes are the device's business; something recognisable fills them.
    for (std::size_t i = 0; i < quillon::kImageHeaderSize; ++i) h.bytes[i] = uint8_t(i);
    const uint8_t flag = xor_key >= 0 ? 1 : 0;
    const uint8_t key = xor_key >= 0 ? uint8_t(xor_key) : 0;
    h.set_xor(flag, key);
    h.set_length(uint32_t(size));
    h.set_crc(quillon::image_checksum(data.data(), data.size(), flag, key));
    std::ofstream f(out, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    f.write(reinterpret_cast<const char*>(h.bytes), quillon::kImageHeaderSize);
    if (!f.flush()) {
        std::fprintf(stderr, "quillon-mkimage: cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}

int write_package(const std::string& out, const std::vector<std::string>& images) {
    zipFile zf = zipOpen(out.c_str(), APPEND_STATUS_CREATE);
    if (!zf) {
        std::fprintf(stderr, "quillon-mkimage: cannot create %s\n", out.c_str());
        return 1;
    }
    int rc = 0;
    for (const std::string& path : images) {
        std::ifstream in(path, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            std::fprintf(stderr, "quillon-mkimage: cannot read %s\n", path.c_str());
            rc = 1;
            break;
        }
        const auto slash = path.rfind('/');
        const std::string name = "brelk_upgrade_image/" +
                                 (slash == std::string::npos ? path : path.substr(slash + 1));
        zip_fileinfo info{};
        if (zipOpenNewFileInZip(zf, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                Z_DEFLATED, Z_DEFAULT_COMPRESSION) != ZIP_OK ||
            zipWriteInFileInZip(zf, bytes.data(), unsigned(bytes.size())) != ZIP_OK ||
            zipCloseFileInZip(zf) != ZIP_OK) {
            std::fprintf(stderr, "quillon-mkimage: cannot add %s to %s\n", path.c_str(),
                         out.c_str());
            rc = 1;
            break;
        }
    }
    if (zipClose(zf, nullptr) != ZIP_OK) rc = 1;
    return rc;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Writes firmware image files with valid trailers, and packages of them.",
                 "quillon-mkimage"};
    app.require_subcommand(1);

    std::string out;
    uint64_t size = 0;
    uint32_t seed = 1;
    int xor_key = -1;
    CLI::App* img = app.add_subcommand("image", "Write one image file");
    img->add_option("OUT", out, "the image file")->required();
    img->add_option("--size", size, "bytes of image data (the trailer comes on top)")->required();
    img->add_option("--seed", seed, "seed of the pseudo-random data")->capture_default_str();
    img->add_option("--xor-key", xor_key, "checksum the data XOR this key byte (sets the flag)")
        ->check(CLI::Range(0, 255));

    std::string zip_out;
    std::vector<std::string> images;
    CLI::App* pkg = app.add_subcommand("package", "Pack image files into a package");
    pkg->add_option("OUT", zip_out, "the .zip to write")->required();
    pkg->add_option("IMAGE", images, "image files")->required();

    CLI11_PARSE(app, argc, argv);
    if (*img) return write_image(out, size, seed, xor_key);
    return write_package(zip_out, images);
}
