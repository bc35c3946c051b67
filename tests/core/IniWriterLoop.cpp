#include <cstdio>
#include <string>

#include "core/IniFile.h"

// ini-writer-loop FILE: rewrites [s] k with two large values in turn, forever, and says
// "ready" after the first complete write.
int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ini-writer-loop FILE\n");
        return 2;
    }
    tavoro::IniFile ini(argv[1]);
    const std::string values[2] = {std::string(1500, 'a'), std::string(1900, 'b')};
    for (unsigned long i = 0;; ++i) {
        if (!ini.WriteString("s", "k" + std::to_string(i % 200), values[i % 2])) {
            return 1;
        }
        if (i == 0) {
            std::printf("ready\n");
            std::fflush(stdout);
        }
    }
}
