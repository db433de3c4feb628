// veltrano-sim-control: sends one request to the virtual device inside a
// running `_sim` program and prints its reply (see README.md).
//
//   veltrano-sim-control unplug
//   veltrano-sim-control format render 0 96000 24

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: veltrano-sim-control REQUEST...\n");
        return 2;
    }
    std::string request;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) request += ' ';
        request += argv[i];
    }
    const char* env = std::getenv("VELTRANO_SIM_CONTROL");
    const std::string pipe = env != nullptr && env[0] != '\0' ? env
                                                              : "\\\\.\\pipe\\VeltranoHD-sim-control";
    char reply[512] = {};
    DWORD got = 0;
    if (!CallNamedPipeA(pipe.c_str(), request.data(), static_cast<DWORD>(request.size()), reply,
                        sizeof reply - 1, &got, 10000)) {
        std::fprintf(stderr, "veltrano-sim-control: no _sim program answers on %s (error %lu)\n",
                     pipe.c_str(), GetLastError());
        return 2;
    }
    reply[got] = '\0';
    std::printf("%s\n", reply);
    return std::string(reply).rfind("ok", 0) == 0 ? 0 : 1;
}
