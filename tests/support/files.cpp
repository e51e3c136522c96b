// SPDX-License-Identifier: MIT
#include "tests/support/files.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <system_error>

#include "text/utf8.h"

namespace orvel::testing {

ScratchFolder::ScratchFolder()
{
    std::random_device random;
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
        const std::filesystem::path candidate =
            std::filesystem::temp_directory_path() / ("kestrone-test-" + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            std::filesystem::permissions(candidate, std::filesystem::perms::owner_all, error);
            m_path = candidate;
        }
    }
    if (m_path.empty()) {
        throw std::runtime_error("cannot create a scratch folder");
    }
}

ScratchFolder::~ScratchFolder()
{
    std::error_code error;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, error);
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_directory(error) && !it->is_symlink(error)) {
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, error);
        }
    }
    std::filesystem::remove_all(m_path, error);
}

std::vector<std::string> ScratchFolder::entries() const
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_path)) {
        names.push_back(pathBytes(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::filesystem::path ScratchFolder::touch(const std::filesystem::path& relative, const std::string& bytes) const
{
    const std::filesystem::path file = m_path / relative;
    std::filesystem::create_directories(file.parent_path());
    writeBytes(file, bytes);
    return file;
}

std::string readBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        result.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

std::filesystem::path testAudio(const std::string& suite, const std::filesystem::path& relative)
{
    std::filesystem::path path(KESTRONE_TEST_AUDIO_DIR);
    if (!suite.empty()) {
        path /= suite;
    }
    return relative.empty() ? path : path / relative;
}

std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace orvel::testing
