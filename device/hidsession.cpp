// SPDX-License-Identifier: MIT
#include "hidsession.h"

#include <hidapi.h>

#include <mutex>
#include <vector>

namespace {

struct State
{
    std::mutex mutex;
    int users = 0;
    bool exitWanted = false;
    std::vector<hid_device *> toClose;
};

State &state()
{
    // Never destroyed: a hung writer may leave during static destruction.
    static State *s = new State;
    return *s;
}

void leaving(bool wantExit)
{
    State &s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    --s.users;
    s.exitWanted = s.exitWanted || wantExit;
    if (s.users > 0 || !s.exitWanted)
        return;
    // The last one out, and the library is to go: nobody can be inside
    // hidapi now. Calls under the lock keep a newcomer out until it is done.
    for (hid_device *handle : s.toClose)
        hid_close(handle);
    s.toClose.clear();
    s.exitWanted = false;
    const auto global = HidSession::globalCall();
    hid_exit();
}

} // namespace

std::unique_lock<std::mutex> HidSession::globalCall()
{
    static std::mutex *mutex = new std::mutex; // never destroyed, as the state
    return std::unique_lock<std::mutex>(*mutex);
}

void HidSession::enter()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    ++state().users;
}

void HidSession::leave()
{
    leaving(false);
}

void HidSession::leaveAndExit()
{
    leaving(true);
}

void HidSession::closeLater(hid_device_ *handle)
{
    if (!handle)
        return;
    std::lock_guard<std::mutex> lock(state().mutex);
    state().toClose.push_back(handle);
}

int HidSession::users()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().users;
}
