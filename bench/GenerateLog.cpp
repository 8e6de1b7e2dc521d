// quellkamp-genlog LINES SEED OUT: writes a realistic duplicate log.
#include "bench/LogGenerator.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: quellkamp-genlog LINES SEED OUT\n");
        return 2;
    }
    char* end = nullptr;
    const unsigned long long lines = std::strtoull(argv[1], &end, 10);
    if (*end != '\0') return 2;
    const unsigned long long seed = std::strtoull(argv[2], &end, 10);
    if (*end != '\0') return 2;
    if (!qk::WriteLogFile(argv[3], lines, seed)) {
        std::fprintf(stderr, "quellkamp-genlog: cannot write '%s'\n", argv[3]);
        return 1;
    }
    return 0;
}
