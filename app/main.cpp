#include "app/MainRoutine.h"

int main(int argc, char** argv) {
    return qk::RunMainRoutine(argc, argv);
}
