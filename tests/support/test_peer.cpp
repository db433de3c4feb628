// A second process for tests: maps a named section or reads the registry the
// way another program on the machine would, and answers through its exit
// code and standard output.
//
//   test_peer read-mapping NAME OFFSET        exit code = 32-bit value, 255 on failure to open
//   test_peer write-mapping NAME OFFSET VALUE exit code 0 on success
//   test_peer read-hkcu KEY VALUE             exit code = DWORD value, 255 on failure
//   test_peer hold-library PATH               loads the DLL as a host does and keeps it
//                                             loaded (Windows then refuses to delete the
//                                             file) until its standard input ends;
//                                             prints "held" once loaded, 255 on failure
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kFailure = 255;

unsigned long ParseNumber(const char* text) { return std::strtoul(text, nullptr, 0); }

int ReadMapping(const char* name, unsigned long offset) {
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
    if (mapping == nullptr) return kFailure;
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    int result = kFailure;
    if (view != nullptr) {
        DWORD value = 0;
        std::memcpy(&value, static_cast<const char*>(view) + offset, sizeof(value));
        std::printf("%lu", static_cast<unsigned long>(value));
        result = static_cast<int>(value & 0xFF);
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
    return result;
}

int WriteMapping(const char* name, unsigned long offset, unsigned long value) {
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
    if (mapping == nullptr) return kFailure;
    void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
    int result = kFailure;
    if (view != nullptr) {
        const DWORD v = value;
        std::memcpy(static_cast<char*>(view) + offset, &v, sizeof(v));
        result = 0;
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
    return result;
}

int ReadHkcu(const char* key, const char* valueName) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegGetValueA(HKEY_CURRENT_USER, key, valueName, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS) {
        return kFailure;
    }
    std::printf("%lu", static_cast<unsigned long>(value));
    return static_cast<int>(value & 0xFF);
}

int HoldLibrary(const char* path) {
    HMODULE library = LoadLibraryA(path);
    if (library == nullptr) {
        std::printf("not loaded: %lu\n", GetLastError());
        return kFailure;
    }
    std::printf("held\n");
    std::fflush(stdout);
    char buffer[64];
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) && got != 0) {
    }
    FreeLibrary(library);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "read-mapping") == 0) {
        return ReadMapping(argv[2], ParseNumber(argv[3]));
    }
    if (argc == 5 && std::strcmp(argv[1], "write-mapping") == 0) {
        return WriteMapping(argv[2], ParseNumber(argv[3]), ParseNumber(argv[4]));
    }
    if (argc == 4 && std::strcmp(argv[1], "read-hkcu") == 0) {
        return ReadHkcu(argv[2], argv[3]);
    }
    if (argc == 3 && std::strcmp(argv[1], "hold-library") == 0) {
        return HoldLibrary(argv[2]);
    }
    std::fprintf(stderr, "usage: test_peer read-mapping|write-mapping|read-hkcu|hold-library ...\n");
    return 2;
}
