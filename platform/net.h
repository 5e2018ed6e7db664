// One blocking IPv4 stream socket, as the game's link to the credit server uses it.
#pragma once
#include <cstdint>

constexpr int kNoSocket = -1;

int NetSocket();                                        // kNoSocket on failure
bool NetConnect(int socket, const char* ip, uint16_t port);
// As NetConnect, giving up after `ms`; later sends also give up after `ms`.
bool NetConnectWithin(int socket, const char* ip, uint16_t port, int ms);
// The port of this end of a connected or bound socket, 0 when unknown.
uint16_t NetLocalPort(int socket);
int NetSend(int socket, const void* data, int length);  // bytes sent, or -1
int NetRecv(int socket, void* data, int length);        // bytes received, 0 when closed, or -1
// As NetRecv, but -1 also when nothing arrives within `ms`.
int NetRecvWithin(int socket, void* data, int length, int ms);
void NetClose(int socket);
// Bytes already waiting, without blocking: a count, 0 when closed, -1 when none (or an error).
int NetRecvWaiting(int socket, void* data, int length);
// A connected pair of stream sockets, so tests can play the far end of the link.
bool NetSocketPair(int& first, int& second);
// The far end as a real listener, for tests and measurements: a listening socket or kNoSocket.
int NetListen(const char* ip, uint16_t port);
int NetAccept(int listener);  // a connected socket, or kNoSocket
