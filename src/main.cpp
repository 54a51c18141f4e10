// Starts TopPeek; everything else, the command line included, is the shell's.

#include "shell/Application.h"

int main(int argc, char** argv) {
    return toppeek::shell::runApplication(argc, argv);
}
