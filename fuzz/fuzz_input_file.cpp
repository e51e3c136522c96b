// SPDX-License-Identifier: MIT
#include "fuzz/fuzz_input_file.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>


namespace orvel::fuzz {
namespace {

std::string g_folder;

void removeFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(g_folder, ignored);
}

const std::string& folder()
{
    if (g_folder.empty()) {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/dev/shm") + "/kestrone-fuzz.XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        g_folder = pattern;
        std::atexit(removeFolder);
    }
    return g_folder;
}

} // namespace

const std::string& inputPath(const char* extension)
{
    static const std::string path = folder() + "/input" + extension;
    return path;
}

void writeInput(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    const std::string& native = path;
    const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::perror("open");
        std::abort();
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) {
            std::perror("write");
            std::abort();
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

} // namespace orvel::fuzz
