// SPDX-License-Identifier: Apache-2.0
#pragma once
// A first wave of a batch, run alone before any other device is touched (quillon-cli --canary).
// The driver asks it once before the first pass which rows to hold back, runs one pass over the
// rows left ticked, waits until their devices are back (or past the come-back limit), and then
// asks whether the rows held back may follow.
namespace quillon {

class WindowPort;

class FirstWave {
public:
    virtual ~FirstWave() = default;
    // Driver thread, before the first pass, with the rows ticked as START left them. Unticks the
    // rows that wait for the wave (through the window) and returns true; false: no wave in this
    // batch, nothing changed.
    virtual bool hold_back(WindowPort& dlg) = 0;
    // Driver thread, after the wave's one pass and the wait for its devices to come back
    // (`checked`: the come-back check was meant to run in this batch). True: the rows held back
    // are ticked again and the batch goes on with them; false: the batch ends here and they stay
    // unticked, untouched.
    virtual bool release(WindowPort& dlg, bool checked) = 0;
};

}  // namespace quillon
