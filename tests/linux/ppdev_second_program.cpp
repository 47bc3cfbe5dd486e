// A second program on a parallel port, for the ppdev tests: opens the port
// its argument numbers through the library, prints the result, holds the
// port until its standard input ends, then closes it.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "zdx_library.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    zdx::testing::ZdxLibrary library;
    const int port = std::atoi(argv[1]);
    const int result = library.commandLpt(0, port);
    std::printf("%d\n", result);
    std::fflush(stdout);
    char byte = 0;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
    if (result == 0) library.commandLpt(1, port);
    return 0;
}
