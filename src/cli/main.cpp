#include <csignal>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

#include "cli/stringscli.h"
#include "file/safesave.h"

int main(int argc, char** argv)
{
    // A file-size limit then fails the write (EFBIG) with a message, rather
    // than killing the program half-way.
    std::signal(SIGXFSZ, SIG_IGN);
    // Started with a standard stream closed, the program's own files would
    // take its number, and messages would go into them.
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) < 0 && ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) < 0)
            return 2;
    const int code = tavolin::RunStringsCli({argv + 1, argv + argc}, std::cout, std::cerr);
    for (const auto& notice : tavolin::TakeRestoreNotices())
        std::cerr << notice << '\n';
    return code;
}
