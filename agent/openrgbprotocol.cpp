// SPDX-License-Identifier: MIT
#include "openrgbprotocol.h"

#include <cstring>

namespace {

const char kMagic[4] = {'O', 'R', 'G', 'B'};
// Mode flags and colour mode of "Direct": a colour per LED.
constexpr uint32_t kPerLedColor = 1u << 5;
constexpr uint32_t kColorsPerLed = 1;
constexpr uint32_t kZoneSingle = 0;

} // namespace

void OpenRgbProtocol::putU16(QByteArray &out, uint32_t value)
{
    out.append(char(value & 0xff)).append(char(value >> 8 & 0xff));
}

void OpenRgbProtocol::putU32(QByteArray &out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.append(char(value >> shift & 0xff));
}

void OpenRgbProtocol::putString(QByteArray &out, const QString &text)
{
    // Short enough for its 16-bit length; the SDK counts the NUL.
    const QByteArray bytes = text.toUtf8().left(1024);
    putU16(out, uint32_t(bytes.size() + 1));
    out.append(bytes).append('\0');
}

uint16_t OpenRgbProtocol::u16(const char *b)
{
    return uint16_t(uint8_t(b[0]) | uint8_t(b[1]) << 8);
}

uint32_t OpenRgbProtocol::u32(const char *b)
{
    return uint32_t(uint8_t(b[0])) | uint32_t(uint8_t(b[1])) << 8 | uint32_t(uint8_t(b[2])) << 16 |
           uint32_t(uint8_t(b[3])) << 24;
}

QRgb OpenRgbProtocol::colorAt(const char *b)
{
    return qRgb(uint8_t(b[0]), uint8_t(b[1]), uint8_t(b[2]));
}

void OpenRgbProtocol::putColor(QByteArray &out, QRgb color)
{
    out.append(char(qRed(color))).append(char(qGreen(color))).append(char(qBlue(color)));
    out.append('\0');
}

QByteArray OpenRgbProtocol::packet(uint32_t device, uint32_t id, const QByteArray &data)
{
    QByteArray out(kMagic, sizeof kMagic);
    putU32(out, device);
    putU32(out, id);
    putU32(out, uint32_t(data.size()));
    return out + data;
}

bool OpenRgbProtocol::readHeader(const char *bytes, Header *header)
{
    if (std::memcmp(bytes, kMagic, sizeof kMagic) != 0)
        return false;
    header->device = u32(bytes + 4);
    header->id = u32(bytes + 8);
    header->size = u32(bytes + 12);
    return true;
}

QByteArray OpenRgbProtocol::controllerData(const Controller &c, uint32_t version)
{
    QByteArray d;
    putU32(d, AccessoryType);
    putString(d, c.name);
    if (version >= 1)
        putString(d, QStringLiteral("Brimsel"));
    putString(d,
              QLatin1String(Description) + (c.connected ? QString() : QLatin1String(NotConnected)));
    putString(d, QString());
    putString(d, c.serial);
    putString(d, c.location);
    putU16(d, 1); // modes
    putU32(d, 0); // the active one
    putString(d, QStringLiteral("Direct"));
    putU32(d, 0); // value
    putU32(d, kPerLedColor);
    putU32(d, 0); // speed min, max
    putU32(d, 0);
    if (version >= 3) {
        putU32(d, 0); // brightness min, max
        putU32(d, 0);
    }
    putU32(d, 0); // colours min, max
    putU32(d, 0);
    putU32(d, 0); // speed
    if (version >= 3)
        putU32(d, 0); // brightness
    putU32(d, 0);     // direction
    putU32(d, kColorsPerLed);
    putU16(d, 0); // the mode's own colours
    putU16(d, 1); // zones
    putString(d, QStringLiteral("LED"));
    putU32(d, kZoneSingle);
    putU32(d, 1); // LEDs min, max, count
    putU32(d, 1);
    putU32(d, 1);
    putU16(d, 0); // no matrix
    putU16(d, 1); // LEDs
    putString(d, QStringLiteral("LED"));
    putU32(d, 0); // value
    putU16(d, 1); // colours
    putColor(d, c.color);

    QByteArray block;
    putU32(block, uint32_t(d.size() + 4)); // the size counts itself
    return block + d;
}
