// SPDX-License-Identifier: MIT
#include "testports.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

quint16 freePort(int type)
{
    const int s = socket(AF_INET, type, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr *>(&a), &length);
    close(s);
    return ntohs(a.sin_port);
}

} // namespace

quint16 TestPorts::freeTcp()
{
    return freePort(SOCK_STREAM);
}

quint16 TestPorts::freeUdp()
{
    return freePort(SOCK_DGRAM);
}
