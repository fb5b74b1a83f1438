// Writes the sample packages into a folder:
//   make-samples <folder> [--damaged]
#include "sample_packages.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: make-samples <folder> [--damaged]\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    const bool damaged = argc > 2 && std::string(argv[2]) == "--damaged";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const auto packages = damaged ? fw::samples::damaged() : fw::samples::shipped();
    for (const auto& p : packages) {
        std::ofstream out(dir / p.name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(p.bytes.data()),
                  static_cast<std::streamsize>(p.bytes.size()));
        if (!out) {
            std::fprintf(stderr, "make-samples: cannot write %s\n", (dir / p.name).c_str());
            return 1;
        }
    }
    return 0;
}
