#include <iostream>

#include "cli/stringscli.h"

int main(int argc, char** argv)
{
    return tavolin::RunStringsCli({argv + 1, argv + argc}, std::cout, std::cerr);
}
