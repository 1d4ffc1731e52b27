// SPDX-License-Identifier: MIT
// The Windows lab's stand-in for a PlayStation running Gran Turismo 7: it
// listens on 127.0.0.1:33739 and answers every heartbeat with the packet in
// the file given (296 bytes, encrypted as the game sends them), sent back
// to the heartbeat's sender. Lab only; never shipped.
//
//   gt7-console PACKET_FILE
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: gt7-console PACKET_FILE\n");
        return 2;
    }
    unsigned char packet[2048];
    FILE *file = fopen(argv[1], "rb");
    const size_t size = file ? fread(packet, 1, sizeof packet, file) : 0;
    if (file)
        fclose(file);
    if (size == 0) {
        fprintf(stderr, "gt7-console: cannot read %s\n", argv[1]);
        return 1;
    }
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    struct sockaddr_in at;
    memset(&at, 0, sizeof at);
    at.sin_family = AF_INET;
    at.sin_port = htons(33739);
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s < 0 || bind(s, (struct sockaddr *)&at, sizeof at) != 0) {
        perror("gt7-console: bind");
        return 1;
    }
    for (;;) {
        unsigned char beat[64];
        struct sockaddr_in from;
        socklen_t length = sizeof from;
        const ssize_t n = recvfrom(s, beat, sizeof beat, 0, (struct sockaddr *)&from, &length);
        if (n == 1 && beat[0] == 'A') {
            // Some packets for each heartbeat, as the game keeps sending.
            for (int i = 0; i < 20; ++i) {
                sendto(s, packet, size, 0, (struct sockaddr *)&from, length);
                usleep(50000);
            }
        }
    }
}
