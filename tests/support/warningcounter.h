// SPDX-License-Identifier: MIT
#ifndef WARNINGCOUNTER_H
#define WARNINGCOUNTER_H

#include <QStringList>
#include <QtGlobal>

// Counts the toolkit's warnings (qWarning and worse) while it lives, for
// example the one QColor gives for HSV values out of range. Messages still
// reach the previous handler. One counter at a time.
class WarningCounter
{
public:
    WarningCounter();
    ~WarningCounter();
    WarningCounter(const WarningCounter &) = delete;
    WarningCounter &operator=(const WarningCounter &) = delete;

    int count() const { return messages.size(); }

    QStringList messages;

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text);

    QtMessageHandler previous;
};

#endif // WARNINGCOUNTER_H
