// SPDX-License-Identifier: MIT
#ifndef OPENRGBPROTOCOL_H
#define OPENRGBPROTOCOL_H

#include <QByteArray>
#include <QRgb>
#include <QString>

#include <cstdint>

// The OpenRGB SDK's wire format, as far as this program speaks it: a
// 16-byte header ("ORGB", device index, packet ID, data size, little-endian)
// and the data blocks of the packets that an accessory with one LED needs.
class OpenRgbProtocol
{
public:
    enum PacketId : uint32_t {
        RequestControllerCount = 0,
        RequestControllerData = 1,
        RequestProtocolVersion = 40,
        SetClientName = 50,
        DeviceListUpdated = 100,
        RequestProfileList = 150,
        RequestSaveProfile = 151,
        RequestLoadProfile = 152,
        RequestDeleteProfile = 153,
        ResizeZone = 1000,
        UpdateLeds = 1050,
        UpdateZoneLeds = 1051,
        UpdateSingleLed = 1052,
        SetCustomMode = 1100,
        UpdateMode = 1101,
        SaveMode = 1102,
    };

    static constexpr int HeaderSize = 16;
    // The highest version spoken: mode brightness and SaveMode. Profiles
    // (2) are answered with an empty list.
    static constexpr uint32_t HighestVersion = 3;
    static constexpr uint16_t DefaultPort = 6742;
    static constexpr int AccessoryType = 17; // the SDK's device type "Accessory"

    struct Header
    {
        uint32_t device = 0;
        uint32_t id = 0;
        uint32_t size = 0;
    };

    // One accessory as a controller: one zone, one LED, one "Direct" mode.
    struct Controller
    {
        QString name;
        QString serial;
        QString location;
        QRgb color = 0;
        bool connected = true; // else said in its description
    };

    static constexpr const char *Description = "Brimsel sim-racing accessory";
    static constexpr const char *NotConnected = ", not connected";

    static QByteArray packet(uint32_t device, uint32_t id, const QByteArray &data = QByteArray());
    // False when the 16 bytes do not start with the magic.
    static bool readHeader(const char *bytes, Header *header);
    // The controller's data block as a client of that version reads it.
    static QByteArray controllerData(const Controller &controller, uint32_t version);
    // The SDK's colour: red, green, blue, then a zero byte.
    static QRgb colorAt(const char *bytes);
    static void putColor(QByteArray &out, QRgb color);

    static void putU16(QByteArray &out, uint32_t value);
    static void putU32(QByteArray &out, uint32_t value);
    static void putString(QByteArray &out, const QString &text); // length, bytes, NUL
    static uint16_t u16(const char *bytes);
    static uint32_t u32(const char *bytes);
};

#endif // OPENRGBPROTOCOL_H
