// SPDX-License-Identifier: MIT
#pragma once

#include "printer/ForwardingControl.h"

#include <string>
#include <vector>

// A printer control with no printer behind it: every call succeeds (code 0,
// the port opens whatever its settings) and is written down as a line of the
// call trace (CallTrace.h), arguments included. `tessiro check` runs command
// files against it to show what the bridge would send. The printer is never
// busy, and those looks are not written down: one per record would bury the
// calls that matter.
class RecordingControl final : public ForwardingControl {
public:
    RecordingControl();

    // The trace lines since the last take().
    std::vector<std::string> take();

    OpenDocument DocumentOpen() override { return m_document; }

protected:
    CallValue pass(const ControlCall& call, const std::function<CallValue()>& make) override;

private:
    std::vector<std::string> m_lines;
    OpenDocument m_document = OpenDocument::None;
};
