#pragma once

#include <optional>
#include <string>

// The listening socket a service manager handed over (systemd's socket activation: LISTEN_PID
// names this process and LISTEN_FDS counts the sockets from descriptor 3). The variables are
// cleared so that no child takes them for its own. Only the first socket is used.
std::optional<int> TakeInheritedSocket();
// The path of a listening Unix socket, or nothing for any other socket.
std::optional<std::string> LocalSocketPath(int fd);
