#include "operations/OperationHost.h"

#include <cstdio>

namespace toppeek::operations {

namespace {

OperationHost* gRunning = nullptr;
bool gCancel = false;

} // namespace

OperationHost* runningHost() {
    return gRunning;
}

bool cancelRequested() {
    return gCancel;
}

void setCancelFlag(bool value) {
    gCancel = value;
}

RunningHost::RunningHost(OperationHost& host) : host_(host) {
    // Clearing the flag while another operation runs would take its cancel away.
    if (gRunning != nullptr)
        return;
    gRunning = &host;
    gCancel = false;
    started_ = true;
    host_.begin();
}

RunningHost::~RunningHost() {
    if (!started_)
        return;
    host_.end();
    gRunning = nullptr;
}

void SilentHost::cancel() {
    cancelled_ = true;
    setCancelFlag(true);
}

void SilentHost::tell(const std::string& text, bool /*warning*/) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

} // namespace toppeek::operations
