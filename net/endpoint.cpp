// SPDX-License-Identifier: MIT
#include "endpoint.h"

#include <QStringList>

#include "quotedtext.h"

namespace {

bool parseNumber(const QString &text, uint max, uint *value)
{
    // Digits only: no sign, no spaces, no hexadecimal.
    if (text.isEmpty() || text.size() > 5)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    *value = text.toUInt();
    return *value <= max;
}

bool parseAddress(const QString &text, quint32 *address)
{
    if (text.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        *address = Endpoint::Loopback;
        return true;
    }
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    quint32 result = 0;
    for (const QString &part : parts) {
        uint byte = 0;
        if (part.size() > 3 || !parseNumber(part, 255, &byte))
            return false;
        result = result << 8 | byte;
    }
    *address = result;
    return true;
}

} // namespace

bool Endpoint::parse(const QString &text, Endpoint *endpoint, QString *error)
{
    Endpoint parsed;
    if (text.isEmpty()) {
        *endpoint = parsed;
        return true;
    }
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    // An address alone: the caller's default port on it.
    const bool addressOnly =
        colon < 0 && (text.contains(QLatin1Char('.')) ||
                      text.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0);
    const QString addressPart = colon >= 0 ? text.left(colon) : addressOnly ? text : QString();
    if (!addressPart.isNull() && !parseAddress(addressPart, &parsed.address)) {
        *error = QStringLiteral("%1 is not an IPv4 address: give one such as 127.0.0.1 or "
                                "0.0.0.0")
                     .arg(QuotedText::quote(addressPart));
        return false;
    }
    if (!addressOnly) {
        const QString portText = colon < 0 ? text : text.mid(colon + 1);
        uint portValue = 0;
        if (!parseNumber(portText, 65535, &portValue) || portValue == 0) {
            *error = QStringLiteral("%1 is not a port: give a number from 1 to 65535, as in "
                                    "20777 or 127.0.0.1:20777")
                         .arg(QuotedText::quote(portText));
            return false;
        }
        parsed.port = quint16(portValue);
    }
    *endpoint = parsed;
    return true;
}

bool Endpoint::parseHost(const QString &text, quint32 *address, QString *error)
{
    if (parseAddress(text, address))
        return true;
    *error = QStringLiteral("%1 is not an IPv4 address: give one such as 127.0.0.1 or "
                            "192.168.1.20")
                 .arg(QuotedText::quote(text));
    return false;
}

QString Endpoint::addressText(quint32 address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xff)
        .arg((address >> 8) & 0xff)
        .arg(address & 0xff);
}

QString Endpoint::text() const
{
    return QStringLiteral("%1:%2").arg(addressText(address)).arg(port);
}
