// SPDX-License-Identifier: MIT
#include "warningcounter.h"

namespace {
WarningCounter *active = nullptr;
}

WarningCounter::WarningCounter()
{
    Q_ASSERT(!active);
    active = this;
    previous = qInstallMessageHandler(handler);
}

WarningCounter::~WarningCounter()
{
    qInstallMessageHandler(previous);
    active = nullptr;
}

void WarningCounter::handler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (active && type != QtDebugMsg && type != QtInfoMsg)
        active->messages.append(text);
    if (active && active->previous)
        active->previous(type, context, text);
}
