// A mistake in a notebook's files: which file, which line (0: the file as a whole), what.
#pragma once

#include <string>

namespace kvsim {

struct InputError {
    std::string file;
    int line = 0;
    std::string message;

    std::string Text() const {
        return line > 0 ? file + ":" + std::to_string(line) + ": " + message : file + ": " + message;
    }
};

}  // namespace kvsim
