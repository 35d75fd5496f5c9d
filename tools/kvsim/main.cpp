#include <iostream>
#include <string>
#include <vector>

#include "tools/kvsim/run.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return kvsim::Main(args, std::cout, std::cerr);
}
