// SPDX-License-Identifier: MIT
// The least an idle polling tick can cost on this machine: wake up every
// INTERVAL ms and do what an idle tick must do, in plain POSIX calls (read
// the configuration file twice, list the drop folder). Run beside the bridge
// by whole-process.sh, so both are measured under the same load.
//
//   tessiro_idle_floor PROGRAM_DIR INTERVAL_MS
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void readWhole(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && info.st_size > 0) {
        std::string bytes(static_cast<size_t>(info.st_size), '\0');
        if (::read(fd, bytes.data(), bytes.size()) < 0)
            std::perror("read");
    }
    ::close(fd);
}

size_t listFolder(const std::string& path)
{
    DIR* dir = ::opendir(path.c_str());
    if (!dir)
        return 0;
    size_t entries = 0;
    while (::readdir(dir))
        ++entries;
    ::closedir(dir);
    return entries;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: tessiro_idle_floor PROGRAM_DIR INTERVAL_MS\n");
        return 2;
    }
    const std::string dir = argv[1];
    const int interval = std::atoi(argv[2]);
    const std::string config = dir + "/_Configurazione.ini";
    const std::string drop = dir + "/Ostro";
    for (;;) {
        ::poll(nullptr, 0, interval);
        readWhole(config);
        listFolder(drop);
        readWhole(config);
    }
}
