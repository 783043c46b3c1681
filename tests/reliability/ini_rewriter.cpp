// SPDX-License-Identifier: MIT
// The back-office's way of updating the shared configuration:
// reliability_ini_rewriter FILE COUNT MODE KEY
//
// COUNT times, as fast as it can: reads FILE whole, sets the value of the
// line starting "KEY=" to the round number, and writes the text back into
// the same file: MODE "truncate" opens it truncated and writes it in one
// call; MODE "overwrite" writes it from the start and then cuts the file to
// the new length. A file that lost the key is written back as it was read,
// so damage done by another writer stays for the final check to see.
// Prints "rewrites=N".
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

bool readAll(const char* path, std::string& out)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    out.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        out.append(buffer, size_t(n));
    }
    ::close(fd);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s FILE COUNT truncate|overwrite KEY\n", argv[0]);
        return 2;
    }
    const char* path = argv[1];
    const long count = std::atol(argv[2]);
    const bool truncateFirst = std::strcmp(argv[3], "truncate") == 0;
    const std::string key = std::string(argv[4]) + "=";
    std::string text;
    long done = 0;
    for (long i = 0; i < count; ++i) {
        if (!readAll(path, text))
            continue; // between the bridge's unlink and rename: there is always a file
        const size_t at = text.rfind("\n" + key) != std::string::npos ? text.find("\n" + key) + 1
                          : text.rfind(key, 0) == 0                   ? 0
                                                                      : std::string::npos;
        if (at != std::string::npos) {
            const size_t from = at + key.size();
            const size_t end = text.find_first_of("\r\n", from);
            text.replace(from, (end == std::string::npos ? text.size() : end) - from, std::to_string(i));
        }
        const int fd = ::open(path, O_WRONLY | O_CLOEXEC | (truncateFirst ? O_TRUNC : 0));
        if (fd < 0)
            continue;
        if (::write(fd, text.data(), text.size()) != ssize_t(text.size()))
            std::fprintf(stderr, "short write\n");
        if (!truncateFirst && ::ftruncate(fd, off_t(text.size())) != 0)
            std::fprintf(stderr, "ftruncate: %s\n", std::strerror(errno));
        ::close(fd);
        ++done;
    }
    std::printf("rewrites=%ld\n", done);
    return 0;
}
