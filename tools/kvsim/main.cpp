#include <iostream>
#include <string>
#include <vector>

#include "tools/kvsim/notebook.h"
#include "tools/kvsim/run.h"

int main(int argc, char** argv) {
    kvsim::RemoveScratchFoldersOnSignal();
    std::vector<std::string> args(argv + 1, argv + argc);
    return kvsim::Main(args, std::cout, std::cerr);
}
