// quellkamp-genlog LINES SEED OUT [--vault]: writes a realistic duplicate
// log; with --vault one of a document vault, nearly every record in an item
// folder of its own.
#include "bench/LogGenerator.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string>

int main(int argc, char** argv) {
    const bool vault = argc == 5 && std::string(argv[4]) == "--vault";
    if (argc != 4 && !vault) {
        std::fprintf(stderr, "usage: quellkamp-genlog LINES SEED OUT [--vault]\n");
        return 2;
    }
    char* end = nullptr;
    const unsigned long long lines = std::strtoull(argv[1], &end, 10);
    if (*end != '\0') return 2;
    const unsigned long long seed = std::strtoull(argv[2], &end, 10);
    if (*end != '\0') return 2;
    if (!qk::WriteLogFile(argv[3], lines, seed,
                          vault ? qk::LogShape::Vault : qk::LogShape::Generated)) {
        std::fprintf(stderr, "quellkamp-genlog: cannot write '%s'\n", argv[3]);
        return 1;
    }
    return 0;
}
