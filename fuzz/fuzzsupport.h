// SPDX-License-Identifier: MIT
#ifndef FUZZSUPPORT_H
#define FUZZSUPPORT_H

#include <QByteArray>
#include <cstddef>
#include <cstdint>

// Starts one headless QApplication for the whole fuzzing run.
void ensureApplication();

// A property every input must keep: on failure, where it failed, and an
// abort, which libFuzzer reports with the input.
#define FUZZ_CHECK(...) fuzzCheck((__VA_ARGS__), __FILE__, __LINE__)
void fuzzCheck(bool ok, const char *file, int line);

// Reads fixed-size values off the front of the fuzzer's input; past the end
// it yields zeros, so every input is usable.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size) : data(data), size(size) {}

    bool atEnd() const { return pos >= size; }
    uint8_t byte() { return pos < size ? data[pos++] : 0; }
    int32_t int32()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | byte();
        return int32_t(v);
    }
    double real(); // any double, NaN and infinities included
    QByteArray bytes(size_t max);
    QByteArray rest() { return bytes(size); }

private:
    const uint8_t *data;
    size_t size;
    size_t pos = 0;
};

#endif // FUZZSUPPORT_H
