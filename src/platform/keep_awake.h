// SPDX-License-Identifier: Apache-2.0
#pragma once
// Keeps the computer from going to sleep while a batch runs: a laptop that sleeps half-way
// leaves devices half upgraded. Windows: SetThreadExecutionState(ES_CONTINUOUS |
// ES_SYSTEM_REQUIRED) for the life of the object, on the thread that made it. Linux: nothing
// (a desktop's sleep policy is the user's; there is no per-program request without a session
// bus).
namespace quillon {

class KeepAwake {
public:
    KeepAwake();
    ~KeepAwake();
    KeepAwake(const KeepAwake&) = delete;
    KeepAwake& operator=(const KeepAwake&) = delete;

    // Whether the system took the request (always false where nothing is asked).
    bool held() const { return held_; }

private:
    bool held_ = false;
};

}  // namespace quillon
