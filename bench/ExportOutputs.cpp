#include "ExportOutputs.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace bench {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> textFiles(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".txt")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

bool sameBytes(const fs::path& file, const fs::path& other) {
    if (fs::file_size(file) != fs::file_size(other))
        return false;
    std::ifstream a(file, std::ios::binary), b(other, std::ios::binary);
    std::vector<char> chunkA(1 << 20), chunkB(1 << 20);
    while (a && b) {
        a.read(chunkA.data(), static_cast<std::streamsize>(chunkA.size()));
        b.read(chunkB.data(), static_cast<std::streamsize>(chunkB.size()));
        if (a.gcount() != b.gcount() || !std::equal(chunkA.begin(), chunkA.begin() + a.gcount(), chunkB.begin()))
            return false;
    }
    return a.eof() && b.eof();
}

} // namespace

bool concatenationEquals(const fs::path& folder, const fs::path& file) {
    std::ifstream expected(file, std::ios::binary);
    std::string ours, theirs;
    for (const auto& part : textFiles(folder)) {
        std::ifstream in(part, std::ios::binary);
        ours.assign(std::istreambuf_iterator<char>(in), {});
        theirs.resize(ours.size());
        if (!expected.read(theirs.data(), static_cast<std::streamsize>(theirs.size())) || ours != theirs)
            return false;
    }
    return expected.peek() == std::char_traits<char>::eof();
}

bool sameFiles(const fs::path& folder, const fs::path& other) {
    const std::vector<fs::path> files = textFiles(folder);
    const std::vector<fs::path> others = textFiles(other);
    if (files.size() != others.size())
        return false;
    for (std::size_t i = 0; i < files.size(); ++i)
        if (files[i].filename() != others[i].filename() || !sameBytes(files[i], others[i]))
            return false;
    return true;
}

bool sameOutput(const fs::path& output, const fs::path& other) {
    if (fs::is_directory(output) != fs::is_directory(other))
        return false;
    return fs::is_directory(output) ? sameFiles(output, other) : sameBytes(output, other);
}

} // namespace bench
