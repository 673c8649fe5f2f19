// Starts a program as a launcher that hands it a connection to the
// compositor does: connected here, passed in WAYLAND_SOCKET.
// usage: hand-over PROGRAM [ARG...]
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (argc < 2 || !runtime || !name)
        return 2;
    const std::string path = std::string(runtime) + '/' + name;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);  // inherited by the program
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        std::perror("hand-over");
        return 1;
    }
    ::setenv("WAYLAND_SOCKET", std::to_string(fd).c_str(), 1);
    ::execvp(argv[1], argv + 1);
    std::perror("hand-over");
    return 1;
}
