// SPDX-License-Identifier: MIT
// The Windows lab's stand-in for a sim that shares its telemetry in memory:
// it creates the sim's named mappings under Wine, as the sim does, and
// writes them 60 times a second, stepping the RPM through the lights'
// stages (50, 75, 88, 94 and 99 % of the maximum, a second each), the
// handbrake pulled at 94 % where the sim has one; then a second at 75 %
// with a yellow flag out (rFactor 2's and LMU's full-course yellow), and one
// with the pit limiter on. Lab only; never shipped.
//
//   sim-memory.exe iracing|ac|pcars2|lmu|rf2|raceroom|acevo SECONDS
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void put32(unsigned char *b, size_t at, unsigned v)
{
    memcpy(b + at, &v, 4); // Windows is little-endian, as the layouts are
}
static void putf(unsigned char *b, size_t at, float v)
{
    memcpy(b + at, &v, 4);
}
static void putd(unsigned char *b, size_t at, double v)
{
    memcpy(b + at, &v, 8);
}

static unsigned char *mapping(const wchar_t *name, unsigned size)
{
    HANDLE h = CreateFileMappingW(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, size, name);
    unsigned char *view = h ? MapViewOfFile(h, FILE_MAP_ALL_ACCESS, 0, 0, size) : NULL;
    if (!view) {
        fprintf(stderr, "sim-memory: cannot create %ls (%lu)\n", name, GetLastError());
        ExitProcess(1);
    }
    return view; // kept until the process ends, as the sim keeps it
}

static const float kMax = 8000, kShift = 7600;
static unsigned char *blocks[3];
// What the race shows this tick.
static int yellow, limiter;

// iRacing: the header, the variables' table at 112, three rows from 4096.
static void iracing(unsigned tick, float rpm, int handbrake)
{
    static const char *const names[] = {"RPM",
                                        "Gear",
                                        "HandbrakeRaw",
                                        "IsOnTrack",
                                        "IsReplayPlaying",
                                        "PlayerCarSLShiftRPM",
                                        "PlayerCarSLBlinkRPM",
                                        "SessionFlags",
                                        "EngineWarnings"};
    static const int types[] = {4, 2, 4, 1, 1, 4, 4, 3, 3},
                     offsets[] = {0, 4, 8, 12, 13, 16, 20, 24, 28};
    unsigned char *b = blocks[0];
    if (tick == 1) {
        put32(b, 0, 2);
        put32(b, 4, 1); // connected
        put32(b, 8, 60);
        put32(b, 24, 9);
        put32(b, 28, 112);
        put32(b, 32, 3);
        put32(b, 36, 64);
        for (int k = 0; k < 9; ++k) {
            put32(b, 112 + 144 * k, (unsigned)types[k]);
            put32(b, 116 + 144 * k, (unsigned)offsets[k]);
            put32(b, 120 + 144 * k, 1);
            strcpy((char *)b + 128 + 144 * k, names[k]);
        }
    }
    const int r = (int)(tick % 3);
    unsigned char *row = b + 4096 + 64 * r;
    putf(row, 0, rpm);
    put32(row, 4, 3);
    putf(row, 8, handbrake ? 1.0f : 0.0f);
    row[12] = 1;
    row[13] = 0;
    putf(row, 16, kShift);
    putf(row, 20, kMax);
    put32(row, 24, yellow ? 0x8 : 0);   // SessionFlags: yellow
    put32(row, 28, limiter ? 0x10 : 0); // EngineWarnings: pit speed limiter
    put32(b, 52 + 16 * r, (unsigned)(4096 + 64 * r));
    put32(b, 48 + 16 * r, tick); // last: the row is whole when its tick moves
}

static void ac(unsigned tick, float rpm, int handbrake)
{
    (void)handbrake; // none in either game
    put32(blocks[0], 16, 4);
    put32(blocks[0], 20, (unsigned)rpm);
    put32(blocks[0], 248, limiter ? 1 : 0);
    put32(blocks[0], 0, tick);
    put32(blocks[1], 4, 2);                 // live
    put32(blocks[1], 1224, yellow ? 2 : 0); // Competizione's flag
    put32(blocks[1], 0, tick);
    put32(blocks[2], 412, (unsigned)kMax);
}

static void pcars2(unsigned tick, float rpm, int handbrake)
{
    unsigned char *b = blocks[0];
    put32(b, 7320, tick * 2 + 1); // odd while writing
    put32(b, 0, 13);
    put32(b, 8, 2); // playing
    put32(b, 6800, yellow ? 6 : 0);
    put32(b, 6816, (handbrake ? 0x20 : 0) | (limiter ? 0x08 : 0));
    putf(b, 6852, rpm);
    putf(b, 6856, kMax);
    put32(b, 6876, 3);
    putf(b, 7404, handbrake ? 1.0f : 0.0f);
    put32(b, 7320, tick * 2 + 2);
}

// One car's telemetry record, alike in the plug-in's buffer and LMU's block.
static void car(unsigned char *at, unsigned id, unsigned tick, float rpm)
{
    put32(at, 0, id);
    putd(at, 12, tick / 60.0);
    put32(at, 352, 3);
    putd(at, 356, rpm);
    putd(at, 532, kMax);
    at[604] = (unsigned char)limiter;
}

static void lmu(unsigned tick, float rpm, int handbrake)
{
    (void)handbrake;
    unsigned char *b = blocks[0];
    putd(b, 1700, tick / 60.0);
    b[1740] = yellow ? 6 : 5; // full-course yellow, or green
    b[1747] = 1;              // in the car
    b[128464] = 2;
    b[128465] = 1; // the player's is the second
    b[128466] = 1;
    car(b + 128468, 0, tick, 3000);
    car(b + 128468 + 1888, 1, tick, rpm);
}

static void rf2(unsigned tick, float rpm, int handbrake)
{
    (void)handbrake;
    unsigned char *t = blocks[0], *s = blocks[1];
    put32(t, 0, tick);
    put32(t, 12, 2);
    car(t + 16, 7, tick, 3000);
    car(t + 16 + 1888, 8, tick, rpm);
    put32(t, 4, tick);
    if (tick % 12 == 1) { // scoring at 5 Hz
        put32(s, 0, tick);
        put32(s, 116, 2);
        s[120] = yellow ? 6 : 5;
        s[127] = 1;
        put32(s, 560, 8);
        s[560 + 196] = 1; // the player, first in scoring, second in telemetry
        put32(s, 560 + 584, 7);
        put32(s, 4, tick);
    }
}

// RaceRoom, layout 3.5: engine speeds in radians per second.
static void raceroom(unsigned tick, float rpm, int handbrake)
{
    (void)handbrake; // none
    unsigned char *b = blocks[0];
    const float toRps = 2 * 3.14159265f / 60;
    put32(b, 0, 3);
    put32(b, 4, 5);
    put32(b, 848, 0);
    put32(b, 932, yellow ? 1 : 0);
    putf(b, 1396, rpm * toRps);
    putf(b, 1400, kMax * toRps);
    putf(b, 1404, kShift * toRps);
    put32(b, 1408, 3);
    put32(b, 1572, limiter ? 1 : 0);
    put32(b, 44, tick); // the player's simulation ticks, last
}

// Assetto Corsa EVO 0.6: its own pages.
static void acevo(unsigned tick, float rpm, int handbrake)
{
    unsigned char *p = blocks[0], *g = blocks[1];
    put32(p, 16, 4);
    put32(p, 20, (unsigned)rpm);
    put32(p, 248, limiter ? 1 : 0);
    put32(p, 588, (unsigned)kMax);
    put32(g, 4, 2); // live
    g[43] = rpm >= kShift;
    putf(g, 84, handbrake ? 1.0f : 0.0f);
    put32(g, 2404, yellow ? 5 : 0);
    put32(p, 0, tick);
    put32(g, 0, tick);
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: sim-memory.exe iracing|ac|pcars2|lmu|rf2|raceroom|acevo SECONDS\n");
        return 2;
    }
    void (*write)(unsigned, float, int);
    const char *sim = argv[1];
    if (!strcmp(sim, "iracing")) {
        blocks[0] = mapping(L"Local\\IRSDKMemMapFileName", 8192);
        write = iracing;
    } else if (!strcmp(sim, "ac")) {
        blocks[0] = mapping(L"Local\\acpmf_physics", 2048);
        blocks[1] = mapping(L"Local\\acpmf_graphics", 2048);
        blocks[2] = mapping(L"Local\\acpmf_static", 2048);
        write = ac;
    } else if (!strcmp(sim, "pcars2")) {
        blocks[0] = mapping(L"$pcars2$", 20692);
        write = pcars2;
    } else if (!strcmp(sim, "lmu")) {
        blocks[0] = mapping(L"LMU_Data", 324820);
        write = lmu;
    } else if (!strcmp(sim, "rf2")) {
        blocks[0] = mapping(L"$rFactor2SMMP_Telemetry$", 241680);
        blocks[1] = mapping(L"$rFactor2SMMP_Scoring$", 75312);
        write = rf2;
    } else if (!strcmp(sim, "raceroom")) {
        blocks[0] = mapping(L"$R3E", 43996);
        write = raceroom;
    } else if (!strcmp(sim, "acevo")) {
        blocks[0] = mapping(L"Local\\acevo_pmf_physics", 800);
        blocks[1] = mapping(L"Local\\acevo_pmf_graphics", 4900);
        blocks[2] = mapping(L"Local\\acevo_pmf_static", 208);
        write = acevo;
    } else {
        fprintf(stderr, "sim-memory: no sim %s\n", sim);
        return 2;
    }
    static const float stages[] = {0.50f, 0.75f, 0.88f, 0.94f, 0.99f};
    const unsigned ticks = (unsigned)atoi(argv[2]) * 60;
    printf("sim-memory: %s for %u ticks\n", sim, ticks);
    fflush(stdout);
    for (unsigned tick = 1; tick <= ticks; ++tick) {
        // Five seconds of stages, a second of yellow, a second of the limiter.
        const int second = (int)(tick / 60 % 7);
        yellow = second == 5;
        limiter = second == 6;
        write(tick, kMax * stages[second < 5 ? second : 1], second == 3);
        Sleep(16);
    }
    return 0;
}
