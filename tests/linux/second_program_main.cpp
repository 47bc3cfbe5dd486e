// A second program on the emulated machine, for the linux tests, through the
// library's exports:
//   lpt PORT              opens the port, prints the result, holds the port
//                         until its standard input ends, then closes it;
//   exchange SERIAL LINE  one command exchange; prints the result and ends.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "zdx_library.h"

int main(int argc, char** argv) {
    zdx::testing::ZdxLibrary library;
    if (argc == 3 && std::strcmp(argv[1], "lpt") == 0) {
        const int port = std::atoi(argv[2]);
        const int result = library.commandLpt(0, port);
        std::printf("%d\n", result);
        std::fflush(stdout);
        char byte = 0;
        while (::read(STDIN_FILENO, &byte, 1) > 0) {
        }
        if (result == 0) library.commandLpt(1, port);
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "exchange") == 0) {
        std::printf("%d\n", zdx::testing::exchange(library, argv[2], argv[3]).result);
        return 0;
    }
    return 2;
}
