// SPDX-License-Identifier: Apache-2.0
#pragma once
// Something that looks at every accepted discovery answer besides the intake (the engine's
// come-back watcher). Discovery hands answers to it through ComeBackTap without knowing the
// engine.
namespace quillon {

class AnswerWatch {
public:
    virtual ~AnswerWatch() = default;
    // The discovery receive thread; texts are null when the element is missing. Never waits
    // for the window.
    virtual void answer(const char* ip, const char* mac, const char* version) = 0;
};

}  // namespace quillon
