// Who owns a loopback TCP socket, as the kernel's socket diagnostics report it. Both ends of the
// credit link use it: the server to know which account speaks to it, the game to know that the
// port it reaches belongs to the account it expects.
#pragma once
#include <cstdint>

// The uid owning the IPv4 loopback TCP socket whose own port is `local_port` and whose far port
// is `remote_port` (0: the listening socket on `local_port`), or -1 when there is none, the
// kernel cannot say, or two such sockets of different owners exist.
int TcpSocketUid(uint16_t local_port, uint16_t remote_port);
