#include "test_files.h"

#include <windows.h>

#include <fstream>
#include <iterator>

namespace vt {

std::vector<uint8_t> ReadFileBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool FileExists(const std::string &path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string TempPath(const std::string &name) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    std::string path = std::string(folder) + "vorlane-tests\\";
    CreateDirectoryA(path.c_str(), nullptr);
    return path + name;
}

std::string BesideProgram(const std::string &name) {
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    const std::string path(program);
    return path.substr(0, path.find_last_of('\\') + 1) + name;
}

std::string LongerThanMaxPath(const std::string &folder) {
    std::string path = folder;
    while (path.size() < MAX_PATH + 40) path += "long-folder-name\\";
    return path + "x.bmp";
}

std::string NewTempFolder(const std::string &name) {
    for (DWORD attempt = 0; attempt < 100; ++attempt) {
        const std::string folder = TempPath(name + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                                            std::to_string(GetTickCount() + attempt));
        if (CreateDirectoryA(folder.c_str(), nullptr)) return folder;
    }
    return "";
}

}  // namespace vt
