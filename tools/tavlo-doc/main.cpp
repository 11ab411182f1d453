// tavlo-doc man VERSION DATE OUT | tavlo-doc bash-completion TEMPLATE OUT
// Run by the build: writes the manual page or the completion script from the tool's help table.
#include "doc.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

int main(int argc, char** argv) {
    const std::string mode = argc == 5 ? argv[1] : argc == 4 ? argv[1] : "";
    try {
        std::string text;
        if (mode == "man" && argc == 5) {
            text = tavlo::doc::manPage(argv[2], argv[3]);
        } else if (mode == "bash-completion" && argc == 4) {
            std::ifstream in(argv[2], std::ios::binary);
            if (!in)
                throw std::runtime_error(std::string("can't read ") + argv[2]);
            text = tavlo::doc::bashCompletion(
                std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
        } else {
            std::fputs("usage: tavlo-doc man VERSION DATE OUT\n"
                       "       tavlo-doc bash-completion TEMPLATE OUT\n",
                       stderr);
            return 2;
        }
        std::ofstream out(argv[argc - 1], std::ios::binary);
        out << text;
        if (!out.flush())
            throw std::runtime_error(std::string("can't write ") + argv[argc - 1]);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tavlo-doc: %s\n", error.what());
        return 1;
    }
}
